#pragma once
// Server side of HTTP authentication as an Axis camera does it: Basic
// (RFC 7617) or Digest with qop=auth (RFC 7616, MD5 and SHA-256). Nonces are
// remembered for a while; an expired or worn-out nonce with an otherwise
// correct answer gets stale=true. Each nonce's nc values are tracked with a
// sliding window, so a repeated nc is refused while requests sent in
// parallel on one nonce may still arrive out of order.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

enum class AuthMode { None, Basic, DigestMd5, DigestSha256 };

// "digest-md5", "digest-sha256", "basic", "none".
std::optional<AuthMode> parseAuthMode(const std::string& text);

// Auth-params of a "Digest ..." credentials header; nullopt if malformed.
std::optional<std::map<std::string, std::string>> parseDigestParams(const std::string& header);

// Lower-case hex of the MD5 or SHA-256 digest of text ("MD5" / "SHA-256").
std::string digestHex(const std::string& algorithm, const std::string& text);

class Authenticator {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using NonceSource = std::function<std::string()>;

    struct Options {
        AuthMode mode = AuthMode::DigestMd5;
        std::string user = "root";
        std::string password = "pass";
        std::string realm;
        std::chrono::seconds nonceLifetime{300};
        std::uint64_t maxNonceUses = 10000;
        std::size_t maxNonces = 1024;
    };

    struct Result {
        bool accepted = false;
        bool stale = false;
        std::vector<std::string> challenges; // WWW-Authenticate values when refused
        std::string reason;                  // why it was refused, for the request log
    };

    explicit Authenticator(Options options, Clock clock = {}, NonceSource nonces = {});

    Result check(const std::string& method, const std::string& target, const std::string& authorization);

    // Apache mod_auth_digest style: base64 of an 8-byte time stamp + 40 hex digits.
    static std::string makeNonce();

private:
    struct NonceState {
        std::chrono::steady_clock::time_point issued;
        std::uint64_t uses = 0;
        std::uint64_t highestNc = 0;
        std::uint64_t seenBelow = 0; // bit i: highestNc - 1 - i was used
    };

    Result refuse(bool stale, std::string reason);
    Result checkBasic(const std::string& authorization);
    Result checkDigest(const std::string& method, const std::string& target, const std::string& authorization);
    // Registers nc for nonce; false when it was used before or is too old.
    static bool acceptNc(NonceState& state, std::uint64_t nc);

    Options options_;
    Clock clock_;
    NonceSource nonceSource_;
    std::mutex mutex_;
    std::map<std::string, NonceState> nonces_;
    std::deque<std::string> nonceOrder_; // oldest first, for eviction
};

} // namespace Camsim

#pragma once
// HTTP authentication shared by the HTTP and RTSP clients, free of sockets:
// parsing WWW-Authenticate challenges and building Authorization headers.
// Digest follows RFC 7616 (MD5, MD5-sess, SHA-256, SHA-256-sess; qop=auth or
// no qop as RFC 2069/2617 servers and RTSP cameras send); Basic RFC 7617.
#include <cstdint>
#include <netkit/util/Base64.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Orix::http {

struct AuthChallenge {
    std::string scheme; // "Digest" or "Basic" (as sent; compared case-insensitively)
    std::string realm;
    std::string nonce;
    std::string opaque;
    std::string algorithm; // empty means MD5
    std::vector<std::string> qop; // offered qop values, e.g. {"auth", "auth-int"}
    bool stale = false;
    bool userhash = false;
};

// All challenges of one or several WWW-Authenticate header values, in order.
// Handles quoted strings with commas and escapes, and several challenges in
// one header. Malformed parts are skipped, never thrown.
std::vector<AuthChallenge> parseChallenges(std::string_view headerValue);

// The strongest challenge we can answer: Digest SHA-256 over Digest MD5 over
// Basic. Null when none is usable.
const AuthChallenge* chooseChallenge(const std::vector<AuthChallenge>& challenges);

// Builds Authorization headers for one challenge; keeps the nonce count.
class DigestSession {
public:
    DigestSession() = default;
    explicit DigestSession(AuthChallenge challenge);

    // The value of the Authorization header for method and uri. Each call
    // with qop uses the next nonce count. cnonce is generated unless given
    // (tests pass the RFC examples' cnonce).
    std::string authorization(const std::string& user, const std::string& password,
                              std::string_view method, std::string_view uri,
                              std::optional<std::string> cnonce = std::nullopt);

    const AuthChallenge& challenge() const { return challenge_; }
    std::uint32_t nonceCount() const { return nc_; }
    bool isBasic() const;

private:
    AuthChallenge challenge_;
    std::uint32_t nc_ = 0;
};

// Hex digest of text with "MD5" or "SHA-256" (as named by a challenge's
// algorithm, "-sess" ignored); empty for an unknown algorithm.
std::string digestHex(std::string_view algorithm, std::string_view text);
using Utility::base64Decode;
using Utility::base64Encode;

} // namespace Orix::http

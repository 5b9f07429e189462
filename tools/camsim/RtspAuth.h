#pragma once
// RTSP authentication as Axis cameras do it: a Digest challenge (MD5,
// without qop, stale=FALSE) followed by a Basic challenge, both with the
// camera's realm; either kind of credentials is accepted. The Digest answer
// is checked against the uri the client put in its header (the camera
// accepts a SETUP whose uri names the DESCRIBE URL). Nonces look like the
// camera's ("0000eb57Y1462...") and expire after a while; a correct answer
// on an expired or unknown nonce gets stale=TRUE.
#include "Authenticator.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Camsim {

class RtspAuth {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using NonceSource = std::function<std::string()>;

    struct Options {
        AuthMode mode = AuthMode::DigestMd5; // None: everything passes; Basic: Basic only
        std::string user = "root";
        std::string password = "pass";
        std::string realm;
        std::chrono::seconds nonceLifetime{300};
        std::size_t maxNonces = 1024;
    };

    struct Result {
        bool accepted = false;
        std::vector<std::string> challenges; // WWW-Authenticate values when refused
    };

    explicit RtspAuth(Options options, Clock clock = {}, NonceSource nonces = {});

    Result check(const std::string& method, const std::string& authorization);

    // 8 hex digits, 'Y', 38 hex digits.
    static std::string makeNonce();

private:
    Result refuse(bool stale);
    bool checkBasic(const std::string& credentials) const;

    Options options_;
    Clock clock_;
    NonceSource nonceSource_;
    std::mutex mutex_;
    std::map<std::string, std::chrono::steady_clock::time_point> nonces_;
    std::deque<std::string> nonceOrder_;
};

} // namespace Camsim

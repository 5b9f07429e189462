#pragma once
// Process-wide memory of the last challenge each camera sent, so that a
// request to a camera already met carries its Authorization at once. Keyed
// by (scheme, host, port, user); the nonce count lives with the challenge and
// advances under the cache's lock, so concurrent requests never reuse one.
#include <netkit/http/DigestAuth.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Orix::http::detail {

struct AuthKey {
    std::string scheme;
    std::string host;
    std::uint16_t port = 0;
    std::string user;

    bool operator<(const AuthKey& other) const;
};

// The Authorization value for a request from the cached challenge, or none
// when nothing is cached for the key.
std::optional<std::string> cachedAuthorization(const AuthKey& key, const std::string& password,
                                               std::string_view method, std::string_view uri);
// Replaces the cached challenge (the nonce count starts again).
void rememberChallenge(const AuthKey& key, const AuthChallenge& challenge);
void forgetChallenge(const AuthKey& key);

} // namespace Orix::http::detail

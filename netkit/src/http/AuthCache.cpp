#include "http/AuthCache.h"

#include <netkit/http/HttpClient.h>

#include <map>
#include <mutex>
#include <tuple>

namespace Orix::http::detail {
namespace {

// A bound on the number of cameras remembered; past it the cache starts
// afresh, which costs each camera one extra 401 round trip.
constexpr std::size_t kMaxEntries = 4096;

struct Cache {
    std::mutex mutex;
    std::map<AuthKey, DigestSession> sessions;
};

Cache& cache()
{
    static Cache instance;
    return instance;
}

} // namespace

bool AuthKey::operator<(const AuthKey& other) const
{
    return std::tie(scheme, host, port, user) <
           std::tie(other.scheme, other.host, other.port, other.user);
}

std::optional<std::string> cachedAuthorization(const AuthKey& key, const std::string& password,
                                               std::string_view method, std::string_view uri)
{
    auto& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    const auto it = c.sessions.find(key);
    if (it == c.sessions.end())
        return std::nullopt;
    return it->second.authorization(key.user, password, method, uri);
}

void rememberChallenge(const AuthKey& key, const AuthChallenge& challenge)
{
    auto& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (c.sessions.size() >= kMaxEntries && c.sessions.find(key) == c.sessions.end())
        c.sessions.clear();
    c.sessions.insert_or_assign(key, DigestSession(challenge));
}

void forgetChallenge(const AuthKey& key)
{
    auto& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.sessions.erase(key);
}

} // namespace Orix::http::detail

namespace Orix::http {

void clearAuthenticationCache()
{
    auto& c = detail::cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.sessions.clear();
}

} // namespace Orix::http

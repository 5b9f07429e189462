#pragma once
// Asynchronous and blocking HTTP/1.1 client with Digest (RFC 7616: MD5,
// SHA-256, qop=auth, nonce counting, stale re-challenge) and Basic
// authentication, TLS through OpenSSL, time-outs, cancellation and a bound on
// the response size.
//
// Authentication: a request goes out first without credentials unless a
// challenge from the same camera (scheme, host, port, user) is cached; then
// it carries an Authorization with the cached nonce and the next nonce count,
// so a second request to a camera costs no extra round trip. A 401 answer
// with a fresh challenge is retried once; a 401 after credentials were sent
// (and not stale) ends with error::unauthorized.
//
// Status handling: 401 ends with error::unauthorized and 404 with
// error::notFound (the response is still passed). Every other status is
// delivered with no error and left to the caller.
#include <boost/system/error_code.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/http/HttpError.h>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace Orix {
class ILogger;
}

namespace Orix::http {

inline constexpr std::uint16_t DEFAULT_RTSP_PORT = 554;
inline constexpr std::size_t kDefaultMaxResponseBytes = 16 * 1024 * 1024;
inline constexpr std::chrono::milliseconds kDefaultTimeout{30000};

struct Header {
    std::string name;
    std::string value;
};
using Headers = std::vector<Header>;

// Content-Type: application/json, for the camera's JSON services.
const Headers& jsonHeaders();

struct HttpResponse {
    unsigned status = 0;
    std::string reason;
    Headers headers;
    // First header of that name (case-insensitive), or null.
    const std::string* find(std::string_view name) const;
};

struct HttpRequest {
    std::string method = "GET";
    std::string target; // origin form: "/axis-cgi/param.cgi?action=list"
    Headers headers;
    std::string body;
    std::size_t maxResponseBytes = kDefaultMaxResponseBytes;
};

// (error, body, response) — called exactly once, on the io_context given to
// the request, never from inside the call that started it.
using HttpCompletion = std::function<void(const boost::system::error_code&, const std::string&,
                                          const HttpResponse&)>;

class RequestHandle {
public:
    virtual ~RequestHandle() = default;
    // Ends the request with error::cancelled unless it already completed.
    // Safe from any thread.
    virtual void cancel() = 0;
};
using RequestHandlePtr = std::shared_ptr<RequestHandle>;

using Timeout = std::optional<std::chrono::milliseconds>; // none: kDefaultTimeout

RequestHandlePtr asyncGetEx(asio::ConnectionInfoPtr info, const std::string& uri,
                            boost::asio::io_context& io, Timeout timeout,
                            HttpCompletion completion);
RequestHandlePtr asyncGetEx(asio::ConnectionInfoPtr info, HttpRequest request,
                            boost::asio::io_context& io, Timeout timeout,
                            HttpCompletion completion);
RequestHandlePtr asyncPostEx(asio::ConnectionInfoPtr info, const std::string& uri,
                             std::string body, boost::asio::io_context& io, Timeout timeout,
                             HttpCompletion completion, Headers headers = {});

// Blocks the calling thread on a private io_context until the answer.
// With checkStatus, a status outside 200-299 ends with an error
// (unauthorized, notFound or malformedResponse for the others).
boost::system::error_code syncHttpGet(asio::ConnectionInfoPtr info, const std::string& uri,
                                      ILogger* logger, std::string& body,
                                      const Headers& headers = {}, bool checkStatus = true,
                                      Timeout timeout = std::nullopt);

// Forgets cached challenges (tests and credential changes).
void clearAuthenticationCache();

} // namespace Orix::http

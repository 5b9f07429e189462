#pragma once
// The simulator's own view of an HTTP exchange. Handlers see only these two
// plain structs, so they can be driven from tests without sockets or Beast.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Camsim {

struct HttpRequest {
    std::string method;                                      // "GET", "POST", ...
    std::string target;                                      // as on the request line
    std::vector<std::pair<std::string, std::string>> headers; // in arrival order
    std::string body;
    bool secure = false;                                     // arrived over TLS

    // Target up to '?' and the raw query after it.
    std::string path() const;
    std::string query() const;
    // First header with this name (case-insensitive), or empty.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

// The open end of a streamed answer (a multipart IO monitor): the server
// keeps writing what it is given until either side closes. Safe from any
// thread.
class StreamSink {
public:
    virtual ~StreamSink() = default;
    // Queues bytes; false once the connection is gone (the producer then
    // drops the sink). A client that reads too slowly is disconnected.
    virtual bool write(std::string bytes) = 0;
    // Ends the answer after what is queued: the connection closes.
    virtual void close() = 0;
    // Drops the connection at once, as a failing camera would.
    virtual void cut() = 0;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // extra headers
    // Set for a streamed answer: after the header (HTTP/1.0, no length) and
    // body, the server hands its sink here.
    std::function<void(std::shared_ptr<StreamSink>)> stream;

    static HttpResponse text(int status, std::string body,
                             std::string contentType = "text/plain");
};

// Reason phrase for the statuses the simulator produces.
const char* reasonPhrase(int status);

bool iequals(const std::string& a, const std::string& b);
std::string toLower(std::string s);

} // namespace Camsim

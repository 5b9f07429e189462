#pragma once
// The simulator's own view of an HTTP exchange. Handlers see only these two
// plain structs, so they can be driven from tests without sockets or Beast.
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

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // extra headers

    static HttpResponse text(int status, std::string body,
                             std::string contentType = "text/plain");
};

// Reason phrase for the statuses the simulator produces.
const char* reasonPhrase(int status);

bool iequals(const std::string& a, const std::string& b);
std::string toLower(std::string s);

} // namespace Camsim

#pragma once
// /axis-cgi/applications/list.cgi: the installed camera applications, one
// <application .../> line each, as AXIS OS 9 writes them (text/xml, no XML
// declaration). /axis-cgi/applications/control.cgi starts, stops, restarts
// and removes them, answering "OK" and CRLF, or "Error: <n>" without a line
// end, with HTTP 200: 4 not installed, 6 already running, 7 not running,
// 10 a request it does not understand.
// Handlers run on several threads; the state is behind a lock.
#include "HttpMessage.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Camsim {

class ApplicationsCgi {
public:
    // names: the installed applications by package name ("vmd", "VMD3"),
    // running unless written "NAME:stopped".
    explicit ApplicationsCgi(const std::vector<std::string>& names);

    // list.cgi
    HttpResponse handle(const HttpRequest& request) const;
    // control.cgi
    HttpResponse control(const HttpRequest& request);

    bool installed(const std::string& name) const;
    bool running(const std::string& name) const;
    std::vector<std::string> names() const;
    // For the control route: installs name when needed; "Removed" uninstalls.
    void setStatus(const std::string& name, const std::string& status);

    // One line per application, in installation order: (name, running).
    static std::string listReply(const std::vector<std::pair<std::string, bool>>& applications);

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, bool>> applications_;
};

} // namespace Camsim

#pragma once
// /axis-cgi/applications/list.cgi: the installed camera applications, one
// <application .../> line each, as AXIS OS 9 writes them (text/xml, no XML
// declaration).
#include "HttpMessage.h"

#include <string>
#include <vector>

namespace Camsim {

class ApplicationsCgi {
public:
    // names: the installed applications by package name ("vmd", "VMD3").
    explicit ApplicationsCgi(std::vector<std::string> names) : names_(std::move(names)) {}

    HttpResponse handle(const HttpRequest& request) const;
    static std::string listReply(const std::vector<std::string>& names);

private:
    std::vector<std::string> names_;
};

} // namespace Camsim

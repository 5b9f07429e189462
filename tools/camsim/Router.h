#pragma once
// Request handlers by exact path. Camera CGIs are authenticated and can be
// faulted; control routes (/camsim/...) are neither. Routes are registered
// before the servers start and only read afterwards.
#include "FormData.h"
#include "HttpMessage.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace Camsim {

using Handler = std::function<HttpResponse(const HttpRequest&)>;

struct Route {
    Handler handler;
    bool control = false;
};

class Router {
public:
    void add(const std::string& path, Handler handler);
    void addControl(const std::string& path, Handler handler);
    const Route* find(const std::string& path) const;

private:
    std::map<std::string, Route> routes_;
};

// CGI arguments: the query string, then a form-encoded POST body. nullopt
// when either holds a malformed %-escape.
std::optional<FormPairs> requestArgs(const HttpRequest& request);

} // namespace Camsim

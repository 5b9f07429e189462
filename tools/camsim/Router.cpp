#include "Router.h"

namespace Camsim {

void Router::add(const std::string& path, Handler handler)
{
    routes_[path] = Route{std::move(handler), false};
}

void Router::addControl(const std::string& path, Handler handler)
{
    routes_[path] = Route{std::move(handler), true};
}

const Route* Router::find(const std::string& path) const
{
    const auto it = routes_.find(path);
    return it == routes_.end() ? nullptr : &it->second;
}

std::optional<FormPairs> requestArgs(const HttpRequest& request)
{
    auto args = parseForm(request.query());
    if (!args)
        return std::nullopt;
    if (request.method == "POST" && !request.body.empty()) {
        const std::string type = toLower(request.header("Content-Type"));
        if (type.empty() || type.rfind("application/x-www-form-urlencoded", 0) == 0) {
            auto body = parseForm(request.body);
            if (!body)
                return std::nullopt;
            args->insert(args->end(), body->begin(), body->end());
        }
    }
    return args;
}

} // namespace Camsim

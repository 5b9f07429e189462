#include "ControlEndpoint.h"

#include "ParamFormat.h"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>

namespace Camsim {

HttpResponse json(int status, const Json::Value& value)
{
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    return HttpResponse::text(status, Json::writeString(b, value) + "\n", "application/json");
}

HttpResponse jsonError(int status, const std::string& message)
{
    Json::Value v;
    v["error"] = message;
    return json(status, v);
}

std::optional<Json::Value> parseJsonObject(const std::string& text)
{
    Json::Value value;
    std::string errors;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors) || !value.isObject())
        return std::nullopt;
    return value;
}

namespace {

HttpResponse methodNotAllowed() { return jsonError(405, "method not allowed"); }

} // namespace

void ControlEndpoint::registerRoutes(Router& router)
{
    router.addControl("/camsim/requests", [this](const HttpRequest& r) { return requests(r); });
    router.addControl("/camsim/faults", [this](const HttpRequest& r) { return faults(r); });
    router.addControl("/camsim/state", [this](const HttpRequest& r) { return state(r); });
}

HttpResponse ControlEndpoint::requests(const HttpRequest& request)
{
    if (request.method == "GET")
        return json(200, log_.toJson());
    if (request.method == "DELETE") {
        log_.clear();
        return json(200, Json::Value(Json::objectValue));
    }
    return methodNotAllowed();
}

HttpResponse ControlEndpoint::faults(const HttpRequest& request)
{
    if (request.method == "GET")
        return json(200, faults_.toJson());
    if (request.method == "DELETE") {
        const auto args = requestArgs(request);
        const auto path = args ? formValue(*args, "path") : std::nullopt;
        if (path)
            faults_.clear(*path);
        else
            faults_.clear();
        return json(200, Json::Value(Json::objectValue));
    }
    if (request.method != "POST")
        return methodNotAllowed();

    const auto parsed = parseJsonObject(request.body);
    if (!parsed)
        return jsonError(400, "body must be a JSON object");
    const Json::Value& body = *parsed;
    if (!body["path"].isString() || body["path"].asString().empty() || body["path"].asString()[0] != '/')
        return jsonError(400, "\"path\" must be a string starting with /");
    if (!body["fault"].isString())
        return jsonError(400, "\"fault\" must be a string");
    std::string why;
    auto spec = parseFaultSpec(body["fault"].asString(), why);
    if (!spec)
        return jsonError(400, why);
    if (body.isMember("count") && !body["count"].isNull()) {
        if (!body["count"].isUInt() || body["count"].asUInt() == 0)
            return jsonError(400, "\"count\" must be a positive integer");
        spec->count = body["count"].asUInt();
    }
    if (body["path"].asString().rfind("/camsim/", 0) == 0)
        return jsonError(400, "control paths cannot be faulted");
    faults_.set(body["path"].asString(), *spec);
    return json(200, faults_.toJson());
}

HttpResponse ControlEndpoint::state(const HttpRequest& request)
{
    if (request.method != "GET")
        return methodNotAllowed();
    Json::Value v;
    v["model"] = camera_.modelName();
    v["realm"] = camera_.realm();
    v["params"] = camera_.withModel([](Model& m) {
        Json::Value params(Json::objectValue);
        ParamTree::visit(m.params.root(), "", [&params](const std::string& path, const Param& p) {
            params["root." + path] = p.type.secret ? std::string(kSecretMask) : p.value;
        });
        return params;
    });
    if (camera_.hasOptics()) {
        v["optics"] = camera_.withOptics([](OpticsState& o) {
            Json::Value optics;
            optics["zoom"] = o.zoom;
            optics["focus"] = o.focus;
            optics["autofocusRuns"] = o.autofocusRuns;
            return optics;
        });
    }
    return json(200, v);
}

} // namespace Camsim

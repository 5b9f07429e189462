#include "EventControl.h"

#include "ControlEndpoint.h"

#include <algorithm>

namespace Camsim {

namespace {

constexpr unsigned kMaxIntervalMs = 10000;

// A non-negative integer member, or fallback when absent; nullopt when wrong.
std::optional<unsigned> unsignedMember(const Json::Value& body, const char* name, unsigned fallback)
{
    if (!body.isMember(name))
        return fallback;
    if (!body[name].isUInt())
        return std::nullopt;
    return body[name].asUInt();
}

std::optional<bool> boolMember(const Json::Value& body, const char* name, bool fallback)
{
    if (!body.isMember(name))
        return fallback;
    if (!body[name].isBool())
        return std::nullopt;
    return body[name].asBool();
}

bool readBox(const Json::Value& v, std::array<double, 4>& box)
{
    if (!v.isArray() || v.size() != 4)
        return false;
    for (Json::ArrayIndex i = 0; i < 4; ++i) {
        if (!v[i].isNumeric() || v[i].asDouble() < -1 || v[i].asDouble() > 1)
            return false;
        box[i] = v[i].asDouble();
    }
    return true;
}

std::optional<EventEngine::TrackedObject> readObject(const Json::Value& v)
{
    EventEngine::TrackedObject o;
    if (!v.isObject())
        return std::nullopt;
    const auto id = unsignedMember(v, "id", 1);
    if (!id)
        return std::nullopt;
    o.id = *id;
    if ((v.isMember("from") && !readBox(v["from"], o.from)) || (v.isMember("to") && !readBox(v["to"], o.to)))
        return std::nullopt;
    if (v.isMember("color")) {
        const Json::Value& c = v["color"];
        if (!c.isArray() || c.size() != 3)
            return std::nullopt;
        std::array<int, 3> rgb{};
        for (Json::ArrayIndex i = 0; i < 3; ++i) {
            if (!c[i].isInt() || c[i].asInt() < 0 || c[i].asInt() > 255)
                return std::nullopt;
            rgb[i] = c[i].asInt();
        }
        o.color = rgb;
    }
    return o;
}

HttpResponse result(const EventEngine::Result& r)
{
    if (r.status != 200)
        return jsonError(r.status, r.error);
    Json::Value v;
    v["sessions"] = r.sessions;
    return json(200, v);
}

} // namespace

void EventControl::registerRoutes(Router& router)
{
    router.addControl("/camsim/events", [this](const HttpRequest& r) { return events(r); });
    router.addControl("/camsim/applications", [this](const HttpRequest& r) { return applications(r); });
}

HttpResponse EventControl::events(const HttpRequest& request)
{
    if (request.method == "GET")
        return json(200, engine_.toJson());
    if (request.method == "DELETE") {
        engine_.resetCounters();
        return json(200, Json::Value(Json::objectValue));
    }
    if (request.method != "POST")
        return jsonError(405, "method not allowed");
    const auto parsed = parseJsonObject(request.body);
    if (!parsed)
        return jsonError(400, "body must be a JSON object");
    const Json::Value& body = *parsed;

    for (const char* key : {"undeclare", "declare"}) {
        if (!body.isMember(key))
            continue;
        const auto& kinds = EventEngine::kinds();
        if (!body[key].isString() || std::find(kinds.begin(), kinds.end(), body[key].asString()) == kinds.end())
            return jsonError(400, std::string("\"") + key + "\" must name an event kind");
        engine_.withConfig([&](AnalyticsConfig& c) {
            if (std::string(key) == "undeclare")
                c.undeclared.insert(body[key].asString());
            else
                c.undeclared.erase(body[key].asString());
            return 0;
        });
    }
    if (body.isMember("maxPayload")) {
        if (!body["maxPayload"].isUInt() || body["maxPayload"].asUInt() == 0)
            return jsonError(400, "\"maxPayload\" must be a positive integer");
        engine_.setMaxPayload(body["maxPayload"].asUInt());
    }
    if (body.isMember("drop")) {
        if (!body["drop"].isBool())
            return jsonError(400, "\"drop\" must be true or false");
        if (body["drop"].asBool()) {
            Json::Value v;
            v["dropped"] = engine_.dropSessions();
            return json(200, v);
        }
    }
    if (body.isMember("event"))
        return trigger(body);
    return json(200, engine_.toJson());
}

HttpResponse EventControl::trigger(const Json::Value& body)
{
    if (!body["event"].isString())
        return jsonError(400, "\"event\" must be a string");
    const std::string event = body["event"].asString();
    const auto active = boolMember(body, "active", true);
    if (!active)
        return jsonError(400, "\"active\" must be true or false");

    auto number = [&body](const char* name, unsigned fallback) { return unsignedMember(body, name, fallback); };
    auto bad = [](const char* name) { return jsonError(400, std::string("\"") + name + "\" must be a non-negative integer"); };

    if (event == "motion") {
        const auto window = number("window", 0);
        return window ? result(engine_.motion(*window, *active)) : bad("window");
    }
    if (event == "vmd3") {
        const auto camera = number("camera", 1);
        return camera ? result(engine_.vmd3(*camera, *active)) : bad("camera");
    }
    if (event == "vmd4") {
        const auto camera = number("camera", 1);
        const auto profile = number("profile", 1);
        if (!camera || !profile)
            return bad(camera ? "profile" : "camera");
        return result(engine_.vmd4(*camera, *profile, *active));
    }
    if (event == "tampering" || event == "audio") {
        const auto channel = number("channel", 1);
        if (!channel)
            return bad("channel");
        return result(event == "tampering" ? engine_.tampering(*channel) : engine_.audio(*channel, *active));
    }
    if (event == "temperature") {
        const auto zone = number("zone", 1);
        return zone ? result(engine_.temperature(*zone, *active)) : bad("zone");
    }
    if (event == "shock")
        return result(engine_.shock());
    if (event == "sound") {
        if (!body["class"].isString())
            return jsonError(400, "\"class\" must be alarm, gunshot or breakingglass");
        if (body.isMember("source") && !body["source"].isString())
            return jsonError(400, "\"source\" must be a string");
        return result(engine_.sound(body["class"].asString(), body["source"].asString()));
    }
    if (event == "tracker") {
        std::vector<EventEngine::TrackedObject> objects;
        Json::Value list = body["objects"];
        if (!body.isMember("objects")) // one object on the default path
            list.append(Json::Value(Json::objectValue));
        if (!list.isArray())
            return jsonError(400, "\"objects\" must be an array");
        for (const auto& v : list) {
            const auto o = readObject(v);
            if (!o)
                return jsonError(400, "an object is {\"id\":N,\"from\":[l,t,r,b],\"to\":[l,t,r,b],\"color\":[r,g,b]} "
                                      "with coordinates in -1..1");
            objects.push_back(*o);
        }
        const auto frames = number("frames", 5);
        const auto interval = number("intervalMs", 200);
        if (!frames || !interval || *interval > kMaxIntervalMs)
            return jsonError(400, "\"frames\" and \"intervalMs\" (at most 10000) must be non-negative integers");
        return result(engine_.track(std::move(objects), *frames, std::chrono::milliseconds(*interval)));
    }
    return jsonError(400, "unknown event '" + event + "'");
}

HttpResponse EventControl::applications(const HttpRequest& request)
{
    if (request.method == "GET") {
        Json::Value v(Json::arrayValue);
        for (const auto& name : applications_.names()) {
            Json::Value a;
            a["name"] = name;
            a["status"] = applications_.running(name) ? "Running" : "Stopped";
            v.append(a);
        }
        return json(200, v);
    }
    if (request.method != "POST")
        return jsonError(405, "method not allowed");
    const auto body = parseJsonObject(request.body);
    if (!body || !(*body)["name"].isString() || (*body)["name"].asString().empty())
        return jsonError(400, "body must be {\"name\":\"vmd\",\"status\":\"Running\"}");
    const Json::Value& status = (*body)["status"];
    if (!status.isString() ||
        (status.asString() != "Running" && status.asString() != "Stopped" && status.asString() != "Removed"))
        return jsonError(400, "\"status\" must be Running, Stopped or Removed");
    applications_.setStatus((*body)["name"].asString(), status.asString());
    return applications(HttpRequest{"GET", "/camsim/applications", {}, {}, false});
}

} // namespace Camsim

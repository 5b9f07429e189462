#include "LightControlCgi.h"

#include <functional>
#include <map>

namespace Camsim {

namespace {

using Reply = std::function<std::string(std::vector<LightState>&, const JsonApiRequest&)>;

std::string refuse(const JsonApiRequest& request, int code, const std::string& message)
{
    return jsonApiError(LightControlCgi::kApiVersion, request, JsonApiError{code, message});
}

std::string ok(const JsonApiRequest& request, const OrderedJson& data = OrderedJson::object())
{
    return jsonApiData(LightControlCgi::kApiVersion, request, data);
}

// The light named by params.lightID, or an error answer in `refusal`.
LightState* namedLight(std::vector<LightState>& lights, const JsonApiRequest& request,
                       std::string& refusal)
{
    const Json::Value& id = request.params["lightID"];
    if (id.isNull()) {
        refusal = refuse(request, kJsonParameterMissing, "Required parameter missing: lightID");
        return nullptr;
    }
    if (id.isString()) {
        for (auto& light : lights) {
            if (light.id == id.asString())
                return &light;
        }
    }
    refusal = refuse(request, kJsonInvalidParameter, "Invalid parameter value: lightID");
    return nullptr;
}

// params[name] as a bool (JSON true/false only), or an error answer.
bool boolParam(const JsonApiRequest& request, const char* name, bool& out, std::string& refusal)
{
    const Json::Value& v = request.params[name];
    if (v.isNull()) {
        refusal = refuse(request, kJsonParameterMissing, std::string("Required parameter missing: ") + name);
        return false;
    }
    if (!v.isBool()) {
        refusal = refuse(request, kJsonInvalidParameter, std::string("Invalid parameter value: ") + name);
        return false;
    }
    out = v.asBool();
    return true;
}

OrderedJson describe(const LightState& l)
{
    OrderedJson item;
    item.add("lightID", OrderedJson::string(l.id));
    item.add("lightType", OrderedJson::string(l.type));
    item.add("enabled", OrderedJson::boolean(l.enabled));
    item.add("synchronizeDayNightMode", OrderedJson::boolean(l.synchronizeDayNightMode));
    item.add("lightState", OrderedJson::boolean(l.lightState));
    item.add("automaticIntensityMode", OrderedJson::boolean(l.automaticIntensityMode));
    item.add("automaticAngleOfIlluminationMode", OrderedJson::boolean(false));
    item.add("nrOfLEDs", OrderedJson::number(l.nrOfLEDs));
    item.add("error", OrderedJson::boolean(false));
    item.add("errorInfo", OrderedJson::string(""));
    return item;
}

// A method that changes one bool of the named light.
Reply setFlag(bool LightState::*flag, bool value)
{
    return [flag, value](std::vector<LightState>& lights, const JsonApiRequest& r) {
        std::string refusal;
        LightState* light = namedLight(lights, r, refusal);
        if (!light)
            return refusal;
        light->*flag = value;
        return ok(r);
    };
}

// A method that sets one bool of the named light from params.enabled.
Reply setFromParam(bool LightState::*flag)
{
    return [flag](std::vector<LightState>& lights, const JsonApiRequest& r) {
        std::string refusal;
        LightState* light = namedLight(lights, r, refusal);
        bool enabled = false;
        if (!light || !boolParam(r, "enabled", enabled, refusal))
            return refusal;
        light->*flag = enabled;
        return ok(r);
    };
}

// A method that reads one value of the named light.
Reply get(const char* key, std::function<OrderedJson(const LightState&)> value)
{
    return [key, value](std::vector<LightState>& lights, const JsonApiRequest& r) {
        std::string refusal;
        LightState* light = namedLight(lights, r, refusal);
        if (!light)
            return refusal;
        return ok(r, OrderedJson().add(key, value(*light)));
    };
}

std::string lightInformation(std::vector<LightState>& lights, const JsonApiRequest& r)
{
    OrderedJson items = OrderedJson::array();
    if (r.params.isMember("lightID")) {
        std::string refusal;
        LightState* light = namedLight(lights, r, refusal);
        if (!light)
            return refusal;
        items.push(describe(*light));
    } else {
        for (const auto& l : lights)
            items.push(describe(l));
    }
    return ok(r, OrderedJson().add("items", std::move(items)));
}

std::string setManualIntensity(std::vector<LightState>& lights, const JsonApiRequest& r)
{
    std::string refusal;
    LightState* light = namedLight(lights, r, refusal);
    if (!light)
        return refusal;
    const Json::Value& v = r.params["intensity"];
    if (v.isNull())
        return refuse(r, kJsonParameterMissing, "Required parameter missing: intensity");
    if (!v.isIntegral() || v.asLargestInt() < 0 || v.asLargestInt() > LightControlCgi::kMaxIntensity)
        return refuse(r, kJsonInvalidParameter, "Invalid parameter value: intensity");
    light->manualIntensity = v.asLargestInt();
    light->automaticIntensityMode = false;
    return ok(r);
}

std::string validIntensity(std::vector<LightState>& lights, const JsonApiRequest& r)
{
    std::string refusal;
    if (!namedLight(lights, r, refusal))
        return refusal;
    OrderedJson range;
    range.add("low", OrderedJson::number(0));
    range.add("high", OrderedJson::number(LightControlCgi::kMaxIntensity));
    OrderedJson ranges = OrderedJson::array();
    ranges.push(std::move(range));
    return ok(r, OrderedJson().add("ranges", std::move(ranges)));
}

std::string serviceCapabilities(std::vector<LightState>&, const JsonApiRequest& r)
{
    OrderedJson data;
    data.add("automaticIntensitySupport", OrderedJson::boolean(true));
    data.add("manualIntensitySupport", OrderedJson::boolean(true));
    data.add("getCurrentIntensitySupport", OrderedJson::boolean(true));
    data.add("individualIntensitySupport", OrderedJson::boolean(false));
    data.add("automaticAngleOfIlluminationSupport", OrderedJson::boolean(false));
    data.add("manualAngleOfIlluminationSupport", OrderedJson::boolean(false));
    data.add("dayNightSynchronizeSupport", OrderedJson::boolean(true));
    return ok(r, data);
}

std::string supportedVersions(std::vector<LightState>&, const JsonApiRequest& r)
{
    OrderedJson versions = OrderedJson::array();
    versions.push(OrderedJson::string(LightControlCgi::kApiVersion));
    return ok(r, OrderedJson().add("apiVersions", std::move(versions)));
}

const std::map<std::string, Reply>& methods()
{
    static const std::map<std::string, Reply> table = {
        {"getSupportedVersions", supportedVersions},
        {"getServiceCapabilities", serviceCapabilities},
        {"getLightInformation", lightInformation},
        {"enableLight", setFlag(&LightState::enabled, true)},
        {"disableLight", setFlag(&LightState::enabled, false)},
        {"activateLight", setFlag(&LightState::lightState, true)},
        {"deactivateLight", setFlag(&LightState::lightState, false)},
        {"getLightStatus",
         get("status", [](const LightState& l) { return OrderedJson::boolean(l.lightState); })},
        {"setLightSynchronizeDayNightMode", setFromParam(&LightState::synchronizeDayNightMode)},
        {"getLightSynchronizeDayNightMode",
         get("synchronize", [](const LightState& l) { return OrderedJson::boolean(l.synchronizeDayNightMode); })},
        {"setAutomaticIntensityMode", setFromParam(&LightState::automaticIntensityMode)},
        {"setManualIntensity", setManualIntensity},
        {"getManualIntensity",
         get("intensity", [](const LightState& l) { return OrderedJson::number(l.manualIntensity); })},
        {"getValidIntensity", validIntensity},
    };
    return table;
}

} // namespace

LightControlCgi::LightControlCgi(Camera& camera)
    : lights_(camera.withModel([](Model& m) { return initialLights(m); }))
{
}

bool LightControlCgi::available(const Model& model)
{
    return model.value("Properties.LightControl.LightControlAvailable") == "yes";
}

std::vector<LightState> LightControlCgi::initialLights(const Model& model)
{
    if (!available(model))
        return {};
    return {LightState{}};
}

HttpResponse LightControlCgi::handle(const HttpRequest& request)
{
    if (request.method != "POST") {
        HttpResponse r = HttpResponse::text(405, "405 Method Not Allowed\n");
        r.headers.emplace_back("Allow", "POST");
        return r;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return HttpResponse::text(200, answer(lights_, request.body), "application/json");
}

std::string LightControlCgi::answer(std::vector<LightState>& lights, const std::string& body)
{
    JsonApiRequest request;
    JsonApiError error;
    if (!parseJsonApiRequest(body, request, error))
        return jsonApiError(kApiVersion, request, error);
    if (!jsonApiVersionServed(request.apiVersion, kApiVersion))
        return refuse(request, kJsonUnsupportedVersion, "The requested API version is not supported");
    const auto& table = methods();
    const auto method = table.find(request.method);
    if (method == table.end())
        return refuse(request, kJsonMethodNotSupported, "Method not supported");
    // Work on a copy: a refused request changes nothing.
    std::vector<LightState> next = lights;
    std::string text = method->second(next, request);
    lights = std::move(next);
    return text;
}

std::vector<LightState> LightControlCgi::lights() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lights_;
}

} // namespace Camsim

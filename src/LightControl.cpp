#include "LightControl.h"

#include <cctype>
#include <json/reader.h>
#include <memory>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

struct LightKey {
    const char* camera;
    const char* host;
};
constexpr LightKey kLightKeys[] = {
    {"enabled", "lightEnabled"},
    {"lightState", "lightState"},
    {"synchronizeDayNightMode", "lightSync"},
};

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char* hex = "0123456789abcdef";
                out += "\\u00";
                out += hex[(c >> 4) & 0xf];
                out += hex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

// "led12lightSync" -> {"led12", "lightSync"}.
std::optional<std::pair<std::string, std::string>> splitLightName(const std::string& name)
{
    if (name.compare(0, 3, "led") != 0)
        return std::nullopt;
    std::size_t i = 3;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])))
        ++i;
    if (i == 3)
        return std::nullopt;
    const std::string key = name.substr(i);
    for (const auto& k : kLightKeys) {
        if (key == k.host)
            return std::make_pair(name.substr(0, i), key);
    }
    return std::nullopt;
}

std::optional<bool> boolOf(const Orix::Utility::ParamValue& value)
{
    if (const bool* b = std::get_if<bool>(&value))
        return *b;
    if (const std::string* s = std::get_if<std::string>(&value)) {
        if (*s == "true")
            return true;
        if (*s == "false")
            return false;
    }
    return std::nullopt;
}

} // namespace

std::string LightControl::body(const std::string& method, const std::vector<LightParameter>& params)
{
    std::string out = "{\n";
    out += "\t\"apiVersion\": \"1.0\",\n";
    out += "\t\"context\": \"context\",\n";
    out += "\t\"method\": " + quoted(method) + ",\n";
    out += "\t\"params\": {\n";
    for (std::size_t i = 0; i < params.size(); ++i) {
        out += "\t\t" + quoted(params[i].first) + ": ";
        if (const bool* b = std::get_if<bool>(&params[i].second))
            out += *b ? "true" : "false";
        else
            out += quoted(std::get<std::string>(params[i].second));
        out += i + 1 < params.size() ? ",\n" : "\n";
    }
    out += "\t}\n";
    out += "}";
    return out;
}

std::uint32_t LightControl::readInformation(const std::string& json, LightInformation& out,
                                            const Orix::LoggerOwner& logger)
{
    Json::Value root;
    std::string errors;
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    bool parsed = false;
    try {
        parsed = reader->parse(json.data(), json.data() + json.size(), &root, &errors);
    } catch (const std::exception& e) {
        errors = e.what(); // nested deeper than the stack limit
    }
    if (!parsed || !root.isObject()) {
        ORIX_LOG(logger, Orix::LogNotice, " Light information is not JSON: " << errors);
        return Orix::ProtocolError;
    }
    // jsoncpp throws when a member is read from a non-object or a value of
    // the wrong type is converted: every step checks the type first.
    if (root.isMember("error")) {
        const Json::Value& error = root["error"];
        const Json::Value code = error.isObject() ? error["code"] : Json::Value();
        const Json::Value message = error.isObject() ? error["message"] : Json::Value();
        ORIX_LOG(logger, Orix::LogNotice,
                 " Light information refused: " << (code.isInt() ? code.asInt() : 0) << " "
                                                << (message.isString() ? message.asString() : ""));
        return Orix::ProtocolError;
    }
    const Json::Value& data = root["data"];
    const Json::Value items = data.isObject() ? data["items"] : Json::Value();
    if (!items.isArray()) {
        ORIX_LOG(logger, Orix::LogNotice, " Light information without data.items");
        return Orix::ProtocolError;
    }
    for (Json::ArrayIndex i = 0; i < items.size() && i < kMaxLights; ++i) {
        const Json::Value& item = items[i];
        if (!item.isObject() || !item["lightID"].isString()) {
            ORIX_LOG(logger, Orix::LogNotice, " Light " << i << " has no lightID");
            continue;
        }
        Light light{"led" + std::to_string(i), item["lightID"].asString()};
        for (const auto& key : kLightKeys) {
            if (!item.isMember(key.camera))
                continue;
            const Json::Value& v = item[key.camera];
            const bool on = (v.isBool() && v.asBool()) || (v.isString() && v.asString() == "true");
            const std::string name = light.prefix + key.host;
            out.properties[name] = Orix::GDRV::PropertyBool{name, on};
            out.values[name] = on;
        }
        out.lights.push_back(std::move(light));
    }
    return Orix::Ok;
}

bool LightControl::isLightProperty(const std::string& name)
{
    return splitLightName(name).has_value();
}

bool LightControl::offered(const std::string& name, const Orix::Utility::ParamMap& values)
{
    const auto split = splitLightName(name);
    if (!split || split->second == "lightEnabled")
        return true;
    const auto enabled = values.find(split->first + "lightEnabled");
    if (enabled == values.end())
        return false;
    const auto on = boolOf(enabled->second);
    return on && *on;
}

std::optional<LightRequest> LightControl::writeRequest(const std::string& name,
                                                       const Orix::Utility::ParamValue& value,
                                                       const std::vector<Light>& lights,
                                                       const Orix::LoggerOwner& logger)
{
    const auto split = splitLightName(name);
    const auto on = boolOf(value);
    const Light* light = nullptr;
    if (split) {
        for (const auto& l : lights) {
            if (l.prefix == split->first)
                light = &l;
        }
    }
    if (!split || !on || light == nullptr) {
        ORIX_LOG(logger, Orix::LogWarning,
                 " Couldn't form a valid HTTP POST request for setting " << name);
        return std::nullopt;
    }
    std::vector<LightParameter> params{{"lightID", light->id}};
    std::string method;
    if (split->second == "lightEnabled") {
        method = *on ? "enableLight" : "disableLight";
    } else if (split->second == "lightState") {
        method = *on ? "activateLight" : "deactivateLight";
    } else {
        method = "setLightSynchronizeDayNightMode";
        params.emplace_back("enabled", *on);
    }
    return LightRequest{kLightControlUri, body(method, params)};
}

} // namespace Vapixcam

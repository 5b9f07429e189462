#include "Vmd4Configuration.h"

#include <json/reader.h>
#include <json/value.h>
#include <memory>

namespace Vapixcam {

const std::array<Vmd4Filter, 3> kVmd4Filters = {{
    {"sizePercentage", "sizePercentageActive", {"sizePercentageW", "sizePercentageH"}},
    {"timeShortLivedLimit", "timeShortLivedLimitActive", {"timeShortLivedLimit", ""}},
    {"distanceSwayingObject", "distanceSwayingObjectActive", {"distanceSwayingObject", ""}},
}};

namespace {

const char* flag(bool value)
{
    return value ? "true" : "false";
}

std::string areaObject(const char* type, const AreaPolygon& polygon)
{
    std::string out = std::string("{\"type\":\"") + type + "\",\"data\":[";
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const AreaPoint camera = toCameraFrame(polygon[i]);
        if (i != 0)
            out += ",";
        out += "[" + formatCoordinate(camera.x) + "," + formatCoordinate(camera.y) + "]";
    }
    return out + "]}";
}

bool parseJson(const std::string& text, Json::Value& root, std::string& error)
{
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return reader->parse(text.data(), text.data() + text.size(), &root, &error);
}

int intOf(const Json::Value& value, int fallback)
{
    return value.isInt() ? value.asInt() : fallback;
}

} // namespace

std::string buildVmd4Configuration(int channel, const MotionAreas& areas,
                                   const Orix::Utility::ParametersContainer& values)
{
    if (areas.detection.empty())
        return {};
    const std::string n = std::to_string(channel + 1);
    std::string filters =
        "{\"type\":\"sizePercentage\",\"data\":[" + std::to_string(values.getInt("sizePercentageW", 5)) + "," +
        std::to_string(values.getInt("sizePercentageH", 5)) + "],\"active\":" +
        flag(values.getBool("sizePercentageActive", true)) + "}";
    filters += std::string(",{\"type\":\"timeShortLivedLimit\",\"active\":") +
               flag(values.getBool("timeShortLivedLimitActive", true)) +
               ",\"data\":" + std::to_string(values.getInt("timeShortLivedLimit", 1)) + "}";
    filters += std::string(",{\"type\":\"distanceSwayingObject\",\"active\":") +
               flag(values.getBool("distanceSwayingObjectActive", true)) +
               ",\"data\":" + std::to_string(values.getInt("distanceSwayingObject", 5)) + "}";
    for (const AreaPolygon& exclusion : areas.exclusions)
        filters += "," + areaObject("excludeArea", exclusion);
    const std::string profile = "{\"name\":\"Profile 1\",\"uid\":1,\"camera\":" + n + ",\"filters\":[" +
                                filters + "],\"triggers\":[" + areaObject("includeArea", areas.detection) + "]}";
    return "{\"apiVersion\":\"1.0\",\"context\":\"\",\"method\":\"setConfiguration\",\"params\":{\"cameras\":["
           "{\"active\":true,\"id\":" + n + ",\"rotation\":0}],\"profiles\":[" + profile + "]}}";
}

bool vmd4RequestMalformed(const std::string& answer)
{
    return answer.find("\"code\":\"2001\"") != std::string::npos;
}

std::string vmd4CapabilitiesRequest(const std::string& apiVersion)
{
    return "{\"apiVersion\": \"" + apiVersion + "\",\"method\" : \"getConfigurationCapabilities\"}";
}

std::optional<std::string> readVmd4ApiVersion(const std::string& answer)
{
    Json::Value root;
    std::string error;
    if (!parseJson(answer, root, error) || !root.isObject())
        return std::nullopt;
    const Json::Value& version = static_cast<const Json::Value&>(root)["apiVersion"];
    if (!version.isString())
        return std::nullopt;
    return version.asString();
}

bool readVmd4Capabilities(const std::string& answer, Vmd4Capabilities& out, std::string& error)
{
    Json::Value root;
    if (!parseJson(answer, root, error))
        return false;
    if (!root.isObject()) {
        error = "answer is not a JSON object";
        return false;
    }
    const Json::Value& document = root; // const access never adds members
    if (document["error"].isObject()) {
        const Json::Value& message = document["error"]["message"];
        error = message.isString() ? message.asString() : "error without message";
        return false;
    }
    const Json::Value& filters = document["data"]["filters"];
    if (!filters.isArray()) {
        error = "no filters in the answer";
        return false;
    }
    for (const Json::Value& entry : filters) {
        if (!entry.isObject())
            continue;
        const std::string type = entry["type"].isString() ? entry["type"].asString() : std::string();
        const Vmd4Filter* match = nullptr;
        for (const Vmd4Filter& filter : kVmd4Filters)
            if (type == filter.type)
                match = &filter;
        if (!match) {
            out.unsupported.push_back(type);
            continue;
        }
        Vmd4Capability active;
        active.property = match->enablingProperty;
        active.isBool = true;
        active.defaultActive = entry["defaultActive"].isBool() ? entry["defaultActive"].asBool() : true;
        out.properties.push_back(active);
        // sizePercentage gives one default per axis as a pair, or one for both.
        const Json::Value& defaults = entry["default"];
        for (std::size_t axis = 0; axis < match->valueProperties.size(); ++axis) {
            if (*match->valueProperties[axis] == '\0')
                continue;
            Vmd4Capability value;
            value.property = match->valueProperties[axis];
            value.min = intOf(entry["min"], 0);
            value.max = intOf(entry["max"], 100);
            value.defaultValue = defaults.isArray()
                                     ? intOf(defaults[static_cast<Json::ArrayIndex>(axis)], value.min)
                                     : intOf(defaults, value.min);
            out.properties.push_back(value);
        }
    }
    return true;
}

} // namespace Vapixcam

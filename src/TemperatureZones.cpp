#include "TemperatureZones.h"

#include "DefinitionsReader.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cmath>
#include <netkit/params/PropertiesJson.h>
#include <optional>
#include <sstream>

namespace Vapixcam {

namespace {

namespace pt = boost::property_tree;

constexpr double kCameraScale = 9999.0;

const std::pair<const char*, const char*> kZoneValues[] = {
    {"Emissivity", "emissivity"}, {"DetectionType", "detectionType"}, {"Temperature", "temperature"},
    {"TemperatureType", "temperatureType"}, {"DelayTime", "delayTime"},
};

std::optional<std::string> field(const pt::ptree& zone, const std::string& name)
{
    if (const auto child = zone.get_child_optional(name))
        return child->data();
    if (const auto attribute = zone.get_optional<std::string>("<xmlattr>." + name))
        return *attribute;
    return std::nullopt;
}

double coordinate(const pt::ptree& zone, const char* name)
{
    const auto text = field(zone, name);
    if (!text)
        throw std::runtime_error(std::string("no ") + name);
    std::size_t used = 0;
    const double value = std::stod(*text, &used);
    if (used != text->size() || !std::isfinite(value))
        throw std::runtime_error(std::string("bad ") + name);
    return value;
}

bool readZone(const pt::ptree& node, std::size_t position, TemperatureZone& zone)
{
    try {
        const double left = coordinate(node, "Xleft") / kCameraScale;
        const double right = coordinate(node, "Xright") / kCameraScale;
        const double top = coordinate(node, "Ytop") / kCameraScale;
        const double bottom = coordinate(node, "Ybottom") / kCameraScale;
        zone.left = left;
        zone.top = top;
        zone.width = std::fabs(right - left);
        zone.height = std::fabs(bottom - top);
    } catch (const std::exception&) {
        return false;
    }
    for (const auto& [camera, host] : kZoneValues)
        if (const auto value = field(node, camera))
            zone.values.emplace_back(host, *value);
    if (const auto name = field(node, "Name"); name && !name->empty())
        zone.name = *name;
    else if (const auto id = field(node, "ZoneID") ? field(node, "ZoneID") : field(node, "Id"))
        zone.name = "Zone " + *id;
    else
        zone.name = "Zone " + std::to_string(position);
    return true;
}

} // namespace

bool readTemperatureZones(const std::string& xml, TemperatureReading& out, std::string& error)
{
    pt::ptree tree;
    if (!readBoundedXml(xml, tree, error))
        return false;
    const auto zones = tree.get_child_optional("TemperatureResponse.Success.GetSuccess");
    if (!zones) {
        error = "no TemperatureResponse.Success.GetSuccess in the answer";
        return false;
    }
    std::size_t position = 0;
    for (const auto& [key, node] : *zones) {
        if (key == "<xmlattr>" || key == "<xmlcomment>")
            continue;
        ++position;
        TemperatureZone zone;
        if (readZone(node, position, zone))
            out.zones.push_back(std::move(zone));
        else
            out.failed.push_back(key);
    }
    return true;
}

Json::Value temperatureSettingsJson(const TemperatureReading& reading)
{
    using namespace Orix::Utility;
    Json::Value document(Json::objectValue);
    document[JSON_SCHEMA_VERSION] = JSON_SCHEMA_VERSION_VALUE;
    Json::Value& settings = document[JSON_SETTINGS] = Json::Value(Json::arrayValue);
    Json::Value& elements = document["visualElements"] = Json::Value(Json::arrayValue);
    for (const TemperatureZone& zone : reading.zones) {
        Json::Value group(Json::objectValue);
        group[JSON_GROUP] = zone.name;
        Json::Value& properties = group[JSON_PROPERTIES] = Json::Value(Json::arrayValue);
        for (const auto& [host, value] : zone.values)
            properties.append(propertyToJson(Orix::GDRV::PropertyString{host, value}));
        settings.append(group);

        Json::Value element(Json::objectValue);
        element["name"] = zone.name;
        element["left"] = zone.left;
        element["top"] = zone.top;
        element["width"] = zone.width;
        element["height"] = zone.height;
        elements.append(element);
    }
    return document;
}

} // namespace Vapixcam

#include "Vmd3Configuration.h"

#include "DefinitionsReader.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <limits>
#include <sstream>

namespace Vapixcam {

const std::array<Vmd3Filter, 4> kVmd3Filters = {{
    {"Object Duration", "objectDuration", "shortLivedObjects"},
    {"Object Width", "objectWidth", "smallObjects"},
    {"Object Height", "objectHeight", "smallObjects"},
    {"Traveled Distance", "traveledDistance", "swayingObjects"},
}};

namespace {

std::string polygonObject(const std::string& name, const AreaPolygon& polygon)
{
    std::string out = "<namedObject name=\"" + name + "\">\n<data knownTypeName=\"geometry.polygon\">\n<polygon>\n";
    for (const AreaPoint& point : polygon) {
        const AreaPoint camera = toCameraFrame(point);
        out += "<point x=\"" + formatCoordinate(camera.x) + "\" y=\"" + formatCoordinate(camera.y) +
               "\" />\n";
    }
    return out + "</polygon>\n</data>\n</namedObject>\n";
}

std::string intObject(const std::string& name, int value)
{
    return "<namedObject name=\"" + name + "\"><data knownTypeName=\"core.int\"><int value=\"" +
           std::to_string(value) + "\" /></data></namedObject>\n";
}

} // namespace

std::string buildVmd3Configuration(int channel, const MotionAreas& areas,
                                   const Orix::Utility::ParametersContainer& values)
{
    if (areas.detection.empty())
        return {};
    const std::string n = std::to_string(channel + 1);
    std::string out =
        "action=modify&name=VMD3\n<config version=\"2.0\">\n"
        "<application name=\"VMD3\" nicename=\"Video Motion Detection 3\">\n<ruleEngines>\n"
        "<ruleEngine status=\"enabled\">\n<namedObjects>\n";
    out += polygonObject("Detection Area", areas.detection);
    for (std::size_t i = 0; i < areas.exclusions.size(); ++i)
        out += polygonObject("Exclude Area " + std::to_string(i + 1), areas.exclusions[i]);
    for (const Vmd3Filter& filter : kVmd3Filters) {
        const int value = values.getInt(filter.valueProperty, 0);
        const bool enabled = values.getBool(filter.enablingProperty, true);
        out += intObject(filter.object, enabled ? value : -value);
    }
    out += "</namedObjects>\n<rules>\n<rule name=\"detection_0\" function=\"guardIncludeArea\">\n"
           "<parameter name=\"Time\" value=\"Object Duration\" />\n"
           "<parameter name=\"Width\" value=\"Object Width\" />\n"
           "<parameter name=\"Height\" value=\"Object Height\" />\n"
           "<parameter name=\"Duration\" value=\"Visual Duration\" />\n"
           "<parameter name=\"Distance\" value=\"Traveled Distance\" />\n"
           "<parameter name=\"Channel\" value=\"" + n + "\" />\n"
           "<parameter name=\"IncludeArea\" value=\"Detection Area\" />\n";
    for (std::size_t i = 1; i <= areas.exclusions.size(); ++i) {
        const std::string k = std::to_string(i);
        out += "<parameter name=\"ExcludeArea" + k + "\" value=\"Exclude Area " + k + "\" />\n";
    }
    out += "</rule>\n</rules>\n<scripts>\n<script encryption=\"1\">combined.lua</script>\n</scripts>\n"
           "<events>\n<event name=\"vmd3_video_" + n + "\" nicename=\"VMD 3: Video " + n + "\">\n"
           "<attr nicename=\"Area ID\" value=\"0\" key=\"areaid\" tag=\"source\" />\n"
           "<attr nicename=\"Polygon info\" key=\"areapolygon\" tag=\"data\" />\n"
           "<attr nicename=\"Active\" key=\"active\" tag=\"property-state\" />\n"
           "</event>\n</events>\n<moteConfig>\n"
           "<option name=\"boundingBox\" value=\"true\" />\n"
           "<option name=\"polygon\" value=\"true\" />\n"
           "<option name=\"velocity\" value=\"false\" />\n"
           "</moteConfig>\n<libraries>\n<library name=\"system\" />\n</libraries>\n"
           "<analyticSources>\n<analyticSource name=\"imageSource\" value=\"" + n + "\" />\n"
           "</analyticSources>\n</ruleEngine>\n";
    out += "</ruleEngines>\n</application>\n</config>";
    return out;
}

bool readVmd3Configuration(const std::string& xml, Vmd3Reading& out, std::string& error)
{
    namespace pt = boost::property_tree;
    pt::ptree tree;
    if (!readBoundedXml(xml, tree, error))
        return false;
    const auto objects = tree.get_child_optional("reply.config.application.ruleEngines.ruleEngine.namedObjects");
    if (!objects) {
        error = "no named objects in the answer";
        return false;
    }
    for (const auto& [key, object] : *objects) {
        if (key != "namedObject")
            continue;
        const auto value = object.get_optional<int>("data.int.<xmlattr>.value");
        if (!value)
            continue;
        const std::string name = object.get("<xmlattr>.name", "");
        const Vmd3Filter* match = nullptr;
        for (const Vmd3Filter& filter : kVmd3Filters)
            if (name == filter.object)
                match = &filter;
        if (!match) {
            out.unsupported.push_back(name);
            continue;
        }
        // Magnitude without overflow on the most negative value a camera can send.
        const int magnitude = *value >= 0 ? *value
                              : *value == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max()
                                                                          : -*value;
        out.filters.push_back({match, magnitude, *value > 0});
    }
    return true;
}

} // namespace Vapixcam

#include "TrackerFrame.h"

#include "DefinitionsReader.h"

#include <boost/algorithm/string/trim.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <sstream>
#include <stdexcept>

namespace Vapixcam {

namespace {

namespace pt = boost::property_tree;

std::uint32_t objectId(const std::string& text)
{
    std::size_t used = 0;
    const long long value = std::stoll(text, &used, 10);
    if (used != text.size())
        throw std::invalid_argument("ObjectId '" + text + "' is not a number");
    return static_cast<std::uint32_t>(value);
}

std::optional<std::array<double, 3>> colour(const pt::ptree& object, bool& failed)
{
    const auto appearance = object.get_child_optional("tt:Appearance.tt:Color");
    if (!appearance)
        return std::nullopt;
    try {
        const pt::ptree& c = appearance->get_child("tt:Color.<xmlattr>");
        return std::array<double, 3>{c.get<double>("X"), c.get<double>("Y"), c.get<double>("Z")};
    } catch (const pt::ptree_error&) {
        failed = true;
        return std::nullopt;
    }
}

} // namespace

TrackedTarget boxToTarget(double left, double top, double right, double bottom)
{
    TrackedTarget target;
    target.x = (left + 1.0) * 0.5;
    target.y = (1.0 - top) * 0.5;
    target.width = (right - left) * 0.5;
    target.height = (top - bottom) * 0.5;
    return target;
}

bool readTrackerFrame(const std::string& data, TrackerFrame& out, std::string& error)
{
    const std::string text = boost::algorithm::trim_copy(data);
    if (xmlNestingDepth(text) > kMaxDefinitionsDepth) {
        error = "document nested too deeply";
        return false;
    }
    TrackerFrame frame;
    try {
        pt::ptree tree;
        std::istringstream in(text);
        pt::read_xml(in, tree, pt::xml_parser::trim_whitespace);
        for (const auto& [key, object] : tree.get_child("tt:ElementItem.tt:Frame")) {
            if (key == "<xmlattr>" || key == "<xmlcomment>")
                continue;
            const pt::ptree& box = object.get_child("tt:Appearance.tt:Shape.tt:BoundingBox.<xmlattr>");
            TrackedTarget target = boxToTarget(box.get<double>("left"), box.get<double>("top"),
                                               box.get<double>("right"), box.get<double>("bottom"));
            const std::string behaviour = object.get("tt:Behaviour.tt:Extension", "");
            bool colourFailed = false;
            target.rgb = colour(object, colourFailed);
            if (colourFailed)
                ++frame.colourFailures;
            if (behaviour != "Created" && behaviour != "Changed")
                continue;
            target.id = objectId(object.get<std::string>("<xmlattr>.ObjectId"));
            frame.targets.push_back(target);
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    out = std::move(frame);
    return true;
}

} // namespace Vapixcam

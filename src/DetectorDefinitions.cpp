#include "DetectorDefinitions.h"

#include "DefinitionsReader.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <optional>
#include <sstream>

namespace Vapixcam {

namespace {

namespace pt = boost::property_tree;


const pt::ptree* childGroup(const pt::ptree& parent, const std::string& name)
{
    for (const auto& [key, child] : parent)
        if (key == "group" && child.get("<xmlattr>.name", "") == name)
            return &child;
    return nullptr;
}

const pt::ptree* findGroup(const pt::ptree& tree, const std::vector<std::string>& path, std::string& error)
{
    const auto top = tree.get_child_optional("parameterDefinitions");
    if (!top) {
        error = "not a parameter definitions document";
        return nullptr;
    }
    const pt::ptree* group = &*top;
    if (const pt::ptree* root = childGroup(*group, "root"))
        group = root;
    for (const std::string& name : path) {
        group = childGroup(*group, name);
        if (!group) {
            error = "group '" + name + "' is not defined";
            return nullptr;
        }
    }
    return group;
}

const pt::ptree* findParameter(const pt::ptree& group, const std::string& name, int depth = 0)
{
    for (const auto& [key, child] : group)
        if (key == "parameter" && child.get("<xmlattr>.name", "") == name)
            return &child;
    if (depth >= 4)
        return nullptr;
    for (const auto& [key, child] : group)
        if (key == "group")
            if (const pt::ptree* found = findParameter(child, name, depth + 1))
                return found;
    return nullptr;
}

std::optional<int> toInt(const std::string& text)
{
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size())
            return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// false: the type is not one we know.
bool readParameter(const pt::ptree& parameter, const std::string& host, DetectorDefinitions& out)
{
    const std::string value = parameter.get("<xmlattr>.value", "");
    const auto type = parameter.get_child_optional("type");
    if (!type)
        return false;
    if (const auto b = type->get_child_optional("bool")) {
        const std::string on = b->get("<xmlattr>.true", "yes");
        out.properties[host] = Orix::GDRV::PropertyBool{host, value == on};
        out.values[host] = value == on;
        return true;
    }
    if (const auto i = type->get_child_optional("int")) {
        Orix::GDRV::PropertyIntRange range{host, i->get("<xmlattr>.min", 0), i->get("<xmlattr>.max", 0x7fffffff), 0};
        range.value = toInt(value).value_or(range.min);
        out.properties[host] = range;
        out.values[host] = range.value;
        return true;
    }
    if (const auto e = type->get_child_optional("enum")) {
        Orix::GDRV::PropertyStringEnum list{host, {}, value};
        for (const auto& [key, entry] : *e)
            if (key == "entry")
                list.values.push_back(entry.get("<xmlattr>.value", ""));
        out.properties[host] = list;
        out.values[host] = value;
        return true;
    }
    if (type->get_child_optional("string")) {
        out.properties[host] = Orix::GDRV::PropertyEditableString{host, value};
        out.values[host] = value;
        return true;
    }
    return false;
}

} // namespace

bool readDetectorDefinitions(const std::string& xml, const std::vector<std::string>& groupPath,
                             const DefinitionNames& names, DetectorDefinitions& out, std::string& error)
{
    pt::ptree tree;
    if (!readBoundedXml(xml, tree, error))
        return false;
    const pt::ptree* group = findGroup(tree, groupPath, error);
    if (!group)
        return false;
    for (const auto& [camera, host] : names) {
        const pt::ptree* parameter = findParameter(*group, camera);
        if (parameter && !readParameter(*parameter, host, out))
            out.unknownType.push_back(camera);
    }
    return true;
}

bool readEnumDefinitions(const std::string& xml, const std::vector<std::string>& groupPath,
                         const DefinitionNames& names, DetectorDefinitions& out, std::string& error)
{
    pt::ptree tree;
    if (!readBoundedXml(xml, tree, error))
        return false;
    const pt::ptree* group = findGroup(tree, groupPath, error);
    if (!group)
        return false;
    for (const auto& [key, parameter] : *group) {
        if (key != "parameter" || !parameter.get_child_optional("type.enum"))
            continue;
        const std::string camera = parameter.get("<xmlattr>.name", "");
        std::string host;
        for (const auto& [cameraName, hostName] : names)
            if (cameraName == camera)
                host = hostName;
        Orix::GDRV::PropertyIntEnum list{host, {}, 0};
        bool fits = !host.empty();
        for (const auto& [entryKey, entry] : parameter.get_child("type.enum"))
            if (entryKey == "entry") {
                const auto level = toInt(entry.get("<xmlattr>.value", ""));
                fits = fits && level.has_value();
                if (level)
                    list.values.push_back(*level);
            }
        const auto current = toInt(parameter.get("<xmlattr>.value", ""));
        if (!fits || list.values.empty() || !current) {
            out.failed.push_back(camera);
            continue;
        }
        list.value = *current;
        out.properties[host] = list;
        out.values[host] = *current;
    }
    return true;
}

} // namespace Vapixcam

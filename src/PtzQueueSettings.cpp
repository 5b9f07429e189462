#include "PtzQueueSettings.h"

#include "DefinitionsReader.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <json/value.h>
#include <netkit/params/PropertiesJson.h>
#include <orix/ErrorCodes.h>
#include <sstream>

namespace Vapixcam {

namespace pt = boost::property_tree;
using Orix::LogDebug;
using Orix::LogError;

namespace {

struct QueueParameter {
    const char* property;
    const char* parameter; // under PTZ.Various.V<n>.
};

constexpr QueueParameter kTable[] = {
    {"enableQueue", "CtlQueueing"},
    {"queueLimit", "CtlQueueLimit"},
    {"queuePollTime", "CtlQueuePollTime"},
};

constexpr std::size_t kMaxDocumentBytes = 1024 * 1024;

std::string groupName(std::uint32_t channel)
{
    return "V" + std::to_string(channel + 1);
}

// The group V<n> anywhere under the definitions (with or without "root").
const pt::ptree* findGroup(const pt::ptree& node, const std::string& name, std::size_t depth)
{
    if (depth > kMaxDefinitionsDepth)
        return nullptr;
    for (const auto& child : node) {
        if (child.first != "group")
            continue;
        if (child.second.get(Orix::Utility::XML_ATTRIBUTE_NAME, "") == name)
            return &child.second;
        if (const pt::ptree* found = findGroup(child.second, name, depth + 1))
            return found;
    }
    return nullptr;
}

const QueueParameter* byProperty(const std::string& name)
{
    for (const auto& entry : kTable) {
        if (name == entry.property)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::string queueDefinitionsUrl(std::uint32_t channel)
{
    return "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=PTZ.Various." +
           groupName(channel);
}

std::uint32_t readQueueSettings(const std::string& xml, std::uint32_t channel,
                                PtzQueueSettings& out, const Orix::LoggerOwner& logger)
{
    out = PtzQueueSettings{};
    if (xml.size() > kMaxDocumentBytes || xmlNestingDepth(xml) > kMaxDefinitionsDepth) {
        ORIX_LOG(logger, LogError, " Exeption : the definitions document is too large or too deep");
        return Orix::ProtocolError;
    }
    try {
        pt::ptree doc;
        std::istringstream in(xml);
        pt::read_xml(in, doc);
        const pt::ptree* group = nullptr;
        if (const auto definitions = doc.get_child_optional("parameterDefinitions"))
            group = findGroup(*definitions, groupName(channel), 0);
        if (group == nullptr) {
            ORIX_LOG(logger, LogError, " Failed to acquire dynamic parameters, needed tree root not found");
            return Orix::ProtocolError;
        }
        const std::string prefix = "PTZ.Various.V%.";
        for (const auto& child : *group) {
            if (child.first != "parameter")
                continue;
            const pt::ptree& parameter = child.second;
            const std::string name = parameter.get(Orix::Utility::XML_ATTRIBUTE_NAME, "");
            const std::string value = parameter.get(Orix::Utility::XML_ATTRIBUTE_VALUE, "");
            const QueueParameter* entry = nullptr;
            for (const auto& e : kTable) {
                if (name == e.parameter)
                    entry = &e;
            }
            if (entry == nullptr) {
                ORIX_LOG(logger, LogDebug, " Property '" << prefix << name << "' skipped by checker");
                continue;
            }
            if (const auto type = parameter.get_child_optional("type.bool")) {
                const std::string on = type->get("<xmlattr>.true", "");
                const std::string off = type->get("<xmlattr>.false", "");
                if (on.empty() || off.empty() || (value != on && value != off)) {
                    ORIX_LOG(logger, LogError, " 'Bool' type is defined incorrectly for property '"
                                                   << entry->property << "'");
                    continue;
                }
                out.boolTrue = on;
                out.boolFalse = off;
                out.properties[entry->property] = Orix::GDRV::PropertyBool{entry->property, value == on};
            } else if (const auto type = parameter.get_child_optional("type.int")) {
                Orix::GDRV::PropertyIntRange range{entry->property};
                range.min = type->get<std::int32_t>("<xmlattr>.min");
                range.max = type->get<std::int32_t>("<xmlattr>.max");
                range.value = std::stoi(value);
                out.properties[entry->property] = range;
            } else {
                ORIX_LOG(logger, LogError, " Unknown type is defined in response for of property '"
                                               << entry->property << "'");
            }
        }
    } catch (const std::exception& e) {
        ORIX_LOG(logger, LogError, " Exeption : " << e.what());
        return Orix::ProtocolError;
    }
    return Orix::Ok;
}

std::optional<std::string> queueUpdateUrl(const Orix::Utility::ParamMap& changes,
                                          std::uint32_t channel, const PtzQueueSettings& settings,
                                          std::uint32_t& error)
{
    error = Orix::Ok;
    std::string url = "/axis-cgi/param.cgi?action=update";
    bool any = false;
    for (const auto& [name, value] : changes) {
        const QueueParameter* entry = byProperty(name);
        const auto property = settings.properties.find(name);
        if (entry == nullptr || property == settings.properties.end()) {
            error = Orix::InvalidArgument;
            return std::nullopt;
        }
        std::string text;
        if (std::holds_alternative<Orix::GDRV::PropertyBool>(property->second)) {
            const bool* on = std::get_if<bool>(&value);
            if (on == nullptr) {
                error = Orix::WrongValueType;
                return std::nullopt;
            }
            text = *on ? settings.boolTrue : settings.boolFalse;
        } else {
            const int* number = std::get_if<int>(&value);
            const auto& range = std::get<Orix::GDRV::PropertyIntRange>(property->second);
            if (number == nullptr) {
                error = Orix::WrongValueType;
                return std::nullopt;
            }
            if (*number < range.min || *number > range.max) {
                error = Orix::InvalidArgument;
                return std::nullopt;
            }
            text = std::to_string(*number);
        }
        url += "&PTZ.Various." + groupName(channel) + "." + entry->parameter + "=" + text;
        any = true;
    }
    if (!any)
        return std::nullopt;
    return url;
}

void applyQueueChanges(const Orix::Utility::ParamMap& changes, PtzQueueSettings& settings)
{
    for (const auto& [name, value] : changes) {
        const auto property = settings.properties.find(name);
        if (property == settings.properties.end())
            continue;
        if (auto* flag = std::get_if<Orix::GDRV::PropertyBool>(&property->second)) {
            if (const bool* on = std::get_if<bool>(&value))
                flag->value = *on;
        } else if (auto* range = std::get_if<Orix::GDRV::PropertyIntRange>(&property->second)) {
            if (const int* number = std::get_if<int>(&value))
                range->value = *number;
        }
    }
}

std::string queueSettingsJson(const PtzQueueSettings& settings)
{
    Json::Value document(Json::objectValue);
    document[Orix::Utility::JSON_SCHEMA_VERSION] = Orix::Utility::JSON_SCHEMA_VERSION_VALUE;
    static const pt::ptree groups = [] {
        pt::ptree tree;
        pt::ptree queue;
        for (const auto& entry : kTable)
            queue.push_back({"", pt::ptree(entry.property)});
        tree.add_child("ptzQueue", queue);
        return tree;
    }();
    document[Orix::Utility::JSON_SETTINGS] = Orix::Utility::propertiesToJson(settings.properties, groups);
    return Orix::Utility::writeSettingsJson(document);
}

} // namespace Vapixcam

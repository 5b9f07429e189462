#include "AudioSettings.h"

#include "DefinitionsReader.h"
#include "DeviceServices.h"

#include <netkit/http/ResponseCheck.h>
#include <netkit/params/PropertiesJson.h>
#include <orix/ErrorCodes.h>

#include <json/value.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <sstream>

namespace Vapixcam {

namespace pt = boost::property_tree;

namespace {

const pt::ptree* childGroup(const pt::ptree& parent, const std::string& name)
{
    for (const auto& [key, node] : parent) {
        if (key == "group" && node.get<std::string>("<xmlattr>.name", "") == name)
            return &node;
    }
    return nullptr;
}

AudioParameterDefinition readDefinition(const pt::ptree& node)
{
    AudioParameterDefinition d;
    d.name = node.get<std::string>("<xmlattr>.name", "");
    if (const auto value = node.get_optional<std::string>("<xmlattr>.value"))
        d.value = *value;
    const auto type = node.get_child_optional("type");
    if (!type)
        return d;
    if (const auto b = type->get_child_optional("bool")) {
        d.kind = AudioParameterDefinition::Kind::boolean;
        d.trueValue = b->get<std::string>("<xmlattr>.true", "yes");
    } else if (const auto i = type->get_child_optional("int")) {
        d.kind = AudioParameterDefinition::Kind::integer;
        d.min = i->get<std::int32_t>("<xmlattr>.min", 0);
        d.max = i->get<std::int32_t>("<xmlattr>.max", 0);
    } else if (const auto e = type->get_child_optional("enum")) {
        d.kind = AudioParameterDefinition::Kind::enumeration;
        for (const auto& [key, entry] : *e) {
            if (key == "entry")
                d.entries.push_back(entry.get<std::string>("<xmlattr>.value", ""));
        }
    }
    return d;
}

} // namespace

std::optional<std::vector<AudioParameterDefinition>> readAudioDefinitions(const std::string& xml,
                                                                          std::uint32_t channel)
{
    pt::ptree tree;
    std::string error;
    if (!readBoundedXml(xml, tree, error, false))
        return std::nullopt;
    const auto top = tree.get_child_optional("parameterDefinitions");
    if (!top)
        return std::nullopt;
    const pt::ptree* base = &*top;
    if (const auto* root = childGroup(*top, "root"))
        base = root;
    const auto* audio = childGroup(*base, "AudioSource");
    const auto* input = audio ? childGroup(*audio, "A" + std::to_string(channel)) : nullptr;
    if (!input)
        return std::nullopt;
    std::vector<AudioParameterDefinition> out;
    try {
        for (const auto& [key, node] : *input) {
            if (key == "parameter")
                out.push_back(readDefinition(node));
        }
    } catch (const std::exception&) {
        return std::nullopt; // a min or max that is no number
    }
    return out;
}

std::optional<Orix::GDRV::Property> audioProperty(const AudioParameterDefinition& d, const std::string& hostName)
{
    if (!d.value)
        return std::nullopt;
    using Kind = AudioParameterDefinition::Kind;
    switch (d.kind) {
    case Kind::boolean:
        return Orix::GDRV::PropertyBool{hostName, *d.value == d.trueValue};
    case Kind::integer: {
        std::int32_t value = 0;
        try {
            value = std::stoi(*d.value);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        return Orix::GDRV::PropertyIntRange{hostName, d.min, d.max, value};
    }
    case Kind::enumeration:
        return Orix::GDRV::PropertyStringEnum{hostName, d.entries, *d.value};
    case Kind::text:
        return Orix::GDRV::PropertyString{hostName, *d.value};
    }
    return std::nullopt;
}

void requestAudioDefinitions(DeviceServices& device, std::uint32_t channel,
                             std::shared_ptr<const Orix::LoggerOwner> logger, AudioDefinitionsDone done)
{
    const std::string uri =
        "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=AudioSource.A" + std::to_string(channel);
    ORIX_LOG(*logger, Orix::LogDebug, " Start reading parameters from device");
    Orix::http::asyncGetEx(device.connectionInfo(), uri, device.ioContext(), std::nullopt,
                           [logger, uri, channel, done](const boost::system::error_code& ec, const std::string& body,
                                                        const Orix::http::HttpResponse& response) {
                               if (const auto result = Orix::Utility::checkHttpAnswer(*logger, ec, body, response, uri))
                                   return done(result, {});
                               const auto definitions = readAudioDefinitions(body, channel);
                               if (!definitions) {
                                   ORIX_LOG(*logger, Orix::LogError,
                                            " No AudioSource.A" << channel << " in the definitions, request: " << uri);
                                   return done(Orix::ProtocolError, {});
                               }
                               done(0, *definitions);
                           });
}

std::string audioSettingsDocument(const Orix::GDRV::PropertySet& set, const Orix::LoggerOwner& logger)
{
    Json::Value document(Json::objectValue);
    document[Orix::Utility::JSON_SCHEMA_VERSION] = Orix::Utility::JSON_SCHEMA_VERSION_VALUE;
    document[Orix::Utility::JSON_SETTINGS] = Orix::Utility::propertiesToJson(set, pt::ptree());
    const std::string text = Orix::Utility::writeSettingsJson(document);
    ORIX_LOG(logger, Orix::LogDebug, " Acquired:\n" << text << "\nReading parameters from device completed");
    return text;
}

std::optional<std::string> settingText(const Orix::Utility::ParamMap& collected, const std::string& name)
{
    const auto it = collected.find(name);
    if (it == collected.end())
        return std::nullopt;
    if (std::holds_alternative<double>(it->second))
        return std::to_string(static_cast<int>(std::get<double>(it->second)));
    return Orix::Utility::paramToString(it->second);
}

} // namespace Vapixcam

#include "DefinitionsReader.h"

#include "TopologyParser.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <limits>
#include <netkit/params/PropertiesJson.h>
#include <orix/ErrorCodes.h>
#include <sstream>

namespace Vapixcam {

namespace pt = boost::property_tree;
using Orix::LogDebug;
using Orix::LogError;
using Orix::LogNotice;

namespace {

constexpr std::int64_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();

std::optional<std::int64_t> parseInteger(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used != text.size())
            return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::int32_t clamp32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::min(std::max(v, kIntMin), kIntMax));
}

Orix::GDRV::PropertySet& targetSet(const ParameterDescriptor& d, AcquiredProperties& out)
{
    return d.stream ? out.streaming : out.image;
}

} // namespace

std::size_t xmlNestingDepth(const std::string& text)
{
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '<' || i + 1 >= text.size())
            continue;
        const char next = text[i + 1];
        if (next == '?' || next == '!')
            continue;
        if (next == '/') {
            if (depth > 0)
                --depth;
            continue;
        }
        const auto close = text.find('>', i + 1);
        if (close == std::string::npos)
            break;
        if (text[close - 1] != '/') {
            ++depth;
            deepest = std::max(deepest, depth);
        }
        i = close;
    }
    return deepest;
}

bool readBoundedXml(const std::string& xml, pt::ptree& tree, std::string& error, bool trimWhitespace)
{
    if (xmlNestingDepth(xml) > kMaxDefinitionsDepth) {
        error = "document nested too deeply";
        return false;
    }
    try {
        std::istringstream in(xml);
        pt::read_xml(in, tree, trimWhitespace ? pt::xml_parser::trim_whitespace : 0);
    } catch (const pt::ptree_error& e) {
        error = e.what();
        return false;
    }
    return true;
}

DefinitionsReader::DefinitionsReader(const DescriptorTable& table,
                                     const pt::ptree& repositoryProperties,
                                     std::set<std::string> ignored,
                                     const Orix::LoggerOwner& logger)
    : table_(table), repository_(repositoryProperties), ignored_(std::move(ignored)), logger_(logger)
{
}

void DefinitionsReader::setProfile(ProfileParameters profile)
{
    profile_ = std::move(profile);
}

void DefinitionsReader::setInstance(std::string instance)
{
    instance_ = std::move(instance);
}

std::uint32_t DefinitionsReader::read(const std::string& xml, AcquiredProperties& out) const
{
    if (xmlNestingDepth(xml) > kMaxDefinitionsDepth) {
        ORIX_LOG(logger_, LogError,
                 " Reading parameters is finished. Unexpected exception: definitions nested deeper than "
                     << kMaxDefinitionsDepth << " levels");
        return Orix::ProtocolError;
    }
    try {
        pt::ptree doc;
        std::istringstream in(xml);
        pt::read_xml(in, doc);
        const pt::ptree& definitions = doc.get_child("parameterDefinitions");
        for (const auto& child : definitions) {
            if (child.first == "group")
                walkTop(child.second, out);
        }
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, " Reading parameters is finished. Unexpected exception: " << e.what());
        return Orix::ProtocolError;
    }
    return Orix::Ok;
}

void DefinitionsReader::walkTop(const pt::ptree& group, AcquiredProperties& out) const
{
    const std::string name = group.get(Orix::Utility::XML_ATTRIBUTE_NAME, "");
    if (name == "root") {
        for (const auto& child : group) {
            if (child.first == "group")
                walkTop(child.second, out);
        }
    } else if (name == "ImageSource") {
        walkInstances(group, "ImageSource.I%.", out);
    } else if (name == "Image") {
        walkInstances(group, "Image.I%.", out);
    } else if (name == "PTZ") {
        for (const auto& child : group) {
            if (child.first == "group" &&
                child.second.get(Orix::Utility::XML_ATTRIBUTE_NAME, "") == "ImageSource")
                walkInstances(child.second, "PTZ.ImageSource.I%.", out);
        }
    }
}

void DefinitionsReader::walkInstances(const pt::ptree& group, const std::string& prefix,
                                      AcquiredProperties& out) const
{
    for (const auto& child : group) {
        if (child.first != "group")
            continue;
        const std::string instance = child.second.get(Orix::Utility::XML_ATTRIBUTE_NAME, "");
        if (!instance_.empty() && instance != instance_)
            continue;
        walkGroup(child.second, prefix, 0, out);
    }
}

void DefinitionsReader::walkGroup(const pt::ptree& group, const std::string& prefix,
                                  std::size_t depth, AcquiredProperties& out) const
{
    if (depth > kMaxDefinitionsDepth)
        return;
    for (const auto& child : group) {
        if (child.first == "parameter") {
            readParameter(prefix + child.second.get(Orix::Utility::XML_ATTRIBUTE_NAME, ""),
                          child.second, out);
        } else if (child.first == "group") {
            walkGroup(child.second,
                      prefix + child.second.get(Orix::Utility::XML_ATTRIBUTE_NAME, "") + ".",
                      depth + 1, out);
        }
    }
}

ParameterKind DefinitionsReader::resolveKind(const pt::ptree& parameter, ParameterKind descriptorKind)
{
    if (parameter.get_child_optional("type.enum")) {
        return descriptorKind == ParameterKind::checkedEnum || descriptorKind == ParameterKind::cameraEnum
                   ? descriptorKind
                   : ParameterKind::checkedEnum;
    }
    if (parameter.get_child_optional("type.bool"))
        return ParameterKind::boolean;
    if (parameter.get_child_optional("type.int"))
        return ParameterKind::intRange;
    if (parameter.get_child_optional("type.string"))
        return ParameterKind::string;
    return descriptorKind;
}

void DefinitionsReader::readParameter(const std::string& key, const pt::ptree& node,
                                      AcquiredProperties& out) const
{
    const ParameterDescriptor* descriptor = nullptr;
    for (const auto& d : table_) {
        if (!d.path.empty() && d.path == key) {
            descriptor = &d;
            break;
        }
    }
    if (descriptor == nullptr)
        return;
    const ParameterDescriptor& d = *descriptor;
    if (ignored_.count(d.hostName) != 0) {
        ORIX_LOG(logger_, LogDebug, " Property '" << d.hostName << "' skipped");
        return;
    }

    std::string value = node.get(Orix::Utility::XML_ATTRIBUTE_VALUE, "");
    if (value.size() > kMaxParameterValueBytes) {
        ORIX_LOG(logger_, LogError,
                 " Device defines '" << key << "' with a value of " << value.size()
                                     << " bytes, more than any value holds; the property is left out");
        return;
    }
    if (!d.profileKey.empty() && profile_) {
        if (const std::string* fromProfile = findProfileParameter(*profile_, d.profileKey))
            value = decodeProfileValue(*fromProfile);
    }

    const ParameterKind kind = resolveKind(node, d.kind);
    bool added = false;
    switch (kind) {
    case ParameterKind::checkedEnum:
    case ParameterKind::cameraEnum:
        added = readEnum(d, kind, node, value, out);
        break;
    case ParameterKind::boolean:
        added = readBool(d, node, value, out);
        break;
    case ParameterKind::intRange:
        added = readInt(d, node, value, out);
        break;
    case ParameterKind::string:
        targetSet(d, out)[d.hostName] = Orix::GDRV::PropertyEditableString{d.hostName, value};
        out.values[d.hostName] = value;
        added = true;
        break;
    default:
        ORIX_LOG(logger_, LogError,
                 " Unknown type is defined in response for of property '" << d.hostName << "'");
        return;
    }
    if (added) {
        out.kinds[d.hostName] = kind;
        out.paths.insert(d.path);
    }
}

bool DefinitionsReader::readBool(const ParameterDescriptor& d, const pt::ptree& node,
                                 const std::string& value, AcquiredProperties& out) const
{
    if (!node.get_child_optional("type.bool")) {
        ORIX_LOG(logger_, LogError,
                 " 'Bool' type is defined incorrectly for property '" << d.hostName << "'");
        return false;
    }
    // The definition says how this camera spells the two values; a value in
    // another spelling (a stream profile's 0/1) is read by the usual words.
    // Spellings are compared exactly: a camera that writes "Yes" for "yes"
    // means false.
    BoolSpelling spelling;
    spelling.on = node.get("type.bool.<xmlattr>.true", "");
    spelling.off = node.get("type.bool.<xmlattr>.false", "");
    if (spelling.on.empty() || spelling.off.empty() || spelling.on == spelling.off)
        spelling = BoolSpelling{};
    const bool on = value == spelling.on ||
                    (value != spelling.off &&
                     (value == "yes" || value == "1" || value == "on" || value == "true"));
    out.boolSpellings[d.hostName] = spelling;
    targetSet(d, out)[d.hostName] = Orix::GDRV::PropertyBool{d.hostName, on};
    out.values[d.hostName] = on;
    return true;
}

bool DefinitionsReader::readInt(const ParameterDescriptor& d, const pt::ptree& node,
                                const std::string& value, AcquiredProperties& out) const
{
    std::int64_t minimum = kIntMin;
    std::int64_t maximum = kIntMax;
    if (d.hostName == "zMinFPS") {
        minimum = 0;
        maximum = 1023;
    }
    if (const auto text = node.get_optional<std::string>("type.int.<xmlattr>.min")) {
        if (const auto parsed = parseInteger(*text))
            minimum = std::max(*parsed, kIntMin);
        else
            ORIX_LOG(logger_, LogNotice,
                     " Property '" << d.hostName << "' has an unreadable minimum '" << *text << "'");
    }
    if (const auto text = node.get_optional<std::string>("type.int.<xmlattr>.max")) {
        if (const auto parsed = parseInteger(*text))
            maximum = std::min(*parsed, kIntMax);
        else
            ORIX_LOG(logger_, LogNotice,
                     " Property '" << d.hostName << "' has an unreadable maximum '" << *text << "'");
    }

    std::int64_t current = 0;
    if (value.empty()) {
        current = maximum >= 0 && minimum < 1 ? 0 : minimum;
    } else {
        const auto parsed = parseInteger(value);
        if (!parsed || *parsed < kIntMin || *parsed > kIntMax) {
            ORIX_LOG(logger_, LogError,
                     " 'Int' value '" << value << "' is defined incorrectly for property '"
                                      << d.hostName << "'");
            return false;
        }
        current = *parsed;
    }

    std::int64_t low = std::min(minimum, current);
    std::int64_t high = std::max(maximum, current);
    if (d.hostName == "keyFrameInterval") {
        // The host counts the key frame itself; the camera's PCount does not.
        low += 1;
        if (high != current)
            high = high == kIntMax ? 1023 : high + 1;
    }
    if (low == 0 && high == 0) {
        low = kIntMin;
        high = kIntMax;
    } else {
        low = std::min(low, current);
        high = std::max(high, current);
    }
    const std::int32_t current32 = clamp32(current);
    targetSet(d, out)[d.hostName] =
        Orix::GDRV::PropertyIntRange{d.hostName, clamp32(low), clamp32(high), current32};
    out.values[d.hostName] = static_cast<int>(current32);
    return true;
}

bool DefinitionsReader::readEnum(const ParameterDescriptor& d, ParameterKind kind,
                                 const pt::ptree& node, const std::string& value,
                                 AcquiredProperties& out) const
{
    const auto entries = node.get_child_optional("type.enum");
    if (!entries) {
        ORIX_LOG(logger_, LogError,
                 " 'Enum' type is defined incorrectly for property '" << d.hostName << "'");
        return false;
    }

    std::optional<std::set<std::string>> allowed;
    if (kind == ParameterKind::checkedEnum) {
        const auto listed = repository_.find(d.hostName);
        if (listed == repository_.not_found()) {
            ORIX_LOG(logger_, LogError, " Enum property '" << d.hostName << "' is not defined in rep file");
        } else {
            allowed.emplace();
            if (const auto values = listed->second.get_child_optional("values")) {
                for (const auto& item : *values)
                    allowed->insert(item.second.data());
            }
        }
    }

    auto& translation = out.translations[d.hostName];
    translation.clear();
    Orix::GDRV::PropertyStringEnum property{d.hostName, {}, value};
    for (const auto& entry : *entries) {
        if (entry.first != "entry")
            continue;
        const std::string camera = entry.second.get("<xmlattr>.value", "");
        const std::string display = entry.second.get("<xmlattr>.niceValue", camera);
        if (camera.size() > kMaxParameterValueBytes || display.size() > kMaxParameterValueBytes) {
            ORIX_LOG(logger_, LogError,
                     " Property '" << d.hostName << "' has an entry of " << std::max(camera.size(), display.size())
                                   << " bytes, more than any value holds; the entry is left out");
            continue;
        }
        translation[display] = camera;
        if (camera == value)
            property.value = display;
        if (allowed && allowed->count(display) == 0) {
            ORIX_LOG(logger_, LogNotice,
                     " Property '" << d.hostName << "' has no value '" << display << "'");
            continue;
        }
        property.values.push_back(display);
    }
    if (property.values.empty()) {
        ORIX_LOG(logger_, LogError, " Enum property '" << d.hostName << "' has no value to offer");
        return false;
    }
    targetSet(d, out)[d.hostName] = std::move(property);
    out.values[d.hostName] = value;
    return true;
}

} // namespace Vapixcam

#include <netkit/params/PropertiesJson.h>

#include <boost/property_tree/ptree.hpp>
#include <json/writer.h>
#include <set>

namespace Orix::Utility {

namespace {

struct ToJson {
    Json::Value base(const std::string& name, const char* type, bool keep) const
    {
        Json::Value out(Json::objectValue);
        out[JSON_NAME] = name;
        out[JSON_TYPE] = type;
        out[JSON_KEEP] = keep;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyBool& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_BOOLEAN, false);
        out[JSON_CURRENT] = p.value;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyIntRange& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_INTEGER, false);
        out[JSON_CURRENT] = p.value;
        out[JSON_MIN] = p.min;
        out[JSON_MAX] = p.max;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyIntEnum& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_INTEGER, false);
        out[JSON_CURRENT] = p.value;
        Json::Value values(Json::arrayValue);
        for (const auto v : p.values)
            values.append(v);
        out[JSON_ENUM] = values;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyStringEnum& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_STRING, false);
        out[JSON_CURRENT] = p.value;
        Json::Value values(Json::arrayValue);
        for (const auto& v : p.values)
            values.append(v);
        out[JSON_ENUM] = values;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyString& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_STRING, true);
        out[JSON_CURRENT] = p.value;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyEditableString& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_STRING, false);
        out[JSON_CURRENT] = p.value;
        return out;
    }
    Json::Value operator()(const GDRV::PropertyDoubleRange& p) const
    {
        Json::Value out = base(p.name, JSON_TYPE_NUMBER, false);
        out[JSON_CURRENT] = p.value;
        out[JSON_MIN] = p.min;
        out[JSON_MAX] = p.max;
        return out;
    }
};

Json::Value groupJson(const std::string& name, Json::Value properties)
{
    Json::Value group(Json::objectValue);
    group[JSON_GROUP] = name;
    group[JSON_PROPERTIES] = std::move(properties);
    return group;
}

} // namespace

const std::string& propertyName(const GDRV::Property& property)
{
    return std::visit([](const auto& p) -> const std::string& { return p.name; }, property);
}

Json::Value propertyToJson(const GDRV::Property& property)
{
    return std::visit(ToJson{}, property);
}

Json::Value propertiesToJson(const GDRV::PropertySet& properties,
                             const boost::property_tree::ptree& groups)
{
    Json::Value out(Json::arrayValue);
    std::set<std::string> placed;
    for (const auto& [groupName, members] : groups) {
        Json::Value list(Json::arrayValue);
        for (const auto& member : members) {
            const std::string& name = member.second.data();
            const auto it = properties.find(name);
            if (it == properties.end() || !placed.insert(name).second)
                continue;
            list.append(propertyToJson(it->second));
        }
        if (!list.empty())
            out.append(groupJson(groupName, std::move(list)));
    }
    Json::Value rest(Json::arrayValue);
    for (const auto& [name, property] : properties) {
        if (placed.count(name) == 0)
            rest.append(propertyToJson(property));
    }
    if (!rest.empty())
        out.append(groupJson(JSON_OTHER_GROUP, std::move(rest)));
    return out;
}

std::string validUtf8(const std::string& text)
{
    static const char* const replacement = "\xEF\xBF\xBD"; // U+FFFD
    std::string out;
    out.reserve(text.size());
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = byte(i);
        if (c == 0) {
            out += replacement;
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // Length and the range of the second byte (no overlong forms, no
        // surrogates, nothing above U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;
            if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            if (c == 0xF4)
                high = 0x8F;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = byte(i + k);
            valid = k == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
        }
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

void sanitizeJsonStrings(Json::Value& value)
{
    if (value.isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        value.getString(&begin, &end);
        const std::string text(begin, end);
        std::string clean = validUtf8(text);
        if (clean != text)
            value = Json::Value(clean);
    } else if (value.isArray()) {
        for (auto& item : value)
            sanitizeJsonStrings(item);
    } else if (value.isObject()) {
        for (const auto& name : value.getMemberNames()) {
            const std::string clean = validUtf8(name);
            if (clean != name) {
                Json::Value moved = value[name];
                value.removeMember(name);
                sanitizeJsonStrings(moved);
                value[clean] = std::move(moved);
            } else {
                sanitizeJsonStrings(value[name]);
            }
        }
    }
}

std::string writeSettingsJson(const Json::Value& document)
{
    Json::Value clean = document;
    sanitizeJsonStrings(clean);
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    return Json::writeString(builder, clean);
}

} // namespace Orix::Utility

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

std::string writeSettingsJson(const Json::Value& document)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    return Json::writeString(builder, document);
}

} // namespace Orix::Utility

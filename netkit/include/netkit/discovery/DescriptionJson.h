#pragma once
// Pieces of the device description document an autodetect tool hands to the
// host (member names shared with the settings documents, PropertiesJson.h).
#include <json/value.h>
#include <netkit/params/PropertiesJson.h>
#include <string>

namespace Orix::Utility {

// A read-only (or editable) string setting:
// { "name": name, "type": "string", "keep": !editable, "current": value, "title": title }
inline void fillStringSetting(Json::Value& setting, const std::string& name, const std::string& value,
                              const std::string& title, bool editable)
{
    setting[JSON_NAME] = name;
    setting[JSON_TYPE] = JSON_TYPE_STRING;
    setting[JSON_KEEP] = !editable;
    setting[JSON_CURRENT] = value;
    setting["title"] = title;
}

} // namespace Orix::Utility

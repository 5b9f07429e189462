#pragma once
// The JSON a channel hands to the host when asked for its settings, and the
// names shared with the camera's parameter definitions. The document shape is
// described in docs/settings-json.md:
//
//   { "schemaVersion": 1,
//     "settings": [ { "group": "image", "properties": [ <property>, ... ] }, ... ],
//     "videoStreamingSettings": [ ... ] }
//
//   <property> = { "name", "type", "keep", "current" [, "min", "max"] [, "enum"] }
#include <boost/property_tree/ptree_fwd.hpp>
#include <json/value.h>
#include <orix/gdrv/Properties.h>
#include <string>

namespace Orix::Utility {

inline constexpr const char* JSON_SCHEMA_VERSION = "schemaVersion";
inline constexpr int JSON_SCHEMA_VERSION_VALUE = 1;
inline constexpr const char* JSON_SETTINGS = "settings";
inline constexpr const char* JSON_VIDEOSTREAMING_SETTINGS = "videoStreamingSettings";
inline constexpr const char* JSON_GROUP = "group";
inline constexpr const char* JSON_PROPERTIES = "properties";
inline constexpr const char* JSON_NAME = "name";
inline constexpr const char* JSON_TYPE = "type";
inline constexpr const char* JSON_KEEP = "keep";
inline constexpr const char* JSON_CURRENT = "current";
inline constexpr const char* JSON_MIN = "min";
inline constexpr const char* JSON_MAX = "max";
inline constexpr const char* JSON_ENUM = "enum";

// Values of JSON_TYPE.
inline constexpr const char* JSON_TYPE_BOOLEAN = "boolean";
inline constexpr const char* JSON_TYPE_INTEGER = "integer";
inline constexpr const char* JSON_TYPE_NUMBER = "number";
inline constexpr const char* JSON_TYPE_STRING = "string";

// The group that collects properties no repository group names.
inline constexpr const char* JSON_OTHER_GROUP = "other";

// Paths of a parameter or group node's attributes in a camera's
// "listdefinitions" document read into a property tree.
inline constexpr const char* XML_ATTRIBUTE_NAME = "<xmlattr>.name";
inline constexpr const char* XML_ATTRIBUTE_VALUE = "<xmlattr>.value";

const std::string& propertyName(const GDRV::Property& property);

// One property as a JSON object: name, type, keep (true when the host must
// not change the value), current, and min/max for ranges or enum for lists.
Json::Value propertyToJson(const GDRV::Property& property);

// The properties grouped as the repository group says. groups holds one
// child per host group, in display order, whose children's values are host
// property names:
//
//   image { "" brightness "" contrast }   exposure { "" exposure }
//
// Each group that holds at least one property of the set becomes
// { "group": name, "properties": [...] } with the properties in the group's
// order; properties that no group names follow in a last group "other", in
// name order. A property named by two groups appears in the first only.
// An empty set gives an empty array.
Json::Value propertiesToJson(const GDRV::PropertySet& properties,
                             const boost::property_tree::ptree& groups);

// Camera text as JSON may carry it: every byte that does not belong to a
// well-formed UTF-8 character, and NUL, becomes U+FFFD. JsonCpp writes
// strings byte for byte, so anything a camera said goes through this (or
// sanitizeJsonStrings) before it is written.
std::string validUtf8(const std::string& text);
// validUtf8 on every string and member name of the document.
void sanitizeJsonStrings(Json::Value& value);

// The document's text as sent to the host (indented, stable key order),
// its strings made valid UTF-8.
std::string writeSettingsJson(const Json::Value& document);

} // namespace Orix::Utility

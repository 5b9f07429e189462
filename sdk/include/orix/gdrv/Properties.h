#pragma once
// The kinds of settings a channel offers the host, each with its name, its
// current value and what the host may choose. A property set maps the host
// name of each property to the property.
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace Orix::GDRV {

struct PropertyBool {
    std::string name;
    bool value = false;
};

// An integer within [min, max].
struct PropertyIntRange {
    std::string name;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::int32_t value = 0;
};

// An integer out of a list.
struct PropertyIntEnum {
    std::string name;
    std::vector<std::int32_t> values;
    std::int32_t value = 0;
};

// A text out of a list, shown and chosen by its display value.
struct PropertyStringEnum {
    std::string name;
    std::vector<std::string> values;
    std::string value;
};

// A text the host shows but does not change.
struct PropertyString {
    std::string name;
    std::string value;
};

// A free text the host may change.
struct PropertyEditableString {
    std::string name;
    std::string value;
};

struct PropertyDoubleRange {
    std::string name;
    double min = 0.0;
    double max = 0.0;
    double value = 0.0;
};

using Property = std::variant<PropertyBool, PropertyIntRange, PropertyIntEnum, PropertyStringEnum,
                              PropertyString, PropertyEditableString, PropertyDoubleRange>;

using PropertySet = std::map<std::string, Property>;

} // namespace Orix::GDRV

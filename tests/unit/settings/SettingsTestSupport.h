#pragma once
// Shared pieces of the settings tests: fixtures, the shipped repository, and
// printable comparisons of host properties.
#include "support/FakeHost.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <netkit/repository/RepositoryReader.h>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/Properties.h>
#include <ostream>
#include <sstream>
#include <string>

namespace Orix::GDRV {

inline bool operator==(const PropertyBool& a, const PropertyBool& b)
{
    return a.name == b.name && a.value == b.value;
}
inline bool operator==(const PropertyIntRange& a, const PropertyIntRange& b)
{
    return a.name == b.name && a.min == b.min && a.max == b.max && a.value == b.value;
}
inline bool operator==(const PropertyIntEnum& a, const PropertyIntEnum& b)
{
    return a.name == b.name && a.values == b.values && a.value == b.value;
}
inline bool operator==(const PropertyStringEnum& a, const PropertyStringEnum& b)
{
    return a.name == b.name && a.values == b.values && a.value == b.value;
}
inline bool operator==(const PropertyString& a, const PropertyString& b)
{
    return a.name == b.name && a.value == b.value;
}
inline bool operator==(const PropertyEditableString& a, const PropertyEditableString& b)
{
    return a.name == b.name && a.value == b.value;
}
inline bool operator==(const PropertyDoubleRange& a, const PropertyDoubleRange& b)
{
    return a.name == b.name && a.min == b.min && a.max == b.max && a.value == b.value;
}

inline void PrintTo(const Property& p, std::ostream* out)
{
    std::visit(
        [out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            *out << v.name << " ";
            if constexpr (std::is_same_v<T, PropertyIntRange> || std::is_same_v<T, PropertyDoubleRange>)
                *out << "[" << v.min << ", " << v.max << "] " << v.value;
            else if constexpr (std::is_same_v<T, PropertyStringEnum>) {
                *out << "{";
                for (const auto& s : v.values)
                    *out << "'" << s << "' ";
                *out << "} '" << v.value << "'";
            } else if constexpr (std::is_same_v<T, PropertyIntEnum>) {
                *out << "{";
                for (const auto& s : v.values)
                    *out << s << " ";
                *out << "} " << v.value;
            } else if constexpr (std::is_same_v<T, PropertyBool>)
                *out << (v.value ? "true" : "false");
            else
                *out << "'" << v.value << "'";
        },
        p);
}

} // namespace Orix::GDRV

namespace SettingsTest {

inline std::string readFixture(const std::string& name)
{
    std::ifstream in(std::string(VAPIXCAM_TEST_DATA) + "/settings/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline Orix::GDRV::DriverInfoPtr shippedRepository()
{
    static const Orix::GDRV::DriverInfoPtr info = [] {
        auto loaded = std::make_shared<Orix::GDRV::DriverInfo>();
        Orix::Utility::RepositoryReader reader(std::make_shared<TestSupport::CapturingLogger>());
        const int result =
            reader.load(std::string(VAPIXCAM_SOURCE_DIR) + "/data/Velto.Vapixcam.rep", *loaded);
        EXPECT_EQ(result, 0);
        return Orix::GDRV::DriverInfoPtr(loaded);
    }();
    return info;
}

// A definitions document in the 9.x layout holding one instance group.
//   definitions("Image", "<group name=\"Stream\">...</group>")
inline std::string definitions(const std::string& topGroup, const std::string& instanceBody,
                               const std::string& instance = "I0")
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n"
           "<parameterDefinitions\n"
           "xmlns=\"http://www.axis.com/ParameterDefinitionsSchema\"\n"
           "version=\"1.0\">\n"
           "  <group name=\"root\">\n"
           "    <group name=\"" + topGroup + "\">\n"
           "      <group name=\"" + instance + "\">\n" +
           instanceBody +
           "      </group>\n"
           "    </group>\n"
           "  </group>\n"
           "</parameterDefinitions>\n";
}

// One <parameter> node.
inline std::string parameter(const std::string& name, const std::string& value,
                             const std::string& type)
{
    return "<parameter name=\"" + name + "\" value=\"" + value +
           "\" securityLevel=\"7744\" niceName=\"" + name + "\"><type>" + type +
           "</type></parameter>\n";
}

inline std::string group(const std::string& name, const std::string& body)
{
    return "<group name=\"" + name + "\">\n" + body + "</group>\n";
}

} // namespace SettingsTest

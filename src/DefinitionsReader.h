#pragma once
// Turns a camera's parameter definitions ("param.cgi?action=listdefinitions
// &listformat=xmlschema") into typed host properties. Pure: no sockets, no
// host; the caller hands in the document text and gets the properties, the
// kinds found, the enumeration translations and the values to store.
//
// Walked groups and the descriptor-table prefixes they give:
//   ImageSource > I<n> > ...        "ImageSource.I%." (+ nested group names)
//   Image > I<n> > ...              "Image.I%." (MPEG.H264, RateControl.ABR, ...)
//   PTZ > ImageSource > I<n> > ...  "PTZ.ImageSource.I%."
// Firmware from 5.51 on wraps the groups in <group name="root">; older
// firmware hangs them directly under <parameterDefinitions>. Both are read.
#include "ParameterDescriptor.h"
#include "StreamProfile.h"

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstdint>
#include <map>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Properties.h>
#include <optional>
#include <set>
#include <string>

namespace Vapixcam {

// How a camera spells a boolean's two values: <bool true="On" false="Off" />.
struct BoolSpelling {
    std::string on = "yes";
    std::string off = "no";
};

struct AcquiredProperties {
    Orix::GDRV::PropertySet image;     // sensor and image settings
    Orix::GDRV::PropertySet streaming; // stream-flagged settings
    ResolvedKinds kinds;
    EnumTranslations translations;
    // Host name -> the spelling its definition gives (booleans only).
    std::map<std::string, BoolSpelling> boolSpellings;
    // The descriptor paths the camera defined ("ImageSource.I%.Sensor.Brightness").
    std::set<std::string> paths;
    // What to store in the channel's container: a bool, an int, or a string
    // (the camera value of an enumeration).
    Orix::Utility::ParamMap values;
};

// A document deeper than this is refused before it is parsed.
inline constexpr std::size_t kMaxDefinitionsDepth = 32;

// The element nesting of an XML text, counted roughly (comments, processing
// instructions and declarations are skipped). The property-tree parser
// recurses per level, so a hostile nesting must be refused before it runs.
std::size_t xmlNestingDepth(const std::string& text);

// Parses an XML answer of the camera into tree. A document nested deeper
// than kMaxDefinitionsDepth is refused before the parser runs; a refusal or
// a parse error leaves the reason in error.
bool readBoundedXml(const std::string& xml, boost::property_tree::ptree& tree, std::string& error,
                    bool trimWhitespace = true);

class DefinitionsReader {
public:
    // repositoryProperties: the repository group "Properties"; ignored: host
    // names not to offer. The table, the tree and the logger must outlive
    // the reader.
    DefinitionsReader(const DescriptorTable& table,
                      const boost::property_tree::ptree& repositoryProperties,
                      std::set<std::string> ignored, const Orix::LoggerOwner& logger);

    // Values of the second stream's profile that replace the camera's value
    // of parameters with a profile key.
    void setProfile(ProfileParameters profile);
    // Only this instance group ("I0") is read; empty reads every instance.
    void setInstance(std::string instance);

    // 0, or 0x106 (malformed answer) when the text is not a definitions
    // document; the reason is logged. Properties read before a failure stay.
    std::uint32_t read(const std::string& xml, AcquiredProperties& out) const;

    // The kind a parameter node is read as, from its <type> and the
    // descriptor's kind.
    static ParameterKind resolveKind(const boost::property_tree::ptree& parameter,
                                     ParameterKind descriptorKind);

private:
    void walkTop(const boost::property_tree::ptree& group, AcquiredProperties& out) const;
    void walkInstances(const boost::property_tree::ptree& group, const std::string& prefix,
                       AcquiredProperties& out) const;
    void walkGroup(const boost::property_tree::ptree& group, const std::string& prefix,
                   std::size_t depth, AcquiredProperties& out) const;
    void readParameter(const std::string& key, const boost::property_tree::ptree& node,
                       AcquiredProperties& out) const;

    bool readBool(const ParameterDescriptor& d, const boost::property_tree::ptree& node,
                  const std::string& value, AcquiredProperties& out) const;
    bool readInt(const ParameterDescriptor& d, const boost::property_tree::ptree& node,
                 const std::string& value, AcquiredProperties& out) const;
    bool readEnum(const ParameterDescriptor& d, ParameterKind kind,
                  const boost::property_tree::ptree& node, const std::string& value,
                  AcquiredProperties& out) const;

    const DescriptorTable& table_;
    const boost::property_tree::ptree& repository_;
    std::set<std::string> ignored_;
    const Orix::LoggerOwner& logger_;
    std::optional<ProfileParameters> profile_;
    std::string instance_;
};

} // namespace Vapixcam

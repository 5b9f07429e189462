#pragma once
// The audio parameters of a camera's definitions document ("param.cgi?
// action=listdefinitions&listformat=xmlschema&group=AudioSource.A<n>") and
// the host properties the audio channels build from them. Pure: the caller
// hands in the text.
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/Properties.h>
#include <string>
#include <vector>

namespace Vapixcam {

struct AudioParameterDefinition {
    enum class Kind { boolean, integer, enumeration, text };
    std::string name;           // "OutputGain"
    std::optional<std::string> value; // none when the camera gave no current value
    Kind kind = Kind::text;
    std::int32_t min = 0, max = 0;
    std::vector<std::string> entries; // enumeration values as the camera spells them
    std::string trueValue = "yes";
};

// The parameters of group AudioSource > A<channel>, under <group name="root">
// or directly under <parameterDefinitions>. nullopt when the text is not a
// definitions document or has no such group.
std::optional<std::vector<AudioParameterDefinition>> readAudioDefinitions(const std::string& xml,
                                                                          std::uint32_t channel);

// A host property of a definition under the host name: bool, int range,
// string enumeration or string. nullopt for a definition without a value.
std::optional<Orix::GDRV::Property> audioProperty(const AudioParameterDefinition& definition,
                                                  const std::string& hostName);

class DeviceServices;

// GETs the definitions of AudioSource.A<channel> through the device's HTTP
// operations; done runs once on the device's I/O context with 0 and the
// parameters, or the code of the standard answer check (0x106 for a
// document without the group; the reason is logged).
using AudioDefinitionsDone =
    std::function<void(std::uint32_t result, const std::vector<AudioParameterDefinition>& definitions)>;
void requestAudioDefinitions(DeviceServices& device, std::uint32_t channel,
                             std::shared_ptr<const Orix::LoggerOwner> logger, AudioDefinitionsDone done);

// The settings document the host receives for a property set, logged
// "Acquired:" at debug level.
std::string audioSettingsDocument(const Orix::GDRV::PropertySet& set, const Orix::LoggerOwner& logger);

// A value the host set, as text for a camera parameter (a number without a
// fraction); nullopt when the host did not set it.
std::optional<std::string> settingText(const Orix::Utility::ParamMap& collected, const std::string& name);

} // namespace Vapixcam

#pragma once
// The audio parameters of a camera's definitions document ("param.cgi?
// action=listdefinitions&listformat=xmlschema&group=AudioSource.A<n>") and
// the host properties the audio channels build from them. Pure: the caller
// hands in the text.
#include <cstdint>
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

} // namespace Vapixcam

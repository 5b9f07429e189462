#pragma once
// Host properties of a detector read from the camera's parameter
// definitions ("param.cgi?action=listdefinitions&listformat=xmlschema
// &group=Tampering"): the named parameters of one group, each with its
// camera type turned into a host property (int range, bool, enumeration,
// text) and its current value.
//
// The group is found by its path of group names below the document root,
// with or without the "root" group newer firmware wraps around everything.
// Parameters are looked for in that group and its sub-groups (instance
// groups such as T0 or M0), the first one of a name wins.
#include <netkit/params/ParametersContainer.h>
#include <orix/gdrv/Properties.h>
#include <string>
#include <utility>
#include <vector>

namespace Vapixcam {

// Camera parameter name -> host property name.
using DefinitionNames = std::vector<std::pair<std::string, std::string>>;

struct DetectorDefinitions {
    Orix::GDRV::PropertySet properties;
    Orix::Utility::ParamMap values;     // current values: bool, int or text
    std::vector<std::string> unknownType; // camera names whose type is not understood
    std::vector<std::string> failed;      // enumerations whose entries do not fit the host type
};

// False (and the reason in error) when the text is not a definitions
// document or the group is missing.
bool readDetectorDefinitions(const std::string& xml, const std::vector<std::string>& groupPath,
                             const DefinitionNames& names, DetectorDefinitions& out, std::string& error);

// Every enumeration of the group becomes an integer list property when its
// entries are numbers (the Sound Intelligence sensitivity levels); names
// maps the camera names the host knows, other enumerations are reported as
// failed.
bool readEnumDefinitions(const std::string& xml, const std::vector<std::string>& groupPath,
                         const DefinitionNames& names, DetectorDefinitions& out, std::string& error);

} // namespace Vapixcam

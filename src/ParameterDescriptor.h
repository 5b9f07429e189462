#pragma once
// One camera parameter a channel offers the host: its VAPIX path (channel
// instance written "I%"), host name, kind, whether it belongs to the stream,
// its key in a stream profile's parameter string, and when it is offered.
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Vapixcam {

class CurrentSettings;

// The kinds a definition is read as; the numbers are those the resolved-kind
// map records.
enum class ParameterKind : int {
    checkedEnum = 1, // enumeration, entries checked against the repository
    cameraEnum = 2,  // enumeration taken as the camera lists it
    boolean = 3,
    intRange = 4,
    string = 5,
};

using ApplicabilityCheck = std::function<bool(const CurrentSettings&)>;

struct ParameterDescriptor {
    std::string path;       // "ImageSource.I%.Sensor.Brightness"; empty: no camera path
    std::string hostName;   // "brightness"
    ParameterKind kind = ParameterKind::intRange;
    bool stream = false;    // belongs to the streaming property set
    std::string profileKey; // "videobitratemode"; empty when none
    ApplicabilityCheck check; // empty: always offered
};

using DescriptorTable = std::vector<ParameterDescriptor>;

// Host name -> (display value -> camera value).
using EnumTranslations = std::map<std::string, std::map<std::string, std::string>>;
// Host name -> kind found in the camera's definition.
using ResolvedKinds = std::map<std::string, ParameterKind>;

// The path with its first "I%" replaced by instance ("I0").
std::string instancePath(const std::string& path, const std::string& instance);

} // namespace Vapixcam

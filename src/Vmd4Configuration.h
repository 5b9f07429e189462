#pragma once
// The JSON interface of the Video Motion Detection 4 application
// (/local/vmd/control.cgi): the setConfiguration request built from the
// operator's areas and the three filters, and the filter capabilities that
// give the host properties their defaults and ranges.
#include "MotionAreas.h"

#include <array>
#include <netkit/params/ParametersContainer.h>
#include <optional>
#include <string>
#include <vector>

namespace Vapixcam {

// The setConfiguration body for the channel (zero-based): one camera, one
// profile "Profile 1" with the three filters and one excludeArea filter per
// exclusion area, the detection area as its includeArea trigger. Filter
// values come from the container, else the application's own defaults
// (5 x 5 percent, 1 s, 5 percent, all active). An empty detection area gives
// an empty text.
std::string buildVmd4Configuration(int channel, const MotionAreas& areas,
                                   const Orix::Utility::ParametersContainer& values);

// The application refuses a malformed request with error code 2001.
bool vmd4RequestMalformed(const std::string& answer);

// Requests of the capability reading.
inline constexpr const char* kVmd4GetConfiguration = "{\"method\" : \"getConfiguration\"}";
std::string vmd4CapabilitiesRequest(const std::string& apiVersion);

// "apiVersion" of a getConfiguration answer; none when missing or not JSON.
std::optional<std::string> readVmd4ApiVersion(const std::string& answer);

// A filter type of the application and the host properties it gives.
struct Vmd4Filter {
    const char* type;
    const char* enablingProperty;
    std::array<const char*, 2> valueProperties; // second empty for one value
};
extern const std::array<Vmd4Filter, 3> kVmd4Filters;

// What the capabilities say of one host property.
struct Vmd4Capability {
    std::string property;
    bool isBool = false;
    bool defaultActive = true; // bool properties
    int defaultValue = 0;      // value properties
    int min = 0;
    int max = 0;
};

struct Vmd4Capabilities {
    std::vector<Vmd4Capability> properties;
    std::vector<std::string> unsupported; // filter types the table does not name
};

// Reads "data.filters" of a getConfigurationCapabilities answer. False with
// the camera's "error.message" (or the parser's reason) in error.
bool readVmd4Capabilities(const std::string& answer, Vmd4Capabilities& out, std::string& error);

} // namespace Vapixcam

#pragma once
// The camera's built-in illumination through /axis-cgi/lightcontrol.cgi:
// the JSON request bodies, the light information answer turned into host
// properties, and the write request for a changed light property.
//
// Each light of "data.items" becomes up to three bool properties named by
// the light's prefix ("led" + its position in the list) and a key:
//   enabled -> led0lightEnabled, lightState -> led0lightState,
//   synchronizeDayNightMode -> led0lightSync.
#include <cstdint>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/Properties.h>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace Vapixcam {

struct Light {
    std::string prefix; // "led0"
    std::string id;     // the camera's lightID
};

struct LightInformation {
    std::vector<Light> lights;
    Orix::GDRV::PropertySet properties;
    Orix::Utility::ParamMap values;
};

struct LightRequest {
    std::string uri;
    std::string body;
};

using LightParameter = std::pair<std::string, std::variant<std::string, bool>>;

inline constexpr const char* kLightControlUri = "/axis-cgi/lightcontrol.cgi";
inline constexpr const char* kFirmwareManagementUri = "/axis-cgi/firmwaremanagement.cgi";
inline constexpr std::size_t kMaxLights = 16;

class LightControl {
public:
    // The request body, member by member on its own line:
    //   {
    //   <TAB>"apiVersion": "1.0",
    //   <TAB>"context": "context",
    //   <TAB>"method": "<method>",
    //   <TAB>"params": {
    //   <TAB><TAB>"lightID": "led0",
    //   <TAB><TAB>"enabled": true
    //   <TAB>}
    //   }
    static std::string body(const std::string& method, const std::vector<LightParameter>& params);

    // The "getLightInformation" answer as properties. 0, or 0x106 when the
    // text is not such an answer (a camera without lights answers with an
    // "error" member); the reason is logged.
    static std::uint32_t readInformation(const std::string& json, LightInformation& out,
                                         const Orix::LoggerOwner& logger);

    // Whether a host name belongs to a light ("led" + digits + a light key).
    static bool isLightProperty(const std::string& name);

    // Whether a light property is offered: lightSync and lightState only
    // while the same light's lightEnabled is true in values.
    static bool offered(const std::string& name, const Orix::Utility::ParamMap& values);

    // The write request of a changed light property, or nothing (logged
    // "Couldn't form a valid HTTP POST request for setting <name>") when the
    // light is unknown or the value is no bool.
    static std::optional<LightRequest> writeRequest(const std::string& name,
                                                    const Orix::Utility::ParamValue& value,
                                                    const std::vector<Light>& lights,
                                                    const Orix::LoggerOwner& logger);
};

} // namespace Vapixcam

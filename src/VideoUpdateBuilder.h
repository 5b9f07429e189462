#pragma once
// Turns the settings a host applied to a video source into the camera
// requests that carry them out: light-control POSTs, one param.cgi update
// GET, and the reboot a capture-mode change needs. Pure: the caller sends.
#include "AcquiredVideoSettings.h"
#include "LightControl.h"

#include <cstdint>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <string>
#include <vector>

namespace Vapixcam {

struct VideoUpdateInputs {
    Orix::Utility::ParamMap changed;
    std::uint32_t stream = 0;
    std::string instance = "I0";  // "I" + instance index of the channel
    unsigned cameraNumber = 1;
    std::string codec = "H264";   // the current codec after the change, host spelling
    // The container after the change was merged (updateParams).
    const Orix::Utility::ParametersContainer* values = nullptr;
    const AcquiredVideoSettings* acquired = nullptr;
};

struct VideoUpdatePlan {
    std::vector<LightRequest> lightRequests;
    std::string updateUrl;        // empty when no parameter is written
    bool reboot = false;          // the capture mode changed
    bool needsNewSession = false;
    bool profileRewrite = false;  // second stream: the profile is in updateUrl
    std::uint32_t error = 0;      // non-zero: the change cannot be carried out
};

inline constexpr const char* kParamUpdateUri = "/axis-cgi/operator/param.cgi?action=update";

class VideoUpdateBuilder {
public:
    static VideoUpdatePlan build(const VideoUpdateInputs& inputs, const Orix::LoggerOwner& logger);

    // A value as written in the update URL: a space becomes "+", characters
    // that would end or change the query are percent-encoded.
    static std::string encodeValue(const std::string& value);
};

} // namespace Vapixcam

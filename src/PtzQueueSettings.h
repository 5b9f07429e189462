#pragma once
// The control-queue settings of a PTZ channel as host properties:
//
//   enableQueue   <-> PTZ.Various.V<n>.CtlQueueing       bool
//   queueLimit    <-> PTZ.Various.V<n>.CtlQueueLimit     int, min/max from the camera
//   queuePollTime <-> PTZ.Various.V<n>.CtlQueuePollTime  int, min/max from the camera
//
// n is the channel index + 1. Pure: reads the camera's listdefinitions
// document and builds the param.cgi update of a change.
#include <cstdint>
#include <map>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/Properties.h>
#include <string>

namespace Vapixcam {

struct PtzQueueSettings {
    Orix::GDRV::PropertySet properties;
    // How the camera spells the bool's values (<bool true="true" false="false" />).
    std::string boolTrue = "true";
    std::string boolFalse = "false";
};

// "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=PTZ.Various.V<n>"
std::string queueDefinitionsUrl(std::uint32_t channel);

// 0, or 0x106 when the document is no definitions document or lacks the
// channel's group (logged).
std::uint32_t readQueueSettings(const std::string& xml, std::uint32_t channel,
                                PtzQueueSettings& out, const Orix::LoggerOwner& logger);

// The update request of the changes, or nothing when none is a queue
// setting. error is 6 for a name the channel does not offer or a value out
// of its range, 4 for a value of the wrong type (and nothing is returned).
std::optional<std::string> queueUpdateUrl(const Orix::Utility::ParamMap& changes,
                                          std::uint32_t channel, const PtzQueueSettings& settings,
                                          std::uint32_t& error);

// The changes stored as the properties' current values.
void applyQueueChanges(const Orix::Utility::ParamMap& changes, PtzQueueSettings& settings);

// The settings document the host receives.
std::string queueSettingsJson(const PtzQueueSettings& settings);

} // namespace Vapixcam

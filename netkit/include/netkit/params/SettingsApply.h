#pragma once
// Helpers every channel uses when the host applies settings: holding changes
// back while the host blocks configuration, deciding whether a change needs a
// new RTSP session, and the text forms used in log lines.
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <string>

namespace Orix::Utility {

// The container value a channel's SetBlockConfigurating stores.
inline constexpr const char* BLOCKING_CONFIGURATION_PARAM = "blockingConfiguration";

// While the container's "blockingConfiguration" is true the change is kept
// in the container (holdParameters) and true is returned: the caller sends
// nothing. Otherwise the changes held earlier are merged into `changed`
// (a value in `changed` wins over an older held one) and false is returned.
bool processBlockingConfiguration(ParametersContainer& container, ParamMap& changed,
                                  const LoggerOwner& logger);

// True when a setting the RTSP client is built from changed:
// "transportProtocol" or "signalLostTimeout" (the RTSP time-outs).
bool parametersRequireRTSPClientReconnect(const ParamMap& changed);

// "{codec=H264, fps=25}"; values of names holding "password" are masked.
std::string settingsToString(const ParamMap& settings);

// The title the handler was wrapped with ("ApplySettings").
std::string getAsyncActionHandlerTitle(const AsyncActionCompletion& completion);

} // namespace Orix::Utility

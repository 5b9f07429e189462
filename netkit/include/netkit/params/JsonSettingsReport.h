#pragma once
// Answers a settings request with a settings document:
//   { "schemaVersion": 1, "settings": <settings> }
// written as the host expects (writeSettingsJson), logged at debug level as
// "Acquired:" and the text, and handed to completion.
#include <json/value.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/util/Logging.h>

namespace Orix::Utility {

void reportJsonSettings(const DynamicParametersCompletionPtr& completion, const IContract* source,
                        const Json::Value& settings, const LoggerOwner& logger);

} // namespace Orix::Utility

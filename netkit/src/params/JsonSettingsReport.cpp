#include <netkit/params/JsonSettingsReport.h>

#include <netkit/params/PropertiesJson.h>

namespace Orix::Utility {

void reportJsonSettings(const DynamicParametersCompletionPtr& completion, const IContract* source,
                        const Json::Value& settings, const LoggerOwner& logger)
{
    Json::Value document(Json::objectValue);
    document[JSON_SCHEMA_VERSION] = JSON_SCHEMA_VERSION_VALUE;
    document[JSON_SETTINGS] = settings;
    const std::string text = writeSettingsJson(document);
    ORIX_LOG(logger, LogDebug, " Acquired:\n" << text);
    if (completion)
        completion->completed(source, text);
}

} // namespace Orix::Utility

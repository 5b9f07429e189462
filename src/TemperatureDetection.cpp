#include "TemperatureDetection.h"

#include "TemperatureZones.h"

#include <netkit/http/ResponseCheck.h>
#include <netkit/params/PropertiesJson.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

TemperatureDetection::TemperatureDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                           const std::string& detectorId, DeviceServices& device)
    : VideoAnalyticsBase(handler, channel, detectorId, device)
{
}

bool TemperatureDetection::matchEventDescription(const std::string& text) const
{
    return text.find("<tnsaxis:Status aev:NiceName=\"Device sensors\"><Temperature aev:NiceName=\"Temperature "
                     "sensors\">") != std::string::npos;
}

void TemperatureDetection::handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp)
{
    const auto items = parseSimpleItems(data);
    if (items.empty())
        return;
    const auto sources = parseSimpleItems(source);
    const auto zone = sources.find("TemperatureZone");
    const std::string id = zone == sources.end() ? std::string() : zone->second;
    if (const auto state = zones_.update(id, onOffState(items.begin()->second)))
        raiseEvent(timestamp, *state);
}

void TemperatureDetection::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    Orix::Utility::ParamMap pushed;
    if (parameters().popParameters(pushed))
        parameters().updateParams(pushed);
    completion->finish(sender(), Orix::Ok);
}

void TemperatureDetection::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    ORIX_LOG(*this, LogDebug, " Start reading parameters from device");
    const std::string uri = "/axis-cgi/temperature_alarm/get.cgi";
    parameterRequest(uri, completion, [this, completion](const std::string& body) {
        TemperatureReading reading;
        std::string reason;
        if (!readTemperatureZones(body, reading, reason)) {
            ORIX_LOG(*this, LogError, " Cannot parse device response: " << reason);
            completion->failed(sender(), Orix::ProtocolError);
            return;
        }
        for (const auto& name : reading.failed)
            ORIX_LOG(*this, LogError, " Process '" << name << "' failed");
        const std::string text = Orix::Utility::writeSettingsJson(temperatureSettingsJson(reading));
        ORIX_LOG(*this, LogDebug, " Acquired:\n" << text);
        completion->completed(sender(), text);
    });
}

} // namespace Vapixcam

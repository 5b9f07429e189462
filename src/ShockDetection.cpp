#include "ShockDetection.h"

#include "DetectorRequests.h"
#include "ShockSensitivity.h"

#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogError;

ShockDetection::ShockDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                               const std::string& detectorId, DeviceServices& device)
    : VideoAnalyticsBase(handler, channel, detectorId, device)
{
}

bool ShockDetection::matchEventDescription(const std::string& text) const
{
    return text.find("<ShockDetected wstop:topic=\"true\" aev:NiceName=\"Shock Detected\">") != std::string::npos;
}

void ShockDetection::handleEvent(const std::string&, const std::string&, std::uint64_t timestamp)
{
    raiseEvent(timestamp, true);
}

void ShockDetection::confirmAvailability()
{
    startRequest("/axis-cgi/shockdetection/setenabled.cgi?schemaversion=1&enabled=true",
                 [this](const std::string&) { checkEventInstances(); });
}

void ShockDetection::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    applyParameterUpdate("/axis-cgi/shockdetection/setsensitivitylevel.cgi?schemaversion=1",
                         {{"sensitivity", UpdateValueType::integer, "&level="}}, parameters(), *this, sender(),
                         completion,
                         getter());
}

void ShockDetection::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    const std::string uri = "/axis-cgi/shockdetection/getsensitivitylevel.cgi?schemaversion=1";
    parameterRequest(uri, completion, [this, completion](const std::string& body) {
        const auto level = readShockSensitivity(body);
        if (!level) {
            ORIX_LOG(*this, LogError, " Cannot parse property");
            completion->failed(sender(), Orix::ProtocolError);
            return;
        }
        parameters().updateParams({{"sensitivity", *level}});
        Orix::GDRV::PropertySet read = repositoryProperties() ? *repositoryProperties() : Orix::GDRV::PropertySet();
        auto& sensitivity = read.try_emplace("sensitivity", Orix::GDRV::PropertyIntRange{"sensitivity", 0, 100, 0})
                                .first->second;
        if (auto* range = std::get_if<Orix::GDRV::PropertyIntRange>(&sensitivity))
            range->value = *level;
        reportProperties(completion, sender(), read, *this);
    }, "Reading parameters from device failed");
}

} // namespace Vapixcam

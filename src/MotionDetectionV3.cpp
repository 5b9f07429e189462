#include "MotionDetectionV3.h"

#include "DetectorRequests.h"
#include "Vmd3Configuration.h"

#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

MotionDetectionV3::MotionDetectionV3(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                     const std::string& detectorId, DeviceServices& device)
    : MotionDetectionVBased(handler, channel, detectorId, device, "VMD3", "/axis-cgi/vaconfig.cgi")
{
}

bool MotionDetectionV3::matchEventDescription(const std::string& text) const
{
    return text.find("<tns1:RuleEngine aev:NiceName=\"Application\"><tnsaxis:VMD3") != std::string::npos;
}

std::string MotionDetectionV3::createConfigRequest(const MotionAreas& areas)
{
    if (areas.detection.empty()) {
        ORIX_LOG(*this, LogError, " Detection area is empty");
        return {};
    }
    return buildVmd3Configuration(static_cast<int>(channel()), areas, parameters());
}

void MotionDetectionV3::handleApplySettings(const std::string&,
                                            const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    completion->finish(sender(), Orix::Ok);
}

void MotionDetectionV3::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    ORIX_LOG(*this, LogDebug, " Start reading parameters from device");
    const std::string uri = "/axis-cgi/vaconfig.cgi?action=get&name=VMD3";
    parameterRequest(uri, completion, [this, completion](const std::string& body) {
        handleDynamicParameters(body, completion);
    });
}

void MotionDetectionV3::handleDynamicParameters(const std::string& body,
                                                const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    if (!repositoryProperties()) {
        ORIX_LOG(*this, LogError, " Detector not found in repository.");
        completion->failed(sender(), Orix::GenericFailure);
        return;
    }
    Vmd3Reading reading;
    std::string reason;
    if (!readVmd3Configuration(body, reading, reason)) {
        ORIX_LOG(*this, LogError, " Cannot parse device response");
        completion->failed(sender(), Orix::ProtocolError);
        return;
    }
    for (const auto& name : reading.unsupported)
        ORIX_LOG(*this, LogError, " Parameter '" << name << "' is not supported");
    Orix::GDRV::PropertySet properties = *repositoryProperties();
    Orix::Utility::ParamMap values;
    for (const Vmd3FilterValue& filter : reading.filters) {
        values[filter.filter->valueProperty] = filter.value;
        values[filter.filter->enablingProperty] = filter.enabled;
        if (auto* range = std::get_if<Orix::GDRV::PropertyIntRange>(&properties[filter.filter->valueProperty]))
            range->value = filter.value;
        (*artificialProperties())[filter.filter->enablingProperty] =
            Orix::GDRV::PropertyBool{filter.filter->enablingProperty, filter.enabled};
        properties[filter.filter->enablingProperty] =
            Orix::GDRV::PropertyBool{filter.filter->enablingProperty, filter.enabled};
    }
    parameters().updateParams(values);
    reportProperties(completion, sender(), properties, *this);
    ORIX_LOG(*this, LogDebug, " Reading parameters from repository completed");
}

} // namespace Vapixcam

#include "SoundIntelligence.h"

#include "DetectorDefinitions.h"
#include "DetectorRequests.h"

#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

SoundIntelligence::SoundIntelligence(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                     const std::string& detectorId, DeviceServices& device, std::string application,
                                     std::string sourceValue)
    : VideoAnalyticsApplicationBased(handler, channel, detectorId, device),
      application_(std::move(application)),
      sourceValue_(std::move(sourceValue))
{
}

bool SoundIntelligence::matchEventDescription(const std::string& text) const
{
    return text.find("<tnsaxis:CameraApplicationPlatform><" + application_ + " wstop:topic=\"true\">") !=
           std::string::npos;
}

void SoundIntelligence::handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp)
{
    // The classifiers share one application platform; a notification of
    // another classifier under this topic is not ours.
    const auto sources = parseSimpleItems(source);
    if (sources.empty() || sources.begin()->second != sourceValue_)
        return;
    raiseOnOffRule(parseSimpleItems(data), timestamp);
}

void SoundIntelligence::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    applyParameterUpdate("/axis-cgi/param.cgi?action=update&" + application_ + ".",
                         {{"sensitivity", UpdateValueType::integer, "AB3Sensitivity="}}, parameters(), *this,
                         sender(), completion,
                         getter());
}

void SoundIntelligence::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    ORIX_LOG(*this, LogDebug, " Start reading parameters from device");
    const std::string uri = "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=" + application_;
    parameterRequest(uri, completion, [this, completion](const std::string& body) {
        DetectorDefinitions read;
        std::string reason;
        if (!readEnumDefinitions(body, {application_}, {{"AB3Sensitivity", "sensitivity"}}, read, reason)) {
            ORIX_LOG(*this, LogError, " Reading parameters from device failed: " << reason);
            completion->failed(sender(), Orix::ProtocolError);
            return;
        }
        for (const auto& name : read.failed)
            ORIX_LOG(*this, LogError, " Processing property " << name << " failed");
        parameters().updateParams(read.values);
        reportProperties(completion, sender(), withCurrentValues(repositoryProperties().get(), read.properties), *this);
    }, "Reading parameters from device failed");
}

} // namespace Vapixcam

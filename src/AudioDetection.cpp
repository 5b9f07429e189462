#include "AudioDetection.h"

#include "DetectorRequests.h"


namespace Vapixcam {

AudioDetection::AudioDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                               const std::string& detectorId, DeviceServices& device)
    : VideoAnalyticsBase(handler, channel, detectorId, device)
{
}

bool AudioDetection::matchEventDescription(const std::string& text) const
{
    return text.find("<tns1:AudioSource><tnsaxis:TriggerLevel wstop:topic=\"true\" aev:NiceName=\"Audio detection\">") !=
           std::string::npos;
}

void AudioDetection::handleEvent(const std::string&, const std::string& data, std::uint64_t timestamp)
{
    raiseOnOffRule(parseSimpleItems(data), timestamp);
}

void AudioDetection::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    applyParameterUpdate("/axis-cgi/param.cgi?action=update",
                         {{"alarmLevel", UpdateValueType::integer,
                           "&AudioSource.A" + std::to_string(channel()) + ".AlarmLevel="}},
                         parameters(), *this, sender(), completion,
                         getter());
}

void AudioDetection::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    const std::string instance = "A" + std::to_string(channel());
    acquireDefinitions("/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=AudioSource." + instance,
                       {{"AudioSource", instance}}, {{"AlarmLevel", "alarmLevel"}}, parameters(),
                       repositoryProperties(), *this, sender(), completion,
                       getter());
}

} // namespace Vapixcam

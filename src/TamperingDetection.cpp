#include "TamperingDetection.h"

#include "DetectorRequests.h"


namespace Vapixcam {

TamperingDetection::TamperingDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                       const std::string& detectorId, DeviceServices& device)
    : VideoAnalyticsBase(handler, channel, detectorId, device)
{
}

bool TamperingDetection::matchEventDescription(const std::string& text) const
{
    return text.find("<tnsaxis:Tampering wstop:topic=\"true\" aev:NiceName=\"Camera tampering\">") !=
           std::string::npos;
}

void TamperingDetection::handleEvent(const std::string&, const std::string& data, std::uint64_t timestamp)
{
    raiseOnOffRule(parseSimpleItems(data), timestamp);
}

void TamperingDetection::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    const std::string group = "&Tampering.T" + std::to_string(channel()) + ".";
    applyParameterUpdate("/axis-cgi/param.cgi?action=update",
                         {{"darkDetectionEnabled", UpdateValueType::boolean, group + "DarkDetectionEnabled="},
                          {"minDuraiton", UpdateValueType::integer, group + "MinDuration="}},
                         parameters(), *this, sender(), completion,
                         getter());
}

void TamperingDetection::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    acquireDefinitions("/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=Tampering",
                       {{"Tampering", "T" + std::to_string(channel())}, {"Tampering"}},
                       {{"DarkDetectionEnabled", "darkDetectionEnabled"}, {"MinDuration", "minDuraiton"}},
                       parameters(), repositoryProperties(), *this, sender(), completion,
                       getter());
}

} // namespace Vapixcam

#pragma once
// Camera tampering (detector id "tamperingDetection"): every tampering
// notification is one immediate host event, whatever its value. Settings go
// to the channel's Tampering.T<ch> group.
#include "VideoAnalyticsBase.h"

namespace Vapixcam {

class TamperingDetection final : public VideoAnalyticsBase {
public:
    TamperingDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                       const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override { return "Tampering"; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::immediate; }
    std::string topicFilter() const override { return "onvif:VideoSource/axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    bool matchEventDescription(const std::string& text) const override;
};

} // namespace Vapixcam

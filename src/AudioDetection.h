#pragma once
// Audio level alarm (detector id "audioDetection"): a two-phase host event
// open while the channel's audio is above its alarm level
// (AudioSource.A<ch>.AlarmLevel).
#include "VideoAnalyticsBase.h"

namespace Vapixcam {

class AudioDetection final : public VideoAnalyticsBase {
public:
    AudioDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                   const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override { return "TriggerLevel"; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::twoPhase; }
    std::string topicFilter() const override { return "onvif:AudioSource/axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    bool matchEventDescription(const std::string& text) const override;
};

} // namespace Vapixcam

#pragma once
// Shock detection (detector id "shockDetection"): every shock the camera
// reports is one immediate host event. Start switches the camera's shock
// detection on (it is never switched off here); the host's "sensitivity"
// goes to setsensitivitylevel.cgi.
#include "VideoAnalyticsBase.h"

namespace Vapixcam {

class ShockDetection final : public VideoAnalyticsBase {
public:
    ShockDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                   const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override { return "Tampering/ShockDetected"; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::immediate; }
    std::string topicFilter() const override { return "onvif:Device/axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    void confirmAvailability() override;
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    bool matchEventDescription(const std::string& text) const override;
};

} // namespace Vapixcam

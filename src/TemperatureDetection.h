#pragma once
// Temperature alarm of a thermal camera (detector id "temperatureDetection"):
// one two-phase host event for all temperature zones, open from the first
// zone in alarm until the last one leaves it. The zones' settings and
// rectangles are read from the camera for the host to show; nothing is
// written.
#include "ActiveSet.h"
#include "VideoAnalyticsBase.h"

namespace Vapixcam {

class TemperatureDetection final : public VideoAnalyticsBase {
public:
    TemperatureDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                         const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override { return "TemperatureDetection"; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::twoPhase; }
    std::string topicFilter() const override { return "onvif:VideoSource/axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    bool matchEventDescription(const std::string& text) const override;

private:
    ActiveSet zones_; // I/O thread
};

} // namespace Vapixcam

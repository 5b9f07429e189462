#pragma once
// Motion in the camera's embedded motion windows (detector id
// "motionDetection"). Every Start replaces the channel's windows by one
// full-frame include window; the host's settings tune window M0. One
// two-phase host event covers all windows: it opens with the first window
// reporting motion and closes when the last one is quiet.
#include "ActiveSet.h"
#include "VideoAnalyticsBase.h"

#include <vector>

namespace Vapixcam {

class MotionDetection final : public VideoAnalyticsBase {
public:
    MotionDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                    const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override { return "MotionDetection"; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::twoPhase; }
    std::string topicFilter() const override { return "onvif:VideoAnalytics/axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    void confirmAvailability() override; // setupDetector
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    bool matchEventDescription(const std::string& text) const override;

private:
    void handleWindowList(const std::string& body);
    void createMainWindow();

    ActiveSet windows_; // I/O thread
};

} // namespace Vapixcam

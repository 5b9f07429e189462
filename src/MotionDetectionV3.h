#pragma once
// Video Motion Detection 3 (detector id "motionDetectionV3"): the camera
// application "VMD3", configured through vaconfig.cgi with the detection
// area, exclusion areas and four object filters.
#include "MotionDetectionVBased.h"

namespace Vapixcam {

class MotionDetectionV3 final : public MotionDetectionVBased {
public:
    MotionDetectionV3(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                      const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override { return "VMD3/vmd3_video_" + std::to_string(channel() + 1); }
    std::string topicFilter() const override { return "onvif:RuleEngine/axis:" + eventName() + "//.|"; }

protected:
    std::string applicationName() const override { return "VMD3"; }
    bool matchEventDescription(const std::string& text) const override;
    std::string createConfigRequest(const MotionAreas& areas) override;
    void handleApplySettings(const std::string& body,
                             const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;

private:
    void handleDynamicParameters(const std::string& body,
                                 const Orix::Utility::DynamicParametersCompletionPtr& completion);
};

} // namespace Vapixcam

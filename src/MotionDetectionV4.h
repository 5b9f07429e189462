#pragma once
// Video Motion Detection 4 (detector id "motionDetectionV4"): the camera
// application "vmd", configured through its JSON interface with one profile
// holding the detection area, exclusion areas and three filters. Its host
// event is named "VMD/Camera<n>" rather than after its topic.
#include "MotionDetectionVBased.h"

namespace Vapixcam {

class MotionDetectionV4 final : public MotionDetectionVBased {
public:
    MotionDetectionV4(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                      const std::string& detectorId, DeviceServices& device);

    std::string eventName() const override;
    std::string topicFilter() const override { return "axis:" + eventName() + "/.|"; }
    void raiseEvent(std::uint64_t timestamp, bool state) override;

protected:
    std::string applicationName() const override { return "vmd"; }
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

#pragma once
// The object tracker (detector id "NorvikOnboardTracker"): the camera
// application "QVT" reports the tracked objects of every metadata frame;
// each frame becomes one periodical host event "TargetList" carrying the
// listed targets (boxes in the host's frame, colours as hue, saturation and
// value). Settings are the QVT parameter group.
#include "VideoAnalyticsApplicationBased.h"

#include <memory>
#include <netkit/analytics/Targets.h>
#include <orix/plugin/IModuleHost.h>

namespace Vapixcam {

class TrackerDetection final : public VideoAnalyticsApplicationBased {
public:
    TrackerDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                     const std::string& detectorId, DeviceServices& device);
    // With the host context to ask for the target-enumerator factory (null:
    // no target list).
    TrackerDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                     const std::string& detectorId, DeviceServices& device, Orix::PLUGIN::IModuleHost* host);

    std::string eventName() const override { return "CameraApplicationPlatform/AnalyticVideoTracker"; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::targetList; }
    std::string topicFilter() const override { return "axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    std::string applicationName() const override { return "QVT"; }
    bool matchEventDescription(const std::string& text) const override;
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;

private:
    void handleDynamicParameters(const std::string& body,
                                 const Orix::Utility::DynamicParametersCompletionPtr& completion);

    std::unique_ptr<Orix::Utility::Detector::TargetsList> targets_; // I/O thread
};

} // namespace Vapixcam

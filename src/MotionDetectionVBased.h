#pragma once
// What the motion detection applications (VMD3, VMD4) share: the detection
// area and exclusion areas the operator draws ("detectionArea",
// "excludeArea"), the configuration generated from them and the host's
// filter values, sent on ApplySettings, and the application's "active" item
// as a two-phase host event.
#include "MotionAreas.h"
#include "VideoAnalyticsApplicationBased.h"

namespace Vapixcam {

class MotionDetectionVBased : public VideoAnalyticsApplicationBased {
public:
    MotionDetectionVBased(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                          const std::string& detectorId, DeviceServices& device, std::string application,
                          std::string configurationPath);

    DetectorEventKind eventKind() const override { return DetectorEventKind::twoPhase; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

    // Checks the name and the detector's repository set, then keeps the
    // polylines for the next ApplySettings. 1 without polylines or without a
    // repository set, 6 for another name.
    std::uint32_t SetPolylineArray(const char* name, const Orix::Analytics::Polyline* polylines,
                                   std::uint32_t count) override;

protected:
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    // The configuration request body for the current areas and values; empty
    // when it cannot be made.
    virtual std::string createConfigRequest(const MotionAreas& areas) = 0;
    // Completes the host's action from the application's answer.
    virtual void handleApplySettings(const std::string& body,
                                     const Orix::Utility::AsyncActionCompletionPtr& completion) = 0;

    const std::string& configurationPath() const { return configurationPath_; }

private:
    MotionAreas areas() const;

    const std::string application_; // "VMD3", "VMD4"
    const std::string configurationPath_;
};

} // namespace Vapixcam

#pragma once
// The Sound Intelligence audio classifiers, served by camera applications:
// AlarmDetection ("alarmDetector"), GunshotDetection ("gunshotDetector") and
// BreakingGlassDetection ("breakingGlassDetector"). Each has its own topic
// and application; a notification raises one immediate host event only when
// its first source item names the class's own classifier.
#include "VideoAnalyticsApplicationBased.h"

namespace Vapixcam {

class SoundIntelligence : public VideoAnalyticsApplicationBased {
public:
    SoundIntelligence(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                      const std::string& detectorId, DeviceServices& device, std::string application,
                      std::string sourceValue);

    std::string eventName() const override { return "CameraApplicationPlatform/" + application_; }
    DetectorEventKind eventKind() const override { return DetectorEventKind::immediate; }
    std::string topicFilter() const override { return "axis:" + eventName() + "//.|"; }
    void handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp) override;

protected:
    std::string applicationName() const override { return application_; }
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override;
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override;
    bool matchEventDescription(const std::string& text) const override;

private:
    const std::string application_; // "SIGunshotDetector"
    const std::string sourceValue_; // "Gunshot"
};

class AlarmDetection final : public SoundIntelligence {
public:
    AlarmDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                   const std::string& detectorId, DeviceServices& device)
        : SoundIntelligence(handler, channel, detectorId, device, "SIAlarmDetector", "Alarm") {}
};

class GunshotDetection final : public SoundIntelligence {
public:
    GunshotDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                     const std::string& detectorId, DeviceServices& device)
        : SoundIntelligence(handler, channel, detectorId, device, "SIGunshotDetector", "Gunshot") {}
};

class BreakingGlassDetection final : public SoundIntelligence {
public:
    BreakingGlassDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                           const std::string& detectorId, DeviceServices& device)
        : SoundIntelligence(handler, channel, detectorId, device, "SIBreakingGlassDetector", "BreakingGlass") {}
};

} // namespace Vapixcam

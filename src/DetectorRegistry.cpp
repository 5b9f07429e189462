#include "DetectorRegistry.h"

namespace Vapixcam {

// Entries without a factory answer null like an unknown id until their
// class joins; the order is the order of comparison.
const std::vector<DetectorRegistryEntry>& detectorRegistry()
{
    static const std::vector<DetectorRegistryEntry> registry{
        {"NorvikOnboardTracker", nullptr},   // TrackerDetection
        {"motionDetectionV3", nullptr},      // MotionDetectionV3
        {"motionDetectionV4", nullptr},      // MotionDetectionV4
        {"shockDetection", nullptr},         // ShockDetection
        {"alarmDetector", nullptr},          // AlarmDetection
        {"gunshotDetector", nullptr},        // GunshotDetection
        {"breakingGlassDetector", nullptr},  // BreakingGlassDetection
        {"temperatureDetection", nullptr},   // TemperatureDetection
        {"tamperingDetection", nullptr},     // TamperingDetection
        {"audioDetection", nullptr},         // AudioDetection
        {"motionDetection", nullptr},        // MotionDetection
    };
    return registry;
}

Orix::Analytics::IVideoAnalytics* createRegisteredDetector(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                                           std::uint32_t channel,
                                                           const std::string& detectorId,
                                                           DeviceServices& device)
{
    for (const auto& entry : detectorRegistry()) {
        if (detectorId == entry.id)
            return entry.create ? entry.create(handler, channel, detectorId, device) : nullptr;
    }
    return nullptr;
}

} // namespace Vapixcam

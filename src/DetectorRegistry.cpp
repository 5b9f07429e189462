#include "DetectorRegistry.h"

#include "AudioDetection.h"
#include "MotionDetection.h"
#include "MotionDetectionV3.h"
#include "MotionDetectionV4.h"
#include "ShockDetection.h"
#include "SoundIntelligence.h"
#include "TamperingDetection.h"
#include "TemperatureDetection.h"
#include "TrackerDetection.h"

namespace Vapixcam {

// The order is the order of comparison.
const std::vector<DetectorRegistryEntry>& detectorRegistry()
{
    static const std::vector<DetectorRegistryEntry> registry{
        {"NorvikOnboardTracker", makeDetector<TrackerDetection>},
        {"motionDetectionV3", makeDetector<MotionDetectionV3>},
        {"motionDetectionV4", makeDetector<MotionDetectionV4>},
        {"shockDetection", makeDetector<ShockDetection>},
        {"alarmDetector", makeDetector<AlarmDetection>},
        {"gunshotDetector", makeDetector<GunshotDetection>},
        {"breakingGlassDetector", makeDetector<BreakingGlassDetection>},
        {"temperatureDetection", makeDetector<TemperatureDetection>},
        {"tamperingDetection", makeDetector<TamperingDetection>},
        {"audioDetection", makeDetector<AudioDetection>},
        {"motionDetection", makeDetector<MotionDetection>},
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

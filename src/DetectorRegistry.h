#pragma once
// The detector ids the device's channel factory knows, in the order it
// compares them, each with the class it creates.
#include <cstdint>
#include <orix/analytics/IVideoAnalytics.h>
#include <string>
#include <vector>

namespace Vapixcam {

class DeviceServices;

using DetectorFactory = Orix::Analytics::IVideoAnalytics* (*)(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                                              std::uint32_t channel,
                                                              const std::string& detectorId,
                                                              DeviceServices& device);

struct DetectorRegistryEntry {
    const char* id;
    DetectorFactory create; // null while the driver has no class for the id
};

// "NorvikOnboardTracker", "motionDetectionV3", "motionDetectionV4",
// "shockDetection", "alarmDetector", "gunshotDetector",
// "breakingGlassDetector", "temperatureDetection", "tamperingDetection",
// "audioDetection", "motionDetection".
const std::vector<DetectorRegistryEntry>& detectorRegistry();

// The first entry whose id equals detectorId exactly, constructed; null for
// any other id.
Orix::Analytics::IVideoAnalytics* createRegisteredDetector(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                                           std::uint32_t channel,
                                                           const std::string& detectorId,
                                                           DeviceServices& device);

template <class Detector>
Orix::Analytics::IVideoAnalytics* makeDetector(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                               std::uint32_t channel, const std::string& detectorId,
                                               DeviceServices& device)
{
    return new Detector(handler, channel, detectorId, device);
}

} // namespace Vapixcam

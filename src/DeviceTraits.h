#pragma once
// Creation of the device's channels, one function per channel kind. A kind
// whose channel class the driver does not provide answers null.
#include <cstdint>
#include <orix/analytics/IVideoAnalytics.h>
#include <orix/gdrv/Channels.h>
#include <string>

namespace Vapixcam {

class Device;

struct DeviceTraits {
    using DeviceType = Device;

    static Orix::GDRV::IVideoSource* createVideoSource(Orix::GDRV::IVideoSourceHandler* handler,
                                                       std::uint32_t stream, std::uint32_t channel,
                                                       const char* argument, Device& device);
    static Orix::GDRV::IAudioSource* createAudioSource(Orix::GDRV::IAudioSourceHandler* handler,
                                                       std::uint32_t channel, const char* argument,
                                                       Device& device);
    static Orix::GDRV::IAudioDestination* createAudioDestination(
        Orix::GDRV::IAudioDestinationHandler* handler, std::uint32_t channel, Device& device);
    static Orix::GDRV::IIODevice* createConfigurableIODevice(Orix::GDRV::IIODeviceHandler* handler,
                                                            std::uint32_t index, Device& device);
    static Orix::GDRV::IIODevice* createVirtualIODevice(Orix::GDRV::IIODeviceHandler* handler,
                                                       std::uint32_t index, Device& device);
    static Orix::GDRV::ITelemetryChannel* createTelemetryChannel(std::uint32_t channel,
                                                                Device& device);
    // Looks the identifier up in the detector registry; null when unknown.
    static Orix::Analytics::IVideoAnalytics* createDetector(
        Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
        const std::string& detectorId, Device& device);
};

} // namespace Vapixcam

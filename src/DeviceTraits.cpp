#include "DeviceTraits.h"

#include "AudioDestination.h"
#include "AudioSource.h"
#include "DetectorRegistry.h"
#include "Device.h"
#include "IODeviceConfigurable.h"
#include "IODeviceVirtual.h"
#include "TelemetryChannel.h"
#include "TelemetryChannelCQ.h"
#include "VideoSource.h"

namespace Vapixcam {

// Channel classes join here as the driver gains them.

Orix::GDRV::IVideoSource* DeviceTraits::createVideoSource(Orix::GDRV::IVideoSourceHandler* handler,
                                                          std::uint32_t stream, std::uint32_t channel,
                                                          const char* argument, Device& device)
{
    return new VideoSource(handler, stream, channel, argument, device);
}

Orix::GDRV::IAudioSource* DeviceTraits::createAudioSource(Orix::GDRV::IAudioSourceHandler* handler,
                                                          std::uint32_t channel, const char* argument,
                                                          Device& device)
{
    return new AudioSource(handler, channel, argument, device);
}

Orix::GDRV::IAudioDestination* DeviceTraits::createAudioDestination(
    Orix::GDRV::IAudioDestinationHandler* handler, std::uint32_t channel, Device& device)
{
    return new AudioDestination(handler, channel, device);
}

Orix::GDRV::IIODevice* DeviceTraits::createConfigurableIODevice(Orix::GDRV::IIODeviceHandler* handler,
                                                               std::uint32_t index, Device& device)
{
    return new IODeviceConfigurable(handler, index, device);
}

Orix::GDRV::IIODevice* DeviceTraits::createVirtualIODevice(Orix::GDRV::IIODeviceHandler* handler,
                                                          std::uint32_t index, Device& device)
{
    return new IODeviceVirtual(handler, index, device);
}

Orix::GDRV::ITelemetryChannel* DeviceTraits::createTelemetryChannel(std::uint32_t channel,
                                                                   Device& device)
{
    if (device.topology().ptzControlQueue)
        return static_cast<Orix::GDRV::IDeviceChannel*>(new TelemetryChannelCQ(channel, device));
    return static_cast<Orix::GDRV::IDeviceChannel*>(new TelemetryChannel(channel, device));
}

Orix::Analytics::IVideoAnalytics* DeviceTraits::createDetector(
    Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
    const std::string& detectorId, Device& device)
{
    return createRegisteredDetector(handler, channel, detectorId, device);
}

} // namespace Vapixcam

#include "DeviceTraits.h"

#include "AudioDestination.h"
#include "AudioSource.h"
#include "Device.h"
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

Orix::GDRV::IIODevice* DeviceTraits::createConfigurableIODevice(Orix::GDRV::IIODeviceHandler*,
                                                               std::uint32_t, Device&)
{
    return nullptr;
}

Orix::GDRV::IIODevice* DeviceTraits::createVirtualIODevice(Orix::GDRV::IIODeviceHandler*,
                                                          std::uint32_t, Device&)
{
    return nullptr;
}

Orix::GDRV::ITelemetryChannel* DeviceTraits::createTelemetryChannel(std::uint32_t channel,
                                                                   Device& device)
{
    if (device.topology().ptzControlQueue)
        return static_cast<Orix::GDRV::IDeviceChannel*>(new TelemetryChannelCQ(channel, device));
    return static_cast<Orix::GDRV::IDeviceChannel*>(new TelemetryChannel(channel, device));
}

Orix::Analytics::IVideoAnalytics* DeviceTraits::createDetector(
    Orix::Analytics::IVideoAnalyticsHandler*, std::uint32_t, const std::string&, Device&)
{
    return nullptr;
}

} // namespace Vapixcam

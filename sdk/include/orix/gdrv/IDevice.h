#pragma once
#include <cstdint>
#include <orix/IContract.h>
#include <orix/analytics/IVideoAnalytics.h>
#include <orix/gdrv/Channels.h>

namespace Orix::GDRV {

// Connection states reported to the host's device handler.
enum class ConnectionState : std::uint32_t {
    Disconnected = 0,
    Connecting = 1,
    Connected = 2,
    Failed = 3, // the attempt failed; another follows after the retry delay
};

class IDeviceHandler : public IContract {
public:
    // slot 3: result is the host code of the failure when state is Failed, else 0.
    virtual void StateChanged(const IContract* device, ConnectionState state,
                              std::uint32_t result) = 0;
};

class IDevice : public IContract {
public:
    // slot 3
    virtual void Connect(const char* connectionString) = 0;
    // slot 4
    virtual void Disconnect() = 0;
    // slot 5
    virtual void Destroy() = 0;
    // slot 6
    virtual IVideoSource* CreateVideoSource(IVideoSourceHandler* handler, std::uint32_t channel,
                                            std::uint32_t stream, const char* argument) = 0;
    // slot 7
    virtual IAudioSource* CreateAudioSource(IAudioSourceHandler* handler, std::uint32_t channel,
                                            const char* argument) = 0;
    // slot 8
    virtual IAudioDestination* CreateAudioDestination(IAudioDestinationHandler* handler,
                                                      std::uint32_t channel) = 0;
    // slot 9
    virtual IIODevice* CreateIODevice(IIODeviceHandler* handler, std::uint32_t index) = 0;
    // slot 10
    virtual ITelemetryChannel* CreateTelemetryChannel(std::uint32_t channel) = 0;
    // slot 11
    virtual IContract* Reserved11() = 0;
    // slot 12
    virtual Analytics::IVideoAnalytics* CreateVideoAnalytics(
        Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
        const char* detectorId) = 0;
    // slots 13 to 20
    virtual IContract* Reserved13() = 0;
    virtual IContract* Reserved14() = 0;
    virtual IContract* Reserved15() = 0;
    virtual IContract* Reserved16() = 0;
    virtual IContract* Reserved17() = 0;
    virtual IContract* Reserved18() = 0;
    virtual IContract* Reserved19() = 0;
    virtual IContract* Reserved20() = 0;
};

class IDevice2 : public IDevice {
public:
    // slot 21
    virtual Analytics::IVideoAnalytics* CreateVideoAnalyticsEx(
        Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
        const char* detectorId) = 0;
};

} // namespace Orix::GDRV

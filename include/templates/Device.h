#pragma once
// The host-facing part of a device: the IDevice2 slots, with every channel
// request checked against the device description before the traits create
// the channel. Derived (Traits::DeviceType) supplies the connection attempt
// and the counts the checks need.
//
// Traits provides, each returning null when the kind is not available:
//   using DeviceType = ...;
//   static IVideoSource* createVideoSource(IVideoSourceHandler*, uint32_t stream,
//                                          uint32_t channel, const char* argument, DeviceType&);
//   static IAudioSource* createAudioSource(IAudioSourceHandler*, uint32_t channel, const char*, DeviceType&);
//   static IAudioDestination* createAudioDestination(IAudioDestinationHandler*, uint32_t channel, DeviceType&);
//   static IIODevice* createConfigurableIODevice(IIODeviceHandler*, uint32_t index, DeviceType&);
//   static IIODevice* createVirtualIODevice(IIODeviceHandler*, uint32_t index, DeviceType&);
//   static ITelemetryChannel* createTelemetryChannel(uint32_t channel, DeviceType&);
//   static IVideoAnalytics* createDetector(IVideoAnalyticsHandler*, uint32_t channel,
//                                          const std::string& detectorId, DeviceType&);
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/IDevice.h>
#include <string>

namespace Orix::Utility {

template <class Traits, class Policy>
class Device : public Policy {
public:
    using DeviceType = typename Traits::DeviceType;

    Device(GDRV::IDeviceHandler* handler, LoggerPtr logger, GDRV::DeviceDescription description)
        : Policy(handler, std::move(logger)), description_(std::move(description))
    {
    }

    void Connect(const char* connectionString) override
    {
        const std::string text = connectionString ? connectionString : "";
        displayAddress_ = asio::addressStringToDisplay(text);
        this->connect(text);
    }

    void Disconnect() override { this->disconnect(); }

    void Destroy() override { delete this; }

    GDRV::IVideoSource* CreateVideoSource(GDRV::IVideoSourceHandler* handler,
                                          std::uint32_t channel, std::uint32_t stream,
                                          const char* argument) override
    {
        if (!generic()) {
            const auto& sources = description_.videoSources;
            if (channel >= sources.size() || stream >= sources[channel].streams.size())
                return nullptr;
        }
        return guarded([&] {
            return Traits::createVideoSource(handler, stream, channel, argument, self());
        });
    }

    GDRV::IAudioSource* CreateAudioSource(GDRV::IAudioSourceHandler* handler,
                                          std::uint32_t channel, const char* argument) override
    {
        if (!generic() && channel >= description_.audioSources.size())
            return nullptr;
        return guarded(
            [&] { return Traits::createAudioSource(handler, channel, argument, self()); });
    }

    GDRV::IAudioDestination* CreateAudioDestination(GDRV::IAudioDestinationHandler* handler,
                                                    std::uint32_t channel) override
    {
        if (!generic() && channel >= description_.audioDestinations.size())
            return nullptr;
        return guarded([&] { return Traits::createAudioDestination(handler, channel, self()); });
    }

    GDRV::IIODevice* CreateIODevice(GDRV::IIODeviceHandler* handler, std::uint32_t index) override
    {
        const bool physicalIo = self().inputCount() > 0 || self().outputCount() > 0;
        if (physicalIo && index == 0) {
            if (!generic() && index >= description_.ioDevices.size())
                return nullptr;
            return guarded(
                [&] { return Traits::createConfigurableIODevice(handler, index, self()); });
        }
        return guarded([&] { return Traits::createVirtualIODevice(handler, index, self()); });
    }

    GDRV::ITelemetryChannel* CreateTelemetryChannel(std::uint32_t channel) override
    {
        if (!generic() && channel >= description_.telemetryChannels.size())
            return nullptr;
        return guarded([&] { return Traits::createTelemetryChannel(channel, self()); });
    }

    IContract* Reserved11() override { return nullptr; }
    IContract* Reserved13() override { return nullptr; }
    IContract* Reserved14() override { return nullptr; }
    IContract* Reserved15() override { return nullptr; }
    IContract* Reserved16() override { return nullptr; }
    IContract* Reserved17() override { return nullptr; }
    IContract* Reserved18() override { return nullptr; }
    IContract* Reserved19() override { return nullptr; }
    IContract* Reserved20() override { return nullptr; }

    const GDRV::DeviceDescription& description() const { return description_; }
    bool generic() const { return description_.isGeneric(); }
    const std::string& displayAddress() const { return displayAddress_; }

protected:
    DeviceType& self() { return static_cast<DeviceType&>(*this); }

    // The host boundary: an exception becomes a logged error and a null channel.
    template <class Create>
    auto guarded(Create create) -> decltype(create())
    {
        try {
            return create();
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        } catch (...) {
            ORIX_LOG(*this, LogError, " unknown exception while creating a channel");
        }
        return nullptr;
    }

private:
    GDRV::DeviceDescription description_;
    std::string displayAddress_;
};

} // namespace Orix::Utility

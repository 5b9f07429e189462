#pragma once
// A device built on the same template and policy as the driver's, whose
// connection attempts follow a script and whose channel traits record calls.
#include <functional>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <string>
#include <templates/Device.h>
#include <vector>

namespace TestSupport {

class ScriptedDevice;

struct RecordingTraits {
    using DeviceType = ScriptedDevice;
    static std::vector<std::string>& calls();

    static Orix::GDRV::IVideoSource* createVideoSource(Orix::GDRV::IVideoSourceHandler*,
                                                       std::uint32_t stream, std::uint32_t channel,
                                                       const char*, ScriptedDevice&)
    {
        calls().push_back("video " + std::to_string(channel) + "/" + std::to_string(stream));
        return nullptr;
    }
    static Orix::GDRV::IAudioSource* createAudioSource(Orix::GDRV::IAudioSourceHandler*,
                                                       std::uint32_t channel, const char*,
                                                       ScriptedDevice&)
    {
        calls().push_back("audio " + std::to_string(channel));
        return nullptr;
    }
    static Orix::GDRV::IAudioDestination* createAudioDestination(
        Orix::GDRV::IAudioDestinationHandler*, std::uint32_t channel, ScriptedDevice&)
    {
        calls().push_back("speaker " + std::to_string(channel));
        return nullptr;
    }
    static Orix::GDRV::IIODevice* createConfigurableIODevice(Orix::GDRV::IIODeviceHandler*,
                                                            std::uint32_t index, ScriptedDevice&)
    {
        calls().push_back("io " + std::to_string(index));
        return nullptr;
    }
    static Orix::GDRV::IIODevice* createVirtualIODevice(Orix::GDRV::IIODeviceHandler*,
                                                       std::uint32_t index, ScriptedDevice&)
    {
        calls().push_back("virtual io " + std::to_string(index));
        return nullptr;
    }
    static Orix::GDRV::ITelemetryChannel* createTelemetryChannel(std::uint32_t channel,
                                                                ScriptedDevice&)
    {
        calls().push_back("ptz " + std::to_string(channel));
        return nullptr;
    }
};

class ScriptedDevice final
    : public Orix::Utility::Device<RecordingTraits, Orix::Utility::AsyncConnectionPolicyBase> {
    using Base = Orix::Utility::Device<RecordingTraits, Orix::Utility::AsyncConnectionPolicyBase>;

public:
    // attempt: called with the attempt number (1, 2, ...) on the connection
    // thread; its result ends the attempt.
    using Script = std::function<boost::system::error_code(unsigned attempt)>;

    ScriptedDevice(Orix::GDRV::IDeviceHandler* handler, Orix::LoggerPtr logger,
                   Orix::GDRV::DeviceDescription description, Script script = {})
        : Base(handler, std::move(logger), std::move(description)), script_(std::move(script))
    {
    }
    ~ScriptedDevice() override { stopConnectionThread(); }

    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    Orix::Analytics::IVideoAnalytics* CreateVideoAnalytics(Orix::Analytics::IVideoAnalyticsHandler*,
                                                           std::uint32_t, const char*) override
    {
        return nullptr;
    }
    Orix::Analytics::IVideoAnalytics* CreateVideoAnalyticsEx(
        Orix::Analytics::IVideoAnalyticsHandler*, std::uint32_t, const char*) override
    {
        return nullptr;
    }

    std::int32_t inputCount() const { return inputs; }
    std::int32_t outputCount() const { return outputs; }
    std::int32_t inputs = 0;
    std::int32_t outputs = 0;

    std::vector<std::string> seenConnectionStrings;
    unsigned disconnects = 0;

protected:
    void tryConnect(const std::string& connectionString) override
    {
        seenConnectionStrings.push_back(connectionString);
        ++attempts_;
        handleConnected(script_ ? script_(attempts_) : boost::system::error_code());
    }
    void onDisconnected() override { ++disconnects; }

private:
    Script script_;
    unsigned attempts_ = 0;
};

inline std::vector<std::string>& RecordingTraits::calls()
{
    static std::vector<std::string> list;
    return list;
}

} // namespace TestSupport

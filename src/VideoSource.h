#pragma once
// One live stream of one camera channel: stream 0 (main) or 1 (second, on a
// camera stream profile). While started it keeps an RTSP session to
// /axis-media/media.amp open through a StreamSupervisor, hands every frame to
// the host, and tells the host of each outage that lasts the signal-lost time.
//
// The host object is a thin shell: its state lives in a shared Stream that
// every completion reaches through a weak handle, so nothing queued on the
// device's I/O context can reach a destroyed object. Destroy returns only
// when that Stream has been abandoned: from a host thread it posts the
// teardown and waits; on the I/O thread itself (a host call made from one of
// our callbacks) it tears down in place, as nothing else can run there.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/params/ParametersContainer.h>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Channels.h>
#include <string>

namespace Vapixcam {

class DeviceServices;

class VideoSource final : public Orix::GDRV::IVideoSource,
                          public Orix::LoggerOwner,
                          public Orix::Utility::SimpleAdjuster,
                          public Orix::IDynamicParametersProvider {
public:
    VideoSource(Orix::GDRV::IVideoSourceHandler* handler, std::uint32_t stream,
                std::uint32_t channel, const char* argument, DeviceServices& device);
    ~VideoSource() override;

    // IContract
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    // IVideoSource
    void Destroy() override;
    std::uint32_t GetChannel() const override { return channel_; }
    void Start(Orix::GDRV::IVideoSourceHandler* handler) override;
    void Stop() override;
    void RequestKeyFrame(Orix::IAsyncActionHandler* handler) override;
    void SetBlockConfigurating(bool block) override;
    std::uint32_t GetStream() const override { return stream_; }

    // IAsyncAdjuster / IDynamicParametersProvider
    void ApplySettings(Orix::IAsyncActionHandler* handler) override;
    void AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler) override;

    // Tests replace the production reconnect delay of an attempt.
    using ReconnectDelay = std::function<std::chrono::milliseconds(std::uint64_t attempt)>;
    void setReconnectDelayFunction(ReconnectDelay delay);

    Orix::Utility::ParametersContainer& parameters();
    std::string profileName() const;

private:
    class Stream;

    DeviceServices& device_;
    std::uint32_t stream_;
    std::uint32_t channel_;
    std::shared_ptr<Stream> state_;
};

} // namespace Vapixcam

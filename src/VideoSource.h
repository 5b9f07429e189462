#pragma once
// One live stream of one camera channel: stream 0 (main) or 1 (second, on a
// camera stream profile). While started it keeps an RTSP session to
// /axis-media/media.amp, hands every frame to the host, reconnects after any
// end of session with a growing delay, and tells the host of a failure only
// when the signal-lost time passes without frames after the first failure.
//
// States: stopped --Start--> starting --(second stream: profile ready)--> streaming
//         streaming --session ends--> reconnect wait --timer--> streaming
//         any --Stop--> stopped
// All steps run on the device's I/O context; host calls only post work there.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Channels.h>
#include <string>

namespace boost::system {
class error_code;
}

namespace Orix::Utility {
class RTSPClient;
}

namespace Vapixcam {

class Device;

class VideoSource final : public Orix::GDRV::IVideoSource,
                          public Orix::LoggerOwner,
                          public Orix::Utility::SimpleAdjuster,
                          public Orix::IDynamicParametersProvider {
public:
    VideoSource(Orix::GDRV::IVideoSourceHandler* handler, std::uint32_t stream,
                std::uint32_t channel, const char* argument, Device& device);
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

    // Tests replace the production delays: the reconnect wait of an attempt
    // and the signal-lost time.
    using ReconnectDelay = std::function<std::chrono::milliseconds(std::uint64_t attempt)>;
    void setReconnectDelayFunction(ReconnectDelay delay);

    // The device ends the session of a working stream whose settings it reset.
    void resetToDefaults();
    // A device-wide change (the fisheye view) needs a new session at once.
    void restartSession();

    Orix::Utility::ParametersContainer& parameters() { return parameters_; }
    std::string currentCodec() const;
    std::string profileName() const;

private:
    struct State;
    using HandlerHolder = Orix::Utility::HandlerHolder<Orix::GDRV::IVideoSourceHandler>;

    void internalStart();
    void internalStop();
    void initializeStream();
    void handleGrab(std::uint64_t generation, const boost::system::error_code& result);
    void scheduleReconnect(std::chrono::milliseconds delay);
    void armSignalLost(const boost::system::error_code& error);
    void doAcquireStreamProfile(bool force);
    void handleAcquireStreamProfile(bool force, bool afterChange, const std::string& answer);
    void deliverFrame(std::uint64_t generation, const void* frame);
    void endSession();
    void doAcquireDynamicParameters(Orix::Utility::DynamicParametersCompletionPtr completion);
    void applyPendingSettings();
    unsigned instanceIndex() const;

    std::uint32_t stream_;
    std::uint32_t channel_;
    // Frames and failures reach the host under this lock, and Stop takes it,
    // so that no callback runs after Stop has returned.
    std::recursive_mutex callbackMutex_;
    Device& device_;
    std::shared_ptr<HandlerHolder> holder_;
    Orix::Utility::ParametersContainer parameters_;
    std::unique_ptr<State> state_;
};

} // namespace Vapixcam

#pragma once
// Live sound of one audio input of a camera (channel n from 0). Started, it
// switches the camera's audio input on, then receives the sound in an RTSP
// session on the media path ("/axis-media/media.amp?camera=" n+1, the audio
// track only; tunnelled over HTTP when the RTSP port is closed) or, with the
// transport "http", from audio/receive.cgi; the NetKit audio filters turn it
// into host audio frames. Every failure reconnects after 5 s; the first one
// after a start is reported to the host. Offers the input's settings
// (encoding, sample rate, bit rate, gains, input type and port, microphone
// power) and writes changes back.
#include "DeviceServices.h"

#include <netkit/params/ParametersContainer.h>
#include <netkit/params/SimpleAdjuster.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Channels.h>
#include <templates/StreamSource.h>

#include <cstdint>
#include <memory>
#include <string>

namespace Orix::Utility {
class RTSPClient;
class RtpStreamFilter;
class HttpAudioFilter;
struct AudioBuffer;
} // namespace Orix::Utility

namespace Vapixcam {

class AudioSource final
    : public Orix::LoggerOwner,
      public Orix::Utility::StreamSource<Orix::GDRV::IAudioSource, AudioSource, DeviceServices>,
      public Orix::Utility::SimpleAdjuster,
      public Orix::IDynamicParametersProvider {
    using Base = Orix::Utility::StreamSource<Orix::GDRV::IAudioSource, AudioSource, DeviceServices>;

public:
    AudioSource(Orix::GDRV::IAudioSourceHandler* handler, std::uint32_t channel, const char* argument,
                DeviceServices& device);
    ~AudioSource() override;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    std::uint32_t GetChannel() const override { return channel_; }

    void ApplySettings(Orix::IAsyncActionHandler* handler) override;
    void AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler) override;

    // The template's steps, on the worker.
    Session initializeStream(SessionEnded ended);
    void stopStream();

private:
    Session openRtsp(const SessionEnded& ended);
    Session openHttp(const SessionEnded& ended, const Orix::asio::ConnectionInfoPtr& info);
    void deliver(const Orix::Utility::AudioBuffer& buffer);
    void reportLost(std::uint64_t lost);
    std::string transport() const;

    std::uint32_t channel_;
    Orix::Utility::ParametersContainer parameters_;
    std::shared_ptr<Orix::Utility::RTSPClient> client_;
    std::shared_ptr<Orix::Utility::RtpStreamFilter> filter_;
    std::shared_ptr<Orix::Utility::HttpAudioFilter> httpFilter_;
    std::uint64_t lostReported_ = 0;
};

} // namespace Vapixcam

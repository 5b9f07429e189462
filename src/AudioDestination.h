#pragma once
// Sound to one audio output of a camera: each call is one long POST of the
// pushed frames to /axis-cgi/audio/transmit.cgi (digest authentication,
// content type from the first frame), written in order from a bounded queue
// on the destination's own thread. A slow camera does not grow memory: when
// kMaxQueuedFrames wait, the oldest is dropped and counted. Any failure of
// the transmission ends the call and is reported to the host handler.
//
// Settings: "outputGain" (AudioSource.A<n>.OutputGain) and "algorithm".
#include "DeviceServices.h"

#include <orix/Handlers.h>
#include <templates/AudioDestinationBase.h>

#include <memory>

namespace Vapixcam {

class AudioDestination final : public Orix::Utility::AudioDestinationBase<DeviceServices>,
                               public Orix::IDynamicParametersProvider {
public:
    static constexpr std::size_t kMaxQueuedFrames = 100; // 2 s of 20 ms frames
    // A body larger than any call: cameras play an open-ended POST as it comes.
    static constexpr const char* kBodyLength = "2147483647";

    AudioDestination(Orix::GDRV::IAudioDestinationHandler* handler, std::uint32_t channel, DeviceServices& device);
    ~AudioDestination() override;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    void ApplySettings(Orix::IAsyncActionHandler* handler) override;
    void AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler) override;

    struct Statistics {
        std::uint64_t written = 0;  // frames written to the camera
        std::uint64_t dropped = 0;  // frames dropped from a full queue
        std::uint64_t maxQueued = 0; // the most frames that waited at once
    };
    // Counts of the current or last call.
    Statistics statistics() const;

private:
    class Transmit;
    std::shared_ptr<Transmit> transmit_;
};

} // namespace Vapixcam

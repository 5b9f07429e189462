#pragma once
// Channel interfaces created by a device, and the host handlers they call.
// Each channel is destroyed by the host through its Destroy operation.
#include <cstdint>
#include <orix/Handlers.h>
#include <orix/IContract.h>

namespace Orix::GDRV {

// What an IO channel reports: inputs are rays, outputs relays, both counted
// from 0.
class IIODeviceHandler : public IContract {
public:
    // slot 3: an input changed state (or its first known state).
    virtual void RayStatusChanged(const IContract* source, std::uint32_t ray, bool active) = 0;
    // slot 4: an output changed state (or its first known state).
    virtual void RelayStatusChanged(const IContract* source, std::uint32_t relay, bool active) = 0;
    // slot 5: the channel's stream to the camera failed; once after each Start.
    virtual void Failed(const IContract* source, std::uint32_t result) = 0;
};

// One buffer of compressed audio, to the host (IAudioSourceHandler) or from
// it (IAudioDestination). The bytes are valid only during the call.
struct AudioFrame {
    const char* algorithm = "";      // "G.711", "G.726", "AAC"
    // 1: G.711 mu-law, G.726 code words packed from the least significant
    // bit (RFC 3551), raw AAC access units; 2: G.711 A-law, G.726 packed from
    // the most significant bit (AAL2).
    std::uint32_t encoding = 1;
    std::uint32_t sampleRate = 8000;
    std::uint32_t bitrate = 0;       // bit/s, 0 when unknown
    std::uint32_t channels = 1;
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::uint64_t timestamp = 0;     // host time, milliseconds
    std::uint32_t rtpTimestamp = 0;  // RTP time, or samples since the stream began
    const std::uint8_t* config = nullptr; // AAC AudioSpecificConfig
    std::uint32_t configSize = 0;
};

class IAudioSourceHandler : public IContract {
public:
    // slot 3: a buffer of the stream.
    virtual void OnAudioFrame(const IContract* source, const AudioFrame& frame) = 0;
    // slot 4: a statistic of the stream (name, value), e.g. "lostFrames".
    virtual void OnStatistic(const IContract* source, const char* name, double value) = 0;
    // slot 5: the first failure after Start; the source keeps reconnecting.
    virtual void Failed(const IContract* source, std::uint32_t result) = 0;
};

class IAudioDestinationHandler : public IContract {
public:
    // slot 3: a pushed frame was refused or the call ended on a failure.
    virtual void Error(const IContract* destination, std::uint32_t result) = 0;
};

// One compressed frame as the host receives it. The bytes are valid only
// during the call.
struct MediaFrame {
    const char* codec = "";          // "H264", "H265", "MJPEG", "MPEG4", "G.711", "G.726", "AAC"
    const std::uint8_t* data = nullptr; // Annex B for H.264/H.265, a whole JPEG for MJPEG
    std::uint32_t size = 0;
    bool keyFrame = false;
    std::uint64_t timestamp = 0;     // host time, milliseconds
    std::uint32_t rtpTimestamp = 0;
};

class IVideoSourceHandler : public IContract {
public:
    // slot 3: a frame of the stream.
    virtual void OnFrame(const IContract* source, const MediaFrame& frame) = 0;
    // slot 4: a statistic of the stream (name, value), e.g. "fps", "kbps", "lostFrames".
    virtual void OnStatistic(const IContract* source, const char* name, double value) = 0;
    // slot 5: the stream (re)started delivering after a session was opened.
    virtual void OnStreamStarted(const IContract* source) = 0;
    // slot 6: no frames came back within the signal-lost time after a failure.
    virtual void Failed(const IContract* source, std::uint32_t result) = 0;
};

class IVideoSource : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
    // slot 4
    virtual std::uint32_t GetChannel() const = 0;
    // slot 5
    virtual void Start(IVideoSourceHandler* handler) = 0;
    // slot 6
    virtual void Stop() = 0;
    // slot 7: asks for a key frame; completes through the handler.
    virtual void RequestKeyFrame(IAsyncActionHandler* handler) = 0;
    // slot 8
    virtual void SetBlockConfigurating(bool block) = 0;
    // slot 9
    virtual std::uint32_t GetStream() const = 0;
};

// Live sound of one audio input. Settings through IAsyncAdjuster and
// IDynamicParametersProvider (QueryContract).
class IAudioSource : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
    // slot 4: the zero-based audio channel.
    virtual std::uint32_t GetChannel() const = 0;
    // slot 5
    virtual void Start(IAudioSourceHandler* handler) = 0;
    // slot 6: returns once nothing of the stream runs any more.
    virtual void Stop() = 0;
};

// Sound to one audio output (speaker). Settings through IAsyncAdjuster and
// IDynamicParametersProvider (QueryContract).
class IAudioDestination : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
    // slot 4: the zero-based audio output channel.
    virtual std::uint32_t GetChannel() const = 0;
    // slot 5: opens a call; nothing when one is open.
    virtual void Call() = 0;
    // slot 6: ends the call; nothing when none is open.
    virtual void HangUp() = 0;
    // slot 7: queues a frame of the call; outside a call the handler hears
    // 0x700 (NotInCall), which is also returned.
    virtual std::uint32_t PushAudioFrame(const AudioFrame& frame) = 0;
};

class IIODevice : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
    // slot 4: the channel's settings.
    virtual IAsyncAdjuster* GetAdjuster() = 0;
    // slot 5
    virtual void Start(IIODeviceHandler* handler) = 0;
    // slot 6
    virtual void Stop() = 0;
    // slot 7: sets relay `relay` active or inactive; handler is answered
    // once with the result (6: no such relay).
    virtual void SetRelayStatus(IAsyncActionHandler* handler, std::uint32_t relay, bool active) = 0;
};

// A channel the device hands out without a handler (telemetry). The host
// queries it for the interfaces it needs (orix/gdrv/Telemetry.h).
class IDeviceChannel : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
    // slot 4: the zero-based channel index the device created it for.
    virtual std::uint32_t GetChannel() const = 0;
};

using ITelemetryChannel = IDeviceChannel;

} // namespace Orix::GDRV

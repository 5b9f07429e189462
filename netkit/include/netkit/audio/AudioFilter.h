#pragma once
// The audio filters: what turns the audio a camera sends (RTP packets of an
// RTSP track, or the body of an HTTP audio stream) into audio buffers for
// the host, each carrying its codec, sample rate and bit rate.
//
//   RTP:  initializeAudioFilter(track) -> RtpStreamFilter -> AudioSink
//   HTTP: G7xxSendingFilter (G.711, G.726: cut into 20 ms buffers)  -> AudioSink
//         AacSendingFilter (ADTS frames, header removed)             -> AudioSink
//
// Filters are not thread-safe; feed each from one thread. The sink runs
// inline, inside the call that completed the buffer.
#include <netkit/audio/Adts.h>
#include <netkit/audio/G726.h>
#include <netkit/rtp/StreamFilter.h>
#include <netkit/sdp/SdpSession.h>
#include <netkit/util/Logging.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orix::Utility {

// Algorithm names as the host spells them.
inline constexpr const char* kAlgorithmG711 = "G.711";
inline constexpr const char* kAlgorithmG726 = "G.726";
inline constexpr const char* kAlgorithmAac = "AAC";

// Encoding codes of the host's audio buffers: 1 is the usual form of each
// algorithm (G.711 mu-law, G.726 in the RFC 3551 order, raw AAC access
// units), 2 the other one (G.711 A-law, G.726 in the AAL2 order).
inline constexpr std::uint32_t kEncodingStandard = 1;
inline constexpr std::uint32_t kEncodingAlternate = 2;

struct AudioFormat {
    std::string algorithm;         // kAlgorithmG711, kAlgorithmG726, kAlgorithmAac
    std::uint32_t encoding = kEncodingStandard;
    std::uint32_t sampleRate = 8000;
    std::uint32_t bitrate = 0;     // bit/s; 0 when unknown (AAC without a bitrate)
    std::uint32_t channels = 1;
    std::vector<std::uint8_t> config; // AAC AudioSpecificConfig
};

struct AudioBuffer {
    const AudioFormat* format = nullptr;
    const std::uint8_t* data = nullptr; // valid during the sink call only
    std::size_t size = 0;
    std::uint64_t hostTimestamp = 0;    // ms
    std::uint32_t rtpTimestamp = 0;     // RTP time, or samples since the stream began (HTTP)
    bool discontinuity = false;         // something was lost before this buffer
};

using AudioSink = std::function<void(const AudioBuffer&)>;

// What an audio channel gives the RTSP client's track set-up: where the
// buffers go and how the track is received.
struct AudioSinkParams {
    AudioSink sink;
    bool reorder = false;          // UDP: put packets in order first
    std::uint32_t aacBitrate = 0;  // the camera's configured AAC rate, when the SDP has none
};

// The host format of an SDP audio track: PCMU/PCMA, G726-16..40 and
// AAL2-G726-*, MPEG4-GENERIC (AAC-hbr/lbr). nullopt for any other.
std::optional<AudioFormat> audioFormatForTrack(const SdpMedia& track);

// The receive path of an audio track, or null (with an error line naming
// the encoding) when the track's codec is not one of the above.
std::shared_ptr<RtpStreamFilter> initializeAudioFilter(const SdpMedia& track, const AudioSinkParams& params,
                                                       LoggerPtr logger);

// Turns a continuous byte stream into audio buffers.
class HttpAudioFilter {
public:
    virtual ~HttpAudioFilter() = default;
    // Consumes bytes in any pieces. hostTime: the arrival time (ms) of the
    // bytes, used for the first buffer; later ones follow the sample count.
    virtual void push(const std::uint8_t* data, std::size_t size, std::uint64_t hostTime) = 0;
    virtual std::uint64_t buffers() const = 0;
};

// G.711 or G.726 of `format`: 20 ms buffers (160 octets of G.711, 80 of
// G.726-32, 60 of G.726-24), a partial one held until complete.
std::unique_ptr<HttpAudioFilter> createG7xxSendingFilter(AudioFormat format, AudioSink sink);
// ADTS frames to raw access units, the format taken from each header.
std::unique_ptr<HttpAudioFilter> createAacSendingFilter(AudioSink sink, std::uint32_t bitrate = 0);

} // namespace Orix::Utility

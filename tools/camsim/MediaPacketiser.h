#pragma once
// RTP payloads for one video frame or one audio block, without the RTP
// header: H.264 (RFC 6184: single NAL unit packets and FU-A), H.265
// (RFC 7798: single NAL unit packets and FUs), JPEG (RFC 2435 with the
// quantisation tables in band, Q=255) and G.711 mu-law (RFC 3551). The
// marker goes on the last packet of a frame. Plain functions on bytes.
#include "MediaClip.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Camsim {

struct RtpPayload {
    std::string bytes;
    bool marker = false;
};

// Payload bytes per packet so that RTP over UDP stays below a 1500-byte MTU.
constexpr std::size_t kMaxRtpPayload = 1400;

std::vector<RtpPayload> packetiseH264(const VideoFrame& frame, std::size_t maxPayload = kMaxRtpPayload);
std::vector<RtpPayload> packetiseH265(const VideoFrame& frame, std::size_t maxPayload = kMaxRtpPayload);
std::vector<RtpPayload> packetiseJpeg(const JpegPicture& picture, std::size_t maxPayload = kMaxRtpPayload);
std::vector<RtpPayload> packetiseFrame(VideoCodec codec, const VideoFrame& frame,
                                       std::size_t maxPayload = kMaxRtpPayload);

// ITU-T G.711 mu-law of a 16-bit sample (the 14 most significant bits count).
std::uint8_t linearToMulaw(std::int16_t sample);

// One second of a steady tone at 8 kHz, mu-law coded: 8000 bytes that loop
// without a click (frequency a whole number of hertz).
std::string mulawTone(unsigned frequency = 440, double amplitude = 0.25);

} // namespace Camsim

#pragma once
// The audio track of the media path as Axis firmware describes and sends it:
// G.711 mu-law as static payload type 0 "PCMU/8000", G.726 as dynamic type
// 97 "G726-32/8000" or "G726-24/8000" (code words packed as RFC 3551 says),
// AAC as type 97 "MPEG4-GENERIC/<rate>/1" in AAC-hbr mode with one access
// unit per packet (RFC 3640 section 3.3.6).
#include "AudioClip.h"

#include <cstdint>
#include <string>

namespace Camsim {

std::uint8_t audioPayloadType(const AudioStream& stream);
std::uint32_t audioClockRate(const AudioStream& stream);

// The media block without its a=control line, CRLF-terminated lines.
std::string audioSdpLines(const AudioStream& stream);

// The RTP payload of one chunk (nextAudioChunk): the bytes as they are, or
// an AAC access unit behind its AU header section.
std::string audioRtpPayload(const AudioStream& stream, const std::string& chunk);

} // namespace Camsim

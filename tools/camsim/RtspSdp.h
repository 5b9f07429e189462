#pragma once
// The session description of a DESCRIBE answer, laid out as Axis cameras
// with GStreamer-based firmware write it: session-level control, then one
// media block per track with its own absolute control URL, video with
// b=AS:50000, a=framerate and a=transform, G.711 as static payload type 0.
#include "AudioClip.h"
#include "MediaClip.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Camsim {

struct SdpTrack {
    enum class Kind { Video, Audio, Metadata };
    Kind kind = Kind::Video;
    VideoCodec codec = VideoCodec::H264;
    unsigned fps = 25;
    std::string vps, sps, pps;  // parameter sets, without start codes
    std::string control;        // absolute URL
    std::shared_ptr<const AudioStream> audio; // audio: what the input sends
};

struct SdpSession {
    std::uint64_t sessionId = 0;
    std::string address;        // for the o= line
    std::string control;        // absolute URL of the whole presentation
    std::string range = "npt=now-"; // a recording: "clock=<start>-<stop>"
    std::vector<SdpTrack> tracks;
};

// Payload type on the wire: 96 for H.264/H.265, 26 for JPEG, 0 for PCMU, 97 for G.726 and AAC.
std::uint8_t payloadTypeOf(const SdpTrack& track);

// CRLF-terminated lines.
std::string buildSdp(const SdpSession& session);

} // namespace Camsim

#pragma once
// A depacketised frame and the codec parameters a depacketizer knows.
#include <cstdint>
#include <string>
#include <vector>

namespace Orix::Utility {

enum class Codec {
    h264,     // Annex B access unit
    h265,     // Annex B access unit
    jpeg,     // complete JFIF-less baseline JPEG, SOI to EOI
    mpeg4,    // MPEG-4 Visual elementary stream, one VOP (with VOL config before I-VOPs)
    pcmu,     // G.711 mu-law samples
    pcma,     // G.711 A-law samples
    g726,     // G.726 code words as packed on the wire
    aac,      // one raw AAC access unit (no ADTS header)
    metadata, // one XML document of the ONVIF metadata stream
};

const char* codecName(Codec codec);

struct Frame {
    Codec codec = Codec::h264;
    bool keyFrame = false;          // decodable on its own (IDR/IRAP/I-VOP; always for audio, JPEG, metadata)
    bool discontinuity = false;     // something was lost between the previous frame and this one
    std::uint32_t rtpTimestamp = 0;
    std::uint64_t hostTimestamp = 0; // filled by the sink (host time, ms); 0 here
    std::vector<std::uint8_t> data;
};

// What a depacketizer knows about its stream: from the SDP, updated from the
// stream itself where it carries the values in band.
struct CodecParameters {
    Codec codec = Codec::h264;
    std::uint32_t clockRate = 90000;
    std::uint32_t channels = 0;      // audio only
    std::uint32_t bitrate = 0;       // G.726 only: 16000, 24000, 32000 or 40000
    std::uint32_t width = 0;         // JPEG: from the payload header
    std::uint32_t height = 0;
    // Codec configuration: H.264/H.265 parameter sets in Annex B form, the
    // MPEG-4 VOL header, the AAC AudioSpecificConfig.
    std::vector<std::uint8_t> config;
};

} // namespace Orix::Utility

#pragma once
// A short video clip held in memory, frame by frame, ready for the RTP
// packetisers: H.264/H.265 access units as NAL units without start codes,
// or JPEG pictures reduced to what RFC 2435 carries (type, size,
// quantisation tables, entropy-coded scan). Parsing works on plain bytes;
// bad input gives an error text, never an exception.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

enum class VideoCodec { H264, H265, Jpeg };

// "h264", "h265", "jpeg".
const char* codecName(VideoCodec codec);

// A baseline JPEG picture as RFC 2435 sends it.
struct JpegPicture {
    std::uint8_t type = 1;       // 0: 4:2:2, 1: 4:2:0 (RFC 2435 section 4.1)
    unsigned width = 0;
    unsigned height = 0;
    std::string quantTables;     // 64 bytes per table, zig-zag order as in DQT
    std::string scan;            // the entropy-coded data up to (without) EOI
};

struct VideoFrame {
    bool key = false;
    std::vector<std::string> nals; // H.264/H.265
    JpegPicture jpeg;              // JPEG
};

struct MediaClip {
    VideoCodec codec = VideoCodec::H264;
    unsigned width = 0;
    unsigned height = 0;
    unsigned fps = 25;
    std::vector<VideoFrame> frames;
    // Parameter sets of the first key frame (H.264: no vps).
    std::string vps;
    std::string sps;
    std::string pps;
};

// Splits an Annex B byte stream at its 3- and 4-byte start codes; empty
// NAL units are dropped.
std::vector<std::string> splitAnnexB(const std::string& stream);

// NAL unit type from the header byte(s); -1 for an empty unit.
int h264NalType(const std::string& nal);
int h265NalType(const std::string& nal);

// Groups NAL units into access units (ITU-T H.264 7.4.1.2.3, H.265
// 7.4.2.4.4): a parameter set, SEI or delimiter after a picture, or a slice
// that starts a new picture, begins the next access unit.
std::vector<VideoFrame> groupAccessUnits(VideoCodec codec, const std::vector<std::string>& nals);

// Parses one baseline JPEG (SOI .. EOI).
std::optional<JpegPicture> parseJpeg(const std::string& bytes, std::string& error);

// Splits concatenated JPEG files (as ffmpeg's mjpeg muxer writes them).
std::vector<std::string> splitJpegStream(const std::string& bytes);

// Parses a whole clip file's bytes; the picture size is the caller's (from
// the file name) except for JPEG, where each picture carries it. nullopt
// with error when there is no usable frame.
std::optional<MediaClip> parseClip(const std::string& bytes, VideoCodec codec, std::string& error);

} // namespace Camsim

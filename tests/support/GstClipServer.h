#pragma once
// Recorded video for tests of the live path: ffmpeg records short clips with
// a known number of pictures, GStreamer's RTSP server
// (tests/peers/gst_rtsp_server.py) replays each once per session, and ffmpeg
// decodes what a client wrote. Neither tool shares code with NetKit.
#include "ProcessRunner.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TestSupport {

// Empty when ffmpeg, ffprobe, python3-gi with GstRtspServer and GStreamer's
// matroskademux are all there, else what is missing.
std::string whyNoClipServer();

// Records `frames` pictures of ffmpeg's testsrc2 at 320x240 and 25 frames/s
// into a Matroska file. codec "h264" or "h265": a key frame every 10
// pictures, no B-frames; "mjpeg": the standard Huffman tables, the only ones
// RTP/JPEG can signal (RFC 2435 section 3.1). Empty on success, else
// ffmpeg's complaint.
std::string recordClip(const std::string& codec, int frames, const std::string& path);

// The MD5 of every picture ffmpeg decodes from the input (its arguments,
// e.g. {"-f", "h264", "-i", "out.h264"}), in order. Any message ffmpeg
// prints while decoding is an error: the result then holds that message as
// its only element.
std::vector<std::string> pictureDigests(const std::vector<std::string>& input);

class GstClipServer {
public:
    // mounts: "/PATH=CODEC:FILE" as gst_rtsp_server.py takes them, none for
    // its live test video; auth: "none", "digest" or "basic" (root:pass).
    // Waits for the server's port line; port() is 0 when it did not come.
    explicit GstClipServer(const std::vector<std::string>& mounts, const std::string& auth = "none");
    ~GstClipServer();
    GstClipServer(const GstClipServer&) = delete;
    GstClipServer& operator=(const GstClipServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string errors() const { return process_->stderrText(); }

private:
    std::unique_ptr<ChildProcess> process_;
    std::uint16_t port_ = 0;
};

} // namespace TestSupport

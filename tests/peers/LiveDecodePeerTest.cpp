// The whole live receive path (RTSP client, sequence tracker, depacketizer,
// frame sink) against GStreamer's RTSP server playing clips that ffmpeg
// recorded, and ffmpeg decoding what arrived: every frame the server sent
// arrives once, and the written elementary stream decodes, without a single
// error message, to the very pictures of the recorded clip.
//
// Skipped only when python3-gi with GstRtspServer, or ffmpeg, is missing.
#include <netkit/rtp/StreamFilter.h>
#include <netkit/rtsp/RTSPClient.h>

#include "support/FakeHost.h"
#include "support/GstClipServer.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Orix::Utility;
using boost::system::error_code;
namespace fs = std::filesystem;

namespace {

// Every clip: 50 pictures at 25 frames/s; H.264 and H.265 with a key frame
// every 10 pictures and no B-frames, so 5 key frames; every JPEG is a key
// frame.
constexpr int kClipFrames = 50;
constexpr int kClipKeyFrames = 5;
const char* const kCodecs[] = {"h264", "h265", "mjpeg"};

// A hang guard only: a session of a 2 s clip ends with the server's BYE or,
// should the BYE get lost on UDP, with the no-data time-out.
constexpr std::chrono::seconds kSessionLimit{60};

struct Received {
    std::vector<error_code> completions;
    int frames = 0;
    int keyFrames = 0;
    int otherCodec = 0;
    bool firstIsKey = false;
    RtpStreamFilter::Statistics filter;
    std::string log;
};

// Plays one mount to its end, writing every frame to `output`.
Received receive(std::uint16_t port, const std::string& mount, RtspTransport transport, Codec codec,
                 const fs::path& output)
{
    boost::asio::io_context io;
    auto logger = std::make_shared<TestSupport::CapturingLogger>(0);
    std::ofstream out(output, std::ios::binary);
    Received r;
    std::shared_ptr<RtpStreamFilter> filter;
    {
        RTSPClient client(io, logger);
        client.setTransport(transport);
        client.setUdpFlag(transport == RtspTransport::Udp);
        client.setTimeouts(std::chrono::seconds(10), std::chrono::seconds(3));
        const bool reorder = transport == RtspTransport::Udp;
        client.setTrackInitializer([&](const SdpMedia& track, std::size_t) -> std::shared_ptr<RtpTrackSink> {
            if (track.kind != SdpMediaKind::video)
                return nullptr;
            filter = initializeVideoFilter(track, reorder, logger, [&](const Frame& frame) {
                if (r.frames == 0)
                    r.firstIsKey = frame.keyFrame;
                ++r.frames;
                r.keyFrames += frame.keyFrame ? 1 : 0;
                r.otherCodec += frame.codec != codec ? 1 : 0;
                out.write(reinterpret_cast<const char*>(frame.data.data()),
                          static_cast<std::streamsize>(frame.data.size()));
            });
            return filter;
        });
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "127.0.0.1";
        info->port = port;
        info->endpoint = {"127.0.0.1", port};
        client.start(mount, info, [&](const error_code& ec) { r.completions.push_back(ec); });
        const auto end = std::chrono::steady_clock::now() + kSessionLimit;
        while (r.completions.empty() && std::chrono::steady_clock::now() < end) {
            io.restart();
            io.run_for(std::chrono::milliseconds(50));
        }
        if (r.completions.empty()) {
            client.teardown();
            io.restart();
            io.run_for(std::chrono::seconds(3));
        }
    }
    if (filter)
        r.filter = filter->statistics();
    r.log = logger->all();
    return r;
}

class LiveDecodePeer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        skipReason_ = TestSupport::whyNoClipServer();
        if (!skipReason_.empty())
            return;
        directory_ = fs::temp_directory_path() / ("vapixcam-live-decode-" + std::to_string(getpid()));
        fs::create_directories(directory_);
        std::vector<std::string> mounts;
        for (const std::string codec : kCodecs) {
            const std::string file = clipPath(codec).string();
            setupError_ = TestSupport::recordClip(codec, kClipFrames, file);
            if (!setupError_.empty())
                return;
            mounts.push_back("/" + codec + "=" + codec + ":" + file);
            if (codec != "mjpeg")
                mounts.push_back("/" + codec + "-sprop=" + codec + "-sprop:" + file);
        }
        server_ = new TestSupport::GstClipServer(mounts);
    }

    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
        if (!directory_.empty()) {
            std::error_code ignored;
            fs::remove_all(directory_, ignored);
        }
    }

    void SetUp() override
    {
        if (!skipReason_.empty())
            GTEST_SKIP() << skipReason_;
        ASSERT_EQ(setupError_, "");
        ASSERT_NE(server_, nullptr);
        ASSERT_NE(server_->port(), 0) << server_->errors();
    }

    static fs::path clipPath(const std::string& codec) { return directory_ / (codec + ".mkv"); }

    static std::string skipReason_;
    static std::string setupError_;
    static fs::path directory_;
    static TestSupport::GstClipServer* server_;
};

std::string LiveDecodePeer::skipReason_;
std::string LiveDecodePeer::setupError_;
fs::path LiveDecodePeer::directory_;
TestSupport::GstClipServer* LiveDecodePeer::server_ = nullptr;

TEST_F(LiveDecodePeer, RecordedClipsArriveWholeAndDecodeToTheSamePictures)
{
    struct Case {
        const char* mount;
        const char* clip;
        const char* rawFormat;
        Codec codec;
        RtspTransport transport;
        int keyFrames;
    };
    const Case cases[] = {
        {"/h264", "h264", "h264", Codec::h264, RtspTransport::Tcp, kClipKeyFrames},
        {"/h264", "h264", "h264", Codec::h264, RtspTransport::Udp, kClipKeyFrames},
        {"/h264", "h264", "h264", Codec::h264, RtspTransport::RtspOverHttp, kClipKeyFrames},
        {"/h264-sprop", "h264", "h264", Codec::h264, RtspTransport::Tcp, kClipKeyFrames},
        {"/h265", "h265", "hevc", Codec::h265, RtspTransport::Tcp, kClipKeyFrames},
        {"/h265", "h265", "hevc", Codec::h265, RtspTransport::Udp, kClipKeyFrames},
        {"/h265", "h265", "hevc", Codec::h265, RtspTransport::RtspOverHttp, kClipKeyFrames},
        {"/h265-sprop", "h265", "hevc", Codec::h265, RtspTransport::Tcp, kClipKeyFrames},
        {"/mjpeg", "mjpeg", "mjpeg", Codec::jpeg, RtspTransport::Tcp, kClipFrames},
        {"/mjpeg", "mjpeg", "mjpeg", Codec::jpeg, RtspTransport::Udp, kClipFrames},
        {"/mjpeg", "mjpeg", "mjpeg", Codec::jpeg, RtspTransport::RtspOverHttp, kClipFrames},
    };
    for (const auto& c : cases) {
        const std::string name = std::string(c.mount) + " over " + getTransportProtocolName(c.transport);
        SCOPED_TRACE(name);
        const fs::path output = directory_ / (std::string(c.mount + 1) + "-" +
                                              getTransportProtocolName(c.transport) + "." + c.rawFormat);
        const Received r = receive(server_->port(), c.mount, c.transport, c.codec, output);

        ASSERT_EQ(r.completions.size(), 1u) << r.log;
        EXPECT_NE(r.completions[0], make_error_code(rtsp::error::timeout))
            << "the session did not end with the clip";
        EXPECT_EQ(r.frames, kClipFrames) << r.log;
        EXPECT_EQ(r.keyFrames, c.keyFrames);
        EXPECT_TRUE(r.firstIsKey);
        EXPECT_EQ(r.otherCodec, 0);
        EXPECT_EQ(r.filter.sequence.lost, 0u);
        EXPECT_EQ(r.filter.frames.framesDropped, 0u);
        EXPECT_EQ(r.filter.malformedPackets, 0u);

        const auto sent = TestSupport::pictureDigests({"-i", clipPath(c.clip).string()});
        const auto arrived = TestSupport::pictureDigests({"-f", c.rawFormat, "-i", output.string()});
        ASSERT_EQ(sent.size(), static_cast<std::size_t>(kClipFrames)) << sent.front();
        EXPECT_EQ(arrived, sent);
    }
}

} // namespace

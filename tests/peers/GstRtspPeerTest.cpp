// The RTSP client against GStreamer's RTSP server (gst-rtsp-server through
// python3-gi, tests/peers/gst_rtsp_server.py): H.264, H.265 and MJPEG over
// TCP, UDP and the HTTP tunnel, with and without credentials.
#include <netkit/rtsp/RTSPClient.h>

#include "support/FakeHost.h"
#include "support/GstClipServer.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <memory>

using namespace Orix::Utility;
using boost::system::error_code;

namespace {

struct Sink : RtpTrackSink {
    void onRtpPacket(const std::uint8_t* data, std::size_t size) override
    {
        ++packets;
        if (size >= 2)
            payloadType = data[1] & 0x7f;
    }
    void onRtcpPacket(const std::uint8_t*, std::size_t) override { ++rtcp; }
    std::size_t packets = 0;
    std::size_t rtcp = 0;
    int payloadType = -1;
};

struct Outcome {
    std::vector<error_code> completions;
    std::size_t packets = 0;
    int payloadType = -1;
    std::string encoding;
    std::string log;
};

// One session: receive `wanted` packets (or fail), then tear down.
Outcome runSession(std::uint16_t port, const std::string& mount, RtspTransport transport, const std::string& user,
                   const std::string& password, std::size_t wanted)
{
    boost::asio::io_context io;
    auto logger = std::make_shared<TestSupport::CapturingLogger>(0);
    auto sink = std::make_shared<Sink>();
    Outcome outcome;
    {
        RTSPClient client(io, logger);
        client.setTransport(transport);
        client.setTcpBufferSize(transport == RtspTransport::Tcp ? 64000 : 0);
        client.setUdpFlag(transport == RtspTransport::Udp);
        client.setTimeouts(std::chrono::seconds(15), std::chrono::seconds(15));
        client.setTrackInitializer([&](const SdpMedia& track, std::size_t) -> std::shared_ptr<RtpTrackSink> {
            if (track.kind != SdpMediaKind::video)
                return nullptr;
            if (auto pt = track.payloadType()) {
                if (auto map = track.rtpmap(*pt))
                    outcome.encoding = map->encoding;
            }
            return sink;
        });
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "127.0.0.1";
        info->port = port;
        info->user = user;
        info->password = password;
        info->endpoint = {"127.0.0.1", port};
        client.start(mount, info, [&](const error_code& ec) { outcome.completions.push_back(ec); });
        bool tornDown = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (outcome.completions.empty() && std::chrono::steady_clock::now() < end) {
            io.restart();
            io.run_for(std::chrono::milliseconds(20));
            if (!tornDown && sink->packets >= wanted) {
                tornDown = true;
                client.teardown();
            }
        }
        if (outcome.completions.empty())
            client.teardown();
        io.restart();
        io.run_for(std::chrono::seconds(3));
    }
    outcome.packets = sink->packets;
    outcome.payloadType = sink->payloadType;
    outcome.log = logger->all();
    return outcome;
}

} // namespace

TEST(GstRtspPeer, EveryCodecOverEveryTransport)
{
    const std::string why = TestSupport::whyNoClipServer();
    if (!why.empty())
        GTEST_SKIP() << why;
    TestSupport::GstClipServer server({});
    ASSERT_NE(server.port(), 0) << server.errors();

    struct Case {
        const char* mount;
        RtspTransport transport;
        const char* encoding;
        int payloadType;
    };
    const Case cases[] = {
        {"/h264", RtspTransport::Tcp, "H264", 96},         {"/h264", RtspTransport::Udp, "H264", 96},
        {"/h264", RtspTransport::RtspOverHttp, "H264", 96}, {"/h265", RtspTransport::Tcp, "H265", 96},
        {"/h265", RtspTransport::Udp, "H265", 96},         {"/h265", RtspTransport::RtspOverHttp, "H265", 96},
        {"/mjpeg", RtspTransport::Tcp, "JPEG", 26},        {"/mjpeg", RtspTransport::Udp, "JPEG", 26},
        {"/mjpeg", RtspTransport::RtspOverHttp, "JPEG", 26},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mount) + " over " + getTransportProtocolName(c.transport));
        Outcome o = runSession(server.port(), c.mount, c.transport, "", "", 25);
        EXPECT_EQ(o.completions, std::vector<error_code>{error_code{}}) << o.log;
        EXPECT_GE(o.packets, 25u) << o.log;
        EXPECT_EQ(o.encoding, c.encoding);
        EXPECT_EQ(o.payloadType, c.payloadType);
    }
}

TEST(GstRtspPeer, DigestAndBasicCredentials)
{
    const std::string why = TestSupport::whyNoClipServer();
    if (!why.empty())
        GTEST_SKIP() << why;
    TestSupport::GstClipServer digest({}, "digest");
    TestSupport::GstClipServer basic({}, "basic");
    ASSERT_NE(digest.port(), 0) << digest.errors();
    ASSERT_NE(basic.port(), 0) << basic.errors();

    struct Case {
        const char* name;
        TestSupport::GstClipServer* server;
        RtspTransport transport;
        const char* password;
        error_code expected;
    };
    const Case cases[] = {
        {"digest over tcp", &digest, RtspTransport::Tcp, "pass", {}},
        {"digest over udp", &digest, RtspTransport::Udp, "pass", {}},
        {"digest through the tunnel", &digest, RtspTransport::RtspOverHttp, "pass", {}},
        {"basic over tcp", &basic, RtspTransport::Tcp, "pass", {}},
        {"basic through the tunnel", &basic, RtspTransport::RtspOverHttp, "pass", {}},
        {"wrong digest password", &digest, RtspTransport::Tcp, "wrong",
         make_error_code(rtsp::error::unauthorized)},
        {"wrong basic password", &basic, RtspTransport::Tcp, "wrong", make_error_code(rtsp::error::unauthorized)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome o = runSession(c.server->port(), "/h264", c.transport, "root", c.password, 10);
        EXPECT_EQ(o.completions, std::vector<error_code>{c.expected}) << o.log;
        if (!c.expected) {
            EXPECT_GE(o.packets, 10u) << o.log;
        } else {
            EXPECT_EQ(o.packets, 0u);
        }
        EXPECT_EQ(o.log.find(c.password), std::string::npos);
    }
}

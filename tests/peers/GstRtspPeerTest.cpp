// The RTSP client's credentials against GStreamer's RTSP server
// (gst-rtsp-server through python3-gi, tests/peers/gst_rtsp_server.py):
// Digest and Basic over TCP, UDP and the HTTP tunnel, right and wrong.
// Every codec over every transport is LiveDecodePeerTest's, picture by
// picture.
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
    void onRtpPacket(const std::uint8_t*, std::size_t) override { ++packets; }
    void onRtcpPacket(const std::uint8_t*, std::size_t) override {}
    std::size_t packets = 0;
};

struct Outcome {
    std::vector<error_code> completions;
    std::size_t packets = 0;
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
            return track.kind == SdpMediaKind::video ? sink : nullptr;
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
    outcome.log = logger->all();
    return outcome;
}

} // namespace

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

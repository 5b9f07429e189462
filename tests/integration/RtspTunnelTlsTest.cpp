// The RTSP client's HTTP tunnel against camsim's HTTPS port: an https camera
// whose RTSP port is closed still gives video, with the certificate checked
// as the HTTP client checks it.
#include <netkit/http/HttpError.h>
#include <netkit/rtsp/RTSPClient.h>

#include "support/CamsimProcess.h"
#include "support/FakeHost.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

using namespace Orix::Utility;
using namespace TestSupport;
using boost::system::error_code;

namespace {

class PacketCounter : public RtpTrackSink {
public:
    void onRtpPacket(const std::uint8_t*, std::size_t) override { ++packets; }
    void onRtcpPacket(const std::uint8_t*, std::size_t) override {}
    std::size_t packets = 0;
};

} // namespace

TEST(RtspTunnelTls, HttpsTunnelVerifiesTheCameraLikeTheHttpClient)
{
    if (!CamsimProcess::available())
        GTEST_SKIP() << "camsim is not built";
    CamsimOptions options;
    options.https = true; // camsim's certificate is self-signed, made at start
    CamsimProcess camsim(options);
    const struct {
        const char* name;
        const char* options; // connection-string options
        error_code expected; // none: video arrives, then a clean teardown
    } cases[] = {
        {"self-signed accepted", "?tls-accept-self-signed=1", {}},
        {"default verification", "", Orix::http::error::certificateRejected},
        {"another certificate pinned",
         "?tls-fingerprint=0000000000000000000000000000000000000000000000000000000000000000",
         Orix::http::error::fingerprintMismatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto info = Orix::asio::parseConnectionInfo(camsim.url("root", "pass", "https") + "/" + c.options);
        ASSERT_TRUE(info);
        boost::asio::io_context io;
        auto logger = std::make_shared<CapturingLogger>(0);
        auto sink = std::make_shared<PacketCounter>();
        RTSPClient client(io, logger);
        client.setTransport(RtspTransport::RtspOverHttp);
        client.setTrackInitializer([sink](const SdpMedia& m, std::size_t) -> std::shared_ptr<RtpTrackSink> {
            return m.kind == SdpMediaKind::video ? sink : nullptr;
        });
        std::vector<error_code> completions;
        client.start("/axis-media/media.amp?videocodec=h264&resolution=640x360", info,
                     [&](const error_code& ec) { completions.push_back(ec); });
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (completions.empty() && sink->packets < 10 && std::chrono::steady_clock::now() < limit) {
            io.restart();
            io.run_for(std::chrono::milliseconds(10));
        }
        if (!c.expected) {
            EXPECT_GE(sink->packets, 10u);
            client.teardown();
        }
        while (completions.empty() && std::chrono::steady_clock::now() < limit) {
            io.restart();
            io.run_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(completions, std::vector<error_code>{c.expected});
        EXPECT_FALSE(logger->contains(":pass@")) << "the password reached the log";
        if (HasFailure())
            std::cerr << logger->all();
    }
}

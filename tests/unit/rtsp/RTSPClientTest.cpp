#include <netkit/rtsp/RTSPClient.h>

#include "support/FakeHost.h"
#include "support/RtpBuilder.h"
#include "support/RtspTestServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <mutex>
#include <regex>

using namespace Orix::Utility;
using namespace TestSupport;
using boost::system::error_code;
namespace rtspe = Orix::Utility::rtsp;

namespace {

constexpr std::uint32_t kSsrc = 0x315460DA;
const std::string kSessionId = "ghLlkf_I9pCBP24t";
const std::string kNonce = "01f82f1eY2828699f525c781da2d528b24cd9b5f249fbb";
const std::string kUrl = "rtsp://camera.local/axis-media/media.amp?videocodec=h264";
const std::vector<error_code> kClean{error_code{}}; // one completion, without error

using Methods = std::vector<std::string>;
Methods methodsOf(const std::vector<RtspTestRequest>& requests)
{
    Methods out;
    for (const auto& r : requests)
        out.push_back(r.method);
    return out;
}

// Answers of an Axis camera (GStreamer-based firmware), modelled on captures:
// absolute controls carrying the request's query, Session with timeout,
// Digest without qop followed by Basic on 401.
struct CameraOptions {
    // staleForever: every answer is a 401 with a fresh nonce marked stale;
    // unanswerable: only schemes and algorithms the client cannot answer.
    enum class Auth { none, digest, staleForever, unanswerable };
    Auth auth = Auth::none;
    int packets = 5;             // RTP packets right after the PLAY answer
    bool getParameter = true;    // GET_PARAMETER in Public
    std::string timeout = "60";  // Session timeout
    bool describeSilent = false;
    bool setupSilent = false;
    bool teardownSilent = false;
    bool byeAfterPackets = false; // an RTCP BYE follows the packets after PLAY
    bool tunnelAuth = false;     // the tunnel's HTTP GET/POST need credentials
    std::string multicastGroup;  // answer SETUP with this group
    std::uint16_t multicastPort = 0;
};

class Camera {
public:
    explicit Camera(CameraOptions options = {})
        : options_(std::move(options)), server([this](const RtspTestRequest& r) { return answer(r); })
    {
    }

    std::shared_ptr<Orix::asio::ConnectionInfo> info(const std::string& user = "root", const std::string& password = "pass")
    {
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "camera.local";
        info->port = server.port();
        info->user = user;
        info->password = password;
        info->endpoint = {"127.0.0.1", server.port()};
        return info;
    }

    std::vector<RtspTestRequest> rtspRequests() const
    {
        std::vector<RtspTestRequest> out;
        for (auto& r : server.requests())
            if (r.method != "GET" && r.method != "POST")
                out.push_back(r);
        return out;
    }
    Methods methods() const { return methodsOf(rtspRequests()); }
    std::uint16_t clientRtpPort() const { return clientPort_; }

private:
    static std::string query(const std::string& uri)
    {
        auto q = uri.find('?');
        return q == std::string::npos ? std::string() : uri.substr(q);
    }

    bool authorized(const RtspTestRequest& r) const
    {
        const std::string a = r.header("Authorization");
        switch (options_.auth) {
        case CameraOptions::Auth::none: return true;
        case CameraOptions::Auth::staleForever:
        case CameraOptions::Auth::unanswerable: return false;
        case CameraOptions::Auth::digest:
            // DESCRIBE of kUrl with root:pass (RFC 2069 form, no qop):
            // MD5(MD5(root:AXIS_ACCC8E0CBE87:pass):nonce:MD5(DESCRIBE:uri)).
            if (r.method == "DESCRIBE")
                return a.find("response=\"7664abb11c203c67feff4d658d490cfe\"") != std::string::npos;
            return a.rfind("Digest username=\"root\"", 0) == 0;
        }
        return false;
    }

    RtspScriptReply answer(const RtspTestRequest& r)
    {
        const std::string cseq = r.cseq();
        const auto reply = [&](std::vector<std::string> lines, const std::string& body = {}) {
            return RtspScriptReply::raw(rtspAnswer(200, "OK", cseq, std::move(lines), body));
        };
        if (r.method == "GET") {
            if (options_.tunnelAuth && !r.hasHeader("Authorization"))
                return RtspScriptReply::raw("HTTP/1.0 401 Unauthorized\r\n"
                                            "WWW-Authenticate: Digest realm=\"AXIS_00408C923E54\", nonce=\"0013b078Y274915fd7ef48ab6f35d58fc6611936d82959\", stale=FALSE, qop=\"auth\"\r\n"
                                            "Content-Length: 0\r\n\r\n", true);
            return RtspScriptReply::raw("HTTP/1.0 200 OK\r\nContent-Type: application/x-rtsp-tunnelled\r\n"
                                        "Cache-Control: no-store\r\nPragma: no-cache\r\n\r\n");
        }
        if (r.method == "POST")
            return RtspScriptReply::silent();
        if (r.method == "OPTIONS")
            return reply({options_.getParameter ? "Public: OPTIONS, DESCRIBE, ANNOUNCE, GET_PARAMETER, PAUSE, PLAY, RECORD, SETUP, SET_PARAMETER, TEARDOWN"
                                                : "Public: OPTIONS, DESCRIBE, PAUSE, PLAY, SETUP, TEARDOWN",
                          "Server: GStreamer RTSP server"});
        if (!authorized(r)) {
            std::vector<std::string> lines;
            if (options_.auth == CameraOptions::Auth::digest)
                lines.push_back("WWW-Authenticate: Digest realm=\"AXIS_ACCC8E0CBE87\", nonce=\"" + kNonce + "\", stale=FALSE");
            if (options_.auth == CameraOptions::Auth::staleForever)
                lines.push_back("WWW-Authenticate: Digest realm=\"AXIS_ACCC8E0CBE87\", nonce=\"" + kNonce + cseq + "\", stale=TRUE");
            if (options_.auth == CameraOptions::Auth::unanswerable) {
                lines.push_back("WWW-Authenticate: Negotiate");
                lines.push_back("WWW-Authenticate: Digest realm=\"AXIS_ACCC8E0CBE87\", nonce=\"" + kNonce + "\", algorithm=SHA-512-256");
            } else {
                lines.push_back("WWW-Authenticate: Basic realm=\"AXIS_ACCC8E0CBE87\"");
            }
            lines.push_back("Server: GStreamer RTSP server");
            return RtspScriptReply::raw(rtspAnswer(401, "Unauthorized", cseq, lines));
        }
        const std::string session = "Session: " + kSessionId + ";timeout=" + options_.timeout;
        if (r.method == "DESCRIBE") {
            if (options_.describeSilent)
                return RtspScriptReply::silent();
            // The captured answer of an Axis camera; its controls carry the request's query.
            std::string sdp = readFile(dataPath("sdp/axis_gstreamer_h264_aac.sdp"));
            for (std::size_t at; (at = sdp.find("hostname")) != std::string::npos;)
                sdp.replace(at, 8, "camera.local");
            for (std::size_t at; (at = sdp.find("?audio=1&video=1")) != std::string::npos;)
                sdp.replace(at, 16, query(r.uri));
            return reply({"Content-Type: application/sdp", "Content-Base: rtsp://camera.local/axis-media/media.amp/",
                          "Server: GStreamer RTSP server"},
                         sdp);
        }
        if (r.method == "SETUP") {
            if (options_.setupSilent)
                return RtspScriptReply::silent();
            const std::string t = r.header("Transport");
            std::smatch m;
            std::string transport;
            if (std::regex_search(t, m, std::regex("interleaved=(\\d+)-(\\d+)"))) {
                channel_ = std::stoi(m[1]);
                transport = "RTP/AVP/TCP;unicast;interleaved=" + m[1].str() + "-" + m[2].str() + ";ssrc=315460DA;mode=\"PLAY\"";
            } else if (std::regex_search(t, m, std::regex("client_port=(\\d+)-(\\d+)"))) {
                clientPort_ = static_cast<std::uint16_t>(std::stoi(m[1]));
                const unsigned rtcp = server.rtcpPort();
                transport = "RTP/AVP;unicast;client_port=" + m[1].str() + "-" + m[2].str() + ";server_port=" +
                            std::to_string(rtcp - 1) + "-" + std::to_string(rtcp) + ";ssrc=315460DA;mode=\"PLAY\"";
            } else if (t.find("multicast") != std::string::npos) {
                transport = "RTP/AVP;multicast;destination=" + options_.multicastGroup + ";port=" +
                            std::to_string(options_.multicastPort) + "-" + std::to_string(options_.multicastPort + 1) +
                            ";ttl=1;mode=\"PLAY\"";
            } else {
                return RtspScriptReply::raw(rtspAnswer(461, "Unsupported transport", cseq));
            }
            return reply({"Transport: " + transport, session});
        }
        if (r.method == "PLAY") {
            RtspScriptReply out = reply({"RTP-Info: url=rtsp://camera.local/axis-media/media.amp/stream=0" + query(r.uri) +
                                             ";seq=13114;rtptime=3803548519",
                                         "Range: npt=now-", session});
            for (int i = 0; i < options_.packets; ++i) {
                std::string packet =
                    rtpPacket(static_cast<std::uint16_t>(13114 + i), 3803548519u + 3600u * i, kSsrc, true, 96, "\x65\x88\x84\x10");
                if (clientPort_ != 0)
                    out.datagrams.emplace_back(clientPort_.load(), packet);
                else
                    out.bytes += interleavedFrame(static_cast<std::uint8_t>(channel_), packet);
            }
            if (options_.byeAfterPackets && clientPort_ != 0)
                out.datagrams.emplace_back(static_cast<std::uint16_t>(clientPort_ + 1), rtcpBye(kSsrc));
            else if (options_.byeAfterPackets)
                out.bytes += interleavedFrame(static_cast<std::uint8_t>(channel_ + 1), rtcpBye(kSsrc));
            return out;
        }
        if (r.method == "TEARDOWN" && options_.teardownSilent)
            return RtspScriptReply::silent();
        if (r.method == "GET_PARAMETER" || r.method == "TEARDOWN" || r.method == "PAUSE")
            return reply({"Session: " + kSessionId});
        return RtspScriptReply::raw(rtspAnswer(501, "Not Implemented", cseq));
    }

    CameraOptions options_;
    int channel_ = 0;
    std::atomic<std::uint16_t> clientPort_{0};

public:
    RtspTestServer server; // last: stopped before the script's state goes
};

class CountingSink : public RtpTrackSink {
public:
    void onRtpPacket(const std::uint8_t* data, std::size_t size) override
    {
        if (size >= 4)
            sequences.push_back(static_cast<std::uint16_t>(data[2] << 8 | data[3]));
    }
    void onRtcpPacket(const std::uint8_t*, std::size_t) override {}
    std::vector<std::uint16_t> sequences;
};

bool loggedError(const CapturingLogger& logger, const std::string& text)
{
    const auto entries = logger.entries();
    return std::any_of(entries.begin(), entries.end(), [&](const CapturingLogger::Entry& e) {
        return e.level == Orix::LogError && e.message.find(text) != std::string::npos;
    });
}

// Runs the io_context until done() holds; false after the limit (a guard
// against hangs, not a timing assertion).
bool runUntil(boost::asio::io_context& io, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < end) {
        io.restart();
        io.run_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Once a session has completed, nothing is left on the io_context: no timer
// armed, no socket waiting. A second completion would show here too.
bool runsDry(boost::asio::io_context& io)
{
    io.restart();
    io.run_for(std::chrono::seconds(5));
    return io.stopped();
}

std::shared_ptr<RtpTrackSink> videoOnly(const std::shared_ptr<CountingSink>& sink, const SdpMedia& track)
{
    return track.kind == SdpMediaKind::video ? sink : nullptr;
}

// Runs a client on this thread's io_context against a camera.
struct Harness {
    boost::asio::io_context io;
    std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>(0);
    RTSPClient client{io, logger};
    std::shared_ptr<CountingSink> sink = std::make_shared<CountingSink>();
    std::vector<SdpMediaKind> offered;
    std::vector<error_code> completions;

    Harness()
    {
        client.setTrackInitializer([this](const SdpMedia& track, std::size_t) {
            offered.push_back(track.kind);
            return videoOnly(sink, track);
        });
    }
    ~Harness()
    {
        if (::testing::Test::HasFailure())
            std::cerr << "client log:\n" << logger->all() << "\n";
    }

    void start(const std::string& url, Orix::asio::ConnectionInfoPtr info)
    {
        client.start(url, std::move(info), [this](const error_code& ec) { completions.push_back(ec); });
    }
    bool runUntil(const std::function<bool()>& done) { return ::runUntil(io, done); }
    bool completed() { return runUntil([this] { return !completions.empty(); }); }
    bool packets(std::size_t n)
    {
        return runUntil([this, n] { return sink->sequences.size() >= n || !completions.empty(); }) &&
               sink->sequences.size() >= n;
    }
    // Waits for n packets, tears down and waits for the completion.
    bool playThenTeardown(std::size_t n)
    {
        if (!packets(n))
            return false;
        client.teardown();
        return completed();
    }
    bool runsDry() { return ::runsDry(io) && completions.size() == 1; }
};

} // namespace

// Every name round trips through a live session (VideoSource tests); here
// what the host may type besides.
TEST(RTSPClient, TransportNamesIgnoreCaseAndRefuseOthers)
{
    RtspTransport parsed = RtspTransport::Udp;
    EXPECT_TRUE(parseTransportProtocolName("rtspOverHttp", parsed));
    EXPECT_EQ(parsed, RtspTransport::RtspOverHttp);
    EXPECT_FALSE(parseTransportProtocolName("http", parsed));
    EXPECT_FALSE(parseTransportProtocolName("", parsed));
}

TEST(RTSPClient, TcpSessionDeliversPacketsAndTearsDown)
{
    Camera camera;
    Harness h;
    h.start("/axis-media/media.amp?videocodec=h264", camera.info());
    ASSERT_TRUE(h.playThenTeardown(5));
    ASSERT_TRUE(camera.server.waitForDisconnect());
    EXPECT_EQ(h.completions, kClean);
    EXPECT_EQ(h.sink->sequences, (std::vector<std::uint16_t>{13114, 13115, 13116, 13117, 13118}));
    EXPECT_EQ(h.offered, (std::vector<SdpMediaKind>{SdpMediaKind::video, SdpMediaKind::audio}));
    auto requests = camera.rtspRequests();
    ASSERT_EQ(methodsOf(requests), (Methods{"OPTIONS", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}));
    EXPECT_EQ(requests[0].uri, "rtsp://camera.local:" + std::to_string(camera.server.port()) + "/axis-media/media.amp?videocodec=h264");
    EXPECT_EQ(requests[1].header("Accept"), "application/sdp");
    EXPECT_EQ(requests[2].uri, "rtsp://camera.local/axis-media/media.amp/stream=0?videocodec=h264");
    EXPECT_EQ(requests[2].header("Transport"), "RTP/AVP/TCP;unicast;interleaved=0-1");
    EXPECT_FALSE(requests[2].hasHeader("Session"));
    EXPECT_EQ(requests[3].uri, "rtsp://camera.local/axis-media/media.amp?videocodec=h264");
    EXPECT_EQ(requests[3].header("Range"), "npt=0.000-");
    EXPECT_EQ(requests[3].header("Session"), kSessionId);
    EXPECT_EQ(requests[4].header("Session"), kSessionId);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].cseq(), std::to_string(i + 1));
        EXPECT_FALSE(requests[i].header("User-Agent").empty());
        EXPECT_FALSE(requests[i].hasHeader("Authorization"));
    }
    EXPECT_EQ(h.client.statistics().packets, 5u);
    EXPECT_EQ(h.client.statistics().bytes, 5u * 16u);
    EXPECT_TRUE(h.runsDry());
}

// A recording starts where PLAY asks; the answer's Range is heard before
// the media that follows it in the same write.
TEST(RTSPClient, PlayRangeIsSentAndItsAnswerPrecedesMedia)
{
    struct Case {
        const char* range;
        bool sent;
    } cases[] = {{"clock=20240621T071725.250Z-", true}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        Camera camera;
        Harness h;
        std::vector<std::pair<std::string, std::size_t>> answers; // Range, packets before it
        h.client.setPlayRange(c.range);
        h.client.setPlayStarted(
            [&](const std::string& range) { answers.emplace_back(range, h.sink->sequences.size()); });
        h.start("/axis-media/media.amp?recordingid=20240621_151725_95E7_B8A44F9D7D55", camera.info());
        ASSERT_TRUE(h.playThenTeardown(5));
        const auto requests = camera.rtspRequests();
        ASSERT_EQ(methodsOf(requests), (Methods{"OPTIONS", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}));
        EXPECT_EQ(requests[3].hasHeader("Range"), c.sent);
        EXPECT_EQ(requests[3].header("Range"), c.range);
        EXPECT_EQ(answers, (std::vector<std::pair<std::string, std::size_t>>{{"npt=now-", 0}}));
    }
}

TEST(RTSPClient, DigestAsAxisAsksWithoutQop)
{
    CameraOptions options;
    options.auth = CameraOptions::Auth::digest;
    Camera camera(options);
    Harness h;
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.playThenTeardown(5));
    EXPECT_EQ(h.completions, kClean);
    auto requests = camera.rtspRequests();
    ASSERT_EQ(methodsOf(requests), (Methods{"OPTIONS", "DESCRIBE", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}));
    EXPECT_FALSE(requests[1].hasHeader("Authorization"));
    EXPECT_EQ(requests[2].cseq(), "3");
    // Literals: RFC 2069 digests for root:pass, realm AXIS_ACCC8E0CBE87, the
    // camera's nonce and each request's method and URI.
    const std::tuple<std::size_t, const char*, const char*> expects[] = {
        {2, "rtsp://camera.local/axis-media/media.amp?videocodec=h264", "7664abb11c203c67feff4d658d490cfe"},
        {3, "rtsp://camera.local/axis-media/media.amp/stream=0?videocodec=h264", "ae43dfd2545b7e946db8799cbaa1f205"},
        {4, "rtsp://camera.local/axis-media/media.amp?videocodec=h264", "974097ae86695f25a28bf0af9751c900"},
    };
    for (const auto& [index, uri, response] : expects) {
        SCOPED_TRACE(requests[index].method);
        const std::string a = requests[index].header("Authorization");
        EXPECT_EQ(a.rfind("Digest ", 0), 0u) << a;
        for (const std::string& part : std::vector<std::string>{"username=\"root\"", "realm=\"AXIS_ACCC8E0CBE87\"", "nonce=\"" + kNonce + "\"",
                                       "uri=\"" + std::string(uri) + "\"", "response=\"" + std::string(response) + "\""})
            EXPECT_NE(a.find(part), std::string::npos) << a << " lacks " << part;
        EXPECT_EQ(a.find("qop"), std::string::npos) << a;
    }
    EXPECT_FALSE(h.logger->contains("pass\""));
    EXPECT_FALSE(h.logger->contains("7664abb11c203c67feff4d658d490cfe"));
}

TEST(RTSPClient, RefusedAuthenticationEndsUnauthorizedWithItsReason)
{
    const struct {
        const char* name;
        CameraOptions::Auth auth;
        std::string user, password;
        Methods methods;
        const char* errorLine; // logged at error level
    } cases[] = {
        {"wrong password", CameraOptions::Auth::digest, "root", "wrong", {"OPTIONS", "DESCRIBE", "DESCRIBE"}, "refused the credentials"},
        {"no credentials", CameraOptions::Auth::digest, "", "", {"OPTIONS", "DESCRIBE"}, "none were given"},
        {"stale nonce forever", CameraOptions::Auth::staleForever, "root", "pass",
         {"OPTIONS", "DESCRIBE", "DESCRIBE", "DESCRIBE", "DESCRIBE"}, "challenged 4 times in a row"},
        {"no scheme we can answer", CameraOptions::Auth::unanswerable, "root", "pass", {"OPTIONS", "DESCRIBE"},
         "cannot answer: Negotiate, Digest algorithm=SHA-512-256"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CameraOptions options;
        options.auth = c.auth;
        Camera camera(options);
        Harness h;
        h.start(kUrl, camera.info(c.user, c.password));
        ASSERT_TRUE(h.completed());
        ASSERT_TRUE(camera.server.waitForDisconnect());
        EXPECT_EQ(h.completions, std::vector<error_code>{make_error_code(rtspe::error::unauthorized)});
        EXPECT_EQ(camera.methods(), c.methods);
        EXPECT_TRUE(c.password.empty() || !h.logger->contains(c.password));
        EXPECT_TRUE(loggedError(*h.logger, c.errorLine)) << c.errorLine;
        EXPECT_TRUE(h.runsDry());
    }
}

TEST(RTSPClient, UdpSessionReceivesDatagramsAndReportsBack)
{
    Camera camera;
    Harness h;
    h.client.setTransport(RtspTransport::Udp);
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.packets(5));
    ASSERT_TRUE(camera.server.waitForRtcp(1));
    // A datagram from another host is not the camera's: it never reaches the track.
    {
        boost::asio::io_context io;
        boost::asio::ip::udp::socket other(io, boost::asio::ip::udp::endpoint(boost::asio::ip::make_address("127.0.0.2"), 0));
        const std::string stray = rtpPacket(13119, 3803548519u, kSsrc, true, 96, "\x65\x88");
        other.send_to(boost::asio::buffer(stray),
                      boost::asio::ip::udp::endpoint(boost::asio::ip::make_address("127.0.0.1"), camera.clientRtpPort()));
    }
    camera.server.sendUdp(camera.clientRtpPort(), rtpPacket(13120, 3803548519u, kSsrc, true, 96, "\x65\x88"));
    ASSERT_TRUE(h.playThenTeardown(6));
    EXPECT_EQ(h.completions, kClean);
    EXPECT_EQ(h.sink->sequences, (std::vector<std::uint16_t>{13114, 13115, 13116, 13117, 13118, 13120}));
    auto requests = camera.rtspRequests();
    ASSERT_EQ(methodsOf(requests), (Methods{"OPTIONS", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}));
    std::smatch m;
    const std::string transport = requests[2].header("Transport");
    ASSERT_TRUE(std::regex_match(transport, m, std::regex("RTP/AVP;unicast;client_port=(\\d+)-(\\d+)"))) << transport;
    EXPECT_EQ(std::stoi(m[1]) % 2, 0);
    EXPECT_EQ(std::stoi(m[2]), std::stoi(m[1]) + 1);
    // The first report leaves right after PLAY, before any media: an RR
    // without blocks (PT 201) and an SDES (PT 202) with our CNAME.
    const std::string rr = camera.server.rtcpReceived().front();
    ASSERT_GE(rr.size(), 10u);
    EXPECT_EQ(rr.substr(0, 2), "\x80\xc9");
    EXPECT_EQ(static_cast<unsigned char>(rr[9]), 202);
    EXPECT_NE(rr.find("vapixcam@127.0.0.1"), std::string::npos);
    EXPECT_TRUE(h.runsDry());
}

TEST(RTSPClient, MulticastJoinsTheGroupTheServerNames)
{
    if (!loopbackMulticastWorks())
        GTEST_SKIP() << "multicast on the loopback interface is not delivered on this machine";
    CameraOptions options;
    options.multicastGroup = "239.255.77.12";
    {
        boost::asio::io_context probe;
        boost::asio::ip::udp::socket s(probe, boost::asio::ip::udp::endpoint(boost::asio::ip::udp::v4(), 0));
        options.multicastPort = static_cast<std::uint16_t>(s.local_endpoint().port() & ~1u);
    }
    options.packets = 0; // sent once the client has joined, below
    Camera camera(options);
    Harness h;
    h.client.setTransport(RtspTransport::Multicast);
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.runUntil([&] { return camera.rtspRequests().size() >= 4; }));
    for (std::uint16_t i = 0; i < 3; ++i)
        camera.server.sendMulticast(options.multicastGroup, options.multicastPort,
                                    rtpPacket(static_cast<std::uint16_t>(200 + i), 0, kSsrc, true, 96, "\x65"));
    ASSERT_TRUE(h.playThenTeardown(3));
    EXPECT_EQ(h.completions, kClean);
    EXPECT_EQ(camera.rtspRequests()[2].header("Transport"), "RTP/AVP;multicast");
    EXPECT_EQ(h.sink->sequences, (std::vector<std::uint16_t>{200, 201, 202}));
}

TEST(RTSPClient, TunnelOverHttpWithDigestOnTheHttpSide)
{
    CameraOptions options;
    options.tunnelAuth = true;
    options.auth = CameraOptions::Auth::digest;
    Camera camera(options);
    Harness h;
    h.client.setTransport(RtspTransport::RtspOverHttp);
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.playThenTeardown(5));
    EXPECT_EQ(h.completions, kClean);
    EXPECT_EQ(h.sink->sequences.size(), 5u);
    auto all = camera.server.requests();
    ASSERT_EQ(methodsOf(all), (Methods{"GET", "GET", "POST", "OPTIONS", "DESCRIBE", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}));
    const auto& get = all[1];
    const auto& post = all[2];
    EXPECT_EQ(get.uri, "/axis-media/media.amp?videocodec=h264");
    EXPECT_EQ(get.header("Accept"), "application/x-rtsp-tunnelled");
    EXPECT_EQ(post.header("Content-Type"), "application/x-rtsp-tunnelled");
    EXPECT_FALSE(get.header("x-sessioncookie").empty());
    EXPECT_EQ(get.header("x-sessioncookie"), post.header("x-sessioncookie"));
    EXPECT_FALSE(all[0].hasHeader("Authorization"));
    for (const auto* r : {&get, &post}) {
        const std::string a = r->header("Authorization");
        EXPECT_EQ(a.rfind("Digest ", 0), 0u) << a;
        for (const char* part : {"realm=\"AXIS_00408C923E54\"", "uri=\"/axis-media/media.amp?videocodec=h264\"", "qop=auth"})
            EXPECT_NE(a.find(part), std::string::npos) << a << " lacks " << part;
    }
    for (std::size_t i = 3; i < all.size(); ++i) {
        EXPECT_TRUE(all[i].viaTunnel) << all[i].method;
        EXPECT_EQ(all[i].connection, post.connection);
    }
    EXPECT_EQ(all[6].header("Transport"), "RTP/AVP/TCP;unicast;interleaved=0-1");
    EXPECT_TRUE(h.runsDry());
}

TEST(RTSPClient, TeardownInEveryPhaseCompletesOnce)
{
    CameraOptions silentDescribe, silentSetup;
    silentDescribe.describeSilent = true;
    silentSetup.setupSilent = true;
    const struct {
        const char* name;
        CameraOptions options;
        const char* waitFor; // the request the camera must have seen first; null: tear down at once
        Methods methods;     // what the camera saw in the end
    } cases[] = {
        {"before connecting", {}, nullptr, {}},
        {"during DESCRIBE", silentDescribe, "DESCRIBE", {"OPTIONS", "DESCRIBE"}},
        {"during SETUP", silentSetup, "SETUP", {"OPTIONS", "DESCRIBE", "SETUP"}},
        {"while playing", {}, "PLAY", {"OPTIONS", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Camera camera(c.options);
        Harness h;
        h.start(kUrl, camera.info());
        if (c.waitFor) {
            ASSERT_TRUE(h.runUntil([&] {
                const auto seen = camera.methods();
                return std::find(seen.begin(), seen.end(), c.waitFor) != seen.end();
            }));
        }
        h.client.teardown();
        h.client.teardown(); // a second call changes nothing
        ASSERT_TRUE(h.completed());
        EXPECT_EQ(h.completions, kClean);
        if (c.waitFor) {
            ASSERT_TRUE(camera.server.waitForDisconnect());
        }
        EXPECT_EQ(camera.methods(), c.methods);
        EXPECT_TRUE(h.runsDry());
    }
}

TEST(RTSPClient, SessionEndsWithTheRightError)
{
    using Script = std::function<RtspScriptReply(const RtspTestRequest&)>;
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=x\r\nt=0 0\r\nm=video 0 RTP/AVP 96\r\n"
                            "a=rtpmap:96 H264/90000\r\na=control:stream=0\r\n";
    const Script normal = [sdp](const RtspTestRequest& r) {
        if (r.method == "DESCRIBE")
            return RtspScriptReply::raw(rtspAnswer(200, "OK", r.cseq(), {"Content-Base: " + r.uri + "/"}, sdp));
        if (r.method == "SETUP")
            return RtspScriptReply::raw(
                rtspAnswer(200, "OK", r.cseq(), {"Transport: RTP/AVP/TCP;unicast;interleaved=0-1", "Session: 12345678"}));
        if (r.method == "PLAY")
            return RtspScriptReply::raw(rtspAnswer(200, "OK", r.cseq(), {"Session: 12345678"}) +
                                        interleavedFrame(0, rtpPacket(1, 0, kSsrc, true, 96, "\x65")));
        return RtspScriptReply::raw(rtspAnswer(200, "OK", r.cseq(), {"Public: OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN"}));
    };
    // The normal script with one method answered by status, headers and body;
    // status 0 for silence, 1 for closing the connection.
    const auto replace = [normal](const std::string& method, unsigned status, std::vector<std::string> lines = {},
                                  std::string body = {}) -> Script {
        return [=](const RtspTestRequest& r) {
            if (r.method != method)
                return normal(r);
            if (status < 2)
                return status ? RtspScriptReply::close() : RtspScriptReply::silent();
            const char* reason = status == 404   ? "Not Found"
                                 : status == 461 ? "Unsupported transport"
                                 : status == 400 ? "Bad Request"
                                                 : "OK";
            return RtspScriptReply::raw(rtspAnswer(status, reason, r.cseq(), lines, body));
        };
    };
    const struct {
        const char* name;
        Script script;
        std::function<void(RtspTestServer&)> afterPlay; // acts once PLAY was answered
        rtspe::error expected;
    } cases[] = {
        {"no RTP after PLAY", replace("PLAY", 200, {"Session: 12345678"}), nullptr, rtspe::error::timeout},
        {"garbage on the connection", normal, [](RtspTestServer& s) { s.push(std::string("\x16\x03\x01\x02\x00", 5)); },
         rtspe::error::protocolViolation},
        {"silent OPTIONS", replace("OPTIONS", 0), nullptr, rtspe::error::timeout},
        {"DESCRIBE 404", replace("DESCRIBE", 404), nullptr, rtspe::error::notFound},
        {"DESCRIBE with a broken SDP", replace("DESCRIBE", 200, {}, "<html>camera busy</html>"), nullptr,
         rtspe::error::protocolViolation},
        {"SETUP without Session", replace("SETUP", 200, {"Transport: RTP/AVP/TCP;unicast;interleaved=0-1"}), nullptr,
         rtspe::error::protocolViolation},
        {"SETUP answered with UDP", replace("SETUP", 200, {"Transport: RTP/AVP;unicast;client_port=5000-5001", "Session: 1"}),
         nullptr, rtspe::error::protocolViolation},
        {"SETUP 461", replace("SETUP", 461), nullptr, rtspe::error::transportRefused},
        {"SETUP 400", replace("SETUP", 400), nullptr, rtspe::error::transportRefused},
        {"DESCRIBE 400", replace("DESCRIBE", 400), nullptr, rtspe::error::requestFailed},
        {"oversized answer", replace("OPTIONS", 200, {"X-Pad: " + std::string(20000, 'x')}), nullptr,
         rtspe::error::messageTooLarge},
        {"connection closed before an answer", replace("DESCRIBE", 1), nullptr, rtspe::error::connectionLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RtspTestServer server(c.script);
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "127.0.0.1";
        info->endpoint = {"127.0.0.1", server.port()};
        Harness h;
        h.client.setTimeouts(std::chrono::milliseconds(1000), std::chrono::milliseconds(300));
        h.start("/axis-media/media.amp", info);
        if (c.afterPlay) {
            ASSERT_TRUE(h.packets(1));
            c.afterPlay(server);
        }
        ASSERT_TRUE(h.completed());
        EXPECT_EQ(h.completions, std::vector<error_code>{make_error_code(c.expected)});
        EXPECT_TRUE(h.runsDry());
    }
}

TEST(RTSPClient, ServerEndingTheStreamIsNotAFailureOnEveryTransport)
{
    const struct {
        const char* name;
        RtspTransport transport;
        bool bye; // else the server closes its connections after the packets
    } cases[] = {
        {"RTCP BYE over TCP", RtspTransport::Tcp, true},
        {"RTCP BYE in the HTTP tunnel", RtspTransport::RtspOverHttp, true},
        {"RTCP BYE over UDP", RtspTransport::Udp, true},
        {"server closes the RTSP connection", RtspTransport::Tcp, false},
        {"server closes the tunnel", RtspTransport::RtspOverHttp, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CameraOptions options;
        options.byeAfterPackets = c.bye;
        Camera camera(options);
        Harness h;
        h.client.setTransport(c.transport);
        h.start(kUrl, camera.info());
        if (!c.bye) {
            ASSERT_TRUE(h.packets(5));
            camera.server.closeConnections();
        }
        ASSERT_TRUE(h.completed());
        EXPECT_EQ(h.completions, std::vector<error_code>{make_error_code(rtspe::error::sessionEndedByServer)});
        EXPECT_TRUE(h.runsDry());
    }
}

TEST(RTSPClient, ErrorsMapToConditionsCallersTest)
{
    EXPECT_EQ(make_error_code(rtspe::error::timeout), boost::system::errc::timed_out);
    EXPECT_EQ(make_error_code(rtspe::error::connectionLost), boost::system::errc::connection_reset);
    EXPECT_EQ(make_error_code(rtspe::error::messageTooLarge), boost::system::errc::protocol_error);
    EXPECT_STREQ(make_error_code(rtspe::error::unauthorized).category().name(), "netkit.rtsp");
}

TEST(RTSPClient, NoTrackAcceptedIsAnErrorNamingTheOfferedMedia)
{
    Camera camera;
    Harness h;
    h.client.setTrackInitializer([](const SdpMedia&, std::size_t) { return std::shared_ptr<RtpTrackSink>(); });
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.completed());
    EXPECT_EQ(h.completions, std::vector<error_code>{make_error_code(rtspe::error::noTracks)});
    EXPECT_EQ(camera.methods(), (Methods{"OPTIONS", "DESCRIBE"}));
    EXPECT_TRUE(loggedError(*h.logger, "offered video H264/90000, audio MPEG4-GENERIC/16000")) << h.logger->all();
}

TEST(RTSPClient, RedirectsAreFollowedAndBounded)
{
    Camera target;
    const std::string location = "rtsp://camera.local:" + std::to_string(target.server.port()) + "/axis-media/media.amp?videocodec=h264";
    RtspTestServer redirecting([&](const RtspTestRequest& r) {
        if (r.method == "DESCRIBE")
            return RtspScriptReply::raw(rtspAnswer(301, "Moved Permanently", r.cseq(), {"Location: " + location}));
        return RtspScriptReply::raw(rtspAnswer(200, "OK", r.cseq(), {"Public: OPTIONS, DESCRIBE"}));
    });
    std::string self;
    RtspTestServer looping([&](const RtspTestRequest& r) {
        return RtspScriptReply::raw(rtspAnswer(302, "Moved Temporarily", r.cseq(), {"Location: " + self}));
    });
    self = "rtsp://camera.local:" + std::to_string(looping.port()) + "/loop";
    {
        Harness h;
        auto info = target.info();
        info->endpoint.port = redirecting.port();
        h.start(kUrl, info);
        ASSERT_TRUE(h.playThenTeardown(5));
        EXPECT_EQ(h.completions, kClean);
        EXPECT_EQ(target.methods(), (Methods{"OPTIONS", "DESCRIBE", "SETUP", "PLAY", "TEARDOWN"}));
        EXPECT_EQ(target.rtspRequests()[1].uri, location);
    }
    Harness h;
    auto info = target.info();
    info->endpoint.port = looping.port();
    h.start("/loop", info);
    ASSERT_TRUE(h.completed());
    EXPECT_EQ(h.completions, std::vector<error_code>{make_error_code(rtspe::error::tooManyRedirects)});
    EXPECT_EQ(looping.connectionCount(), 4u); // the first connection and three redirects
    EXPECT_TRUE(h.runsDry());
}

TEST(RTSPClient, KeepAliveUsesGetParameterOnlyWhenOffered)
{
    for (const bool offered : {true, false}) {
        SCOPED_TRACE(offered);
        CameraOptions options;
        options.getParameter = offered;
        options.timeout = "2"; // keep-alive after half of it
        Camera camera(options);
        Harness h;
        h.client.setTimeouts(std::chrono::seconds(10), std::chrono::seconds(60));
        h.start(kUrl, camera.info());
        ASSERT_TRUE(h.runUntil([&] { return camera.rtspRequests().size() >= 5; }));
        h.client.teardown();
        ASSERT_TRUE(h.completed());
        auto requests = camera.rtspRequests();
        ASSERT_GE(requests.size(), 6u);
        EXPECT_EQ(requests[4].method, offered ? "GET_PARAMETER" : "OPTIONS");
        EXPECT_EQ(requests[4].header("Session"), kSessionId);
        EXPECT_EQ(requests.back().method, "TEARDOWN");
        EXPECT_EQ(h.completions, kClean);
        EXPECT_GE(h.client.statistics().keepAlives, 1u);
    }
}

TEST(RTSPClient, SecondStartWhileRunningIsRefused)
{
    Camera camera;
    Harness h;
    h.start(kUrl, camera.info());
    std::vector<error_code> second;
    h.client.start(kUrl, camera.info(), [&](const error_code& ec) { second.push_back(ec); });
    ASSERT_TRUE(h.runUntil([&] { return !second.empty(); }));
    EXPECT_EQ(second, std::vector<error_code>{make_error_code(rtspe::error::alreadyStarted)});
    ASSERT_TRUE(h.playThenTeardown(5));
    EXPECT_EQ(h.completions, kClean);
    // A new session once the first has completed.
    h.sink->sequences.clear();
    h.completions.clear();
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.playThenTeardown(5));
    EXPECT_EQ(h.completions, kClean);
    EXPECT_EQ(camera.server.connectionCount(), 2u);
    EXPECT_EQ(second.size(), 1u);
}

TEST(RTSPClient, PauseAndPlayWithRange)
{
    Camera camera;
    Harness h;
    h.start(kUrl, camera.info());
    ASSERT_TRUE(h.packets(5));
    std::vector<std::pair<error_code, std::string>> answers;
    const auto record = [&](const error_code& ec, const std::string& range) { answers.emplace_back(ec, range); };
    h.client.pause(record);
    h.client.play("clock=20240621T071725Z-", record);
    ASSERT_TRUE(h.runUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers[0].first, error_code{});
    EXPECT_EQ(answers[1], std::make_pair(error_code{}, std::string("npt=now-")));
    auto requests = camera.rtspRequests();
    ASSERT_EQ(methodsOf(requests), (Methods{"OPTIONS", "DESCRIBE", "SETUP", "PLAY", "PAUSE", "PLAY"}));
    EXPECT_EQ(requests[5].header("Range"), "clock=20240621T071725Z-");
    EXPECT_EQ(requests[4].header("Session"), kSessionId);
    h.client.teardown();
    ASSERT_TRUE(h.completed());
    answers.clear();
    h.client.pause(record);
    ASSERT_TRUE(h.runUntil([&] { return !answers.empty(); }));
    EXPECT_EQ(answers[0].first, make_error_code(rtspe::error::notPlaying));
}

TEST(RTSPClient, DestroyingAPlayingClientSendsTeardownWithoutCompletion)
{
    Camera camera;
    boost::asio::io_context io;
    int completions = 0;
    auto sink = std::make_shared<CountingSink>();
    auto logger = std::make_shared<CapturingLogger>(0);
    {
        RTSPClient client(io, logger);
        client.setTrackInitializer([sink](const SdpMedia& m, std::size_t) { return videoOnly(sink, m); });
        client.start(kUrl, camera.info(), [&](const error_code&) { ++completions; });
        ASSERT_TRUE(runUntil(io, [&] { return sink->sequences.size() >= 5; }));
    }
    EXPECT_TRUE(runsDry(io));
    EXPECT_EQ(completions, 0);
    EXPECT_TRUE(camera.server.waitForMethod("TEARDOWN"));
    EXPECT_TRUE(camera.server.waitForDisconnect());
    if (HasFailure())
        std::cerr << logger->all();
}

TEST(RTSPClient, AbandonedSessionIsFreedWithItsIoContext)
{
    // The host stops the device's thread while an abandoned session still
    // waits for its TEARDOWN answer: destroying the io_context must free the
    // session and close its connection, not leave it holding itself.
    CameraOptions options;
    options.teardownSilent = true;
    Camera camera(options);
    {
        boost::asio::io_context io;
        auto sink = std::make_shared<CountingSink>();
        {
            RTSPClient client(io, std::make_shared<CapturingLogger>(0));
            client.setTrackInitializer([sink](const SdpMedia& m, std::size_t) { return videoOnly(sink, m); });
            client.start(kUrl, camera.info(), [](const error_code&) {});
            ASSERT_TRUE(runUntil(io, [&] { return sink->sequences.size() >= 5; }));
        }
        ASSERT_TRUE(runUntil(io, [&] {
            const auto seen = camera.methods();
            return !seen.empty() && seen.back() == "TEARDOWN";
        }));
    }
    EXPECT_TRUE(camera.server.waitForDisconnect());
}

// camsim's RTSP server over loopback sockets, with a small clip of its own:
// the request/answer dialogue of a session, media over interleaved TCP,
// UDP, multicast on lo and the HTTP tunnel, the answers for what a camera
// refuses, and the faults on /axis-media/media.amp.
#include "RequestLog.h"
#include "Simulator.h"

#include <boost/beast/core/detail/base64.hpp>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <json/value.h>
#include <regex>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The parameter sets of a captured Axis H.264 stream, a key frame big
// enough for FU-A and four small P slices.
const std::string kSps("\x67\x4d\x00\x29\xe2\x90\x58\x9d\x80\xb7\x01\x01\x01\xa4\x1e\x24\x45\x40", 18);
const std::string kPps("\x68\xee\x3c\x80", 4);

std::string clipBytes()
{
    const std::string start("\x00\x00\x00\x01", 4);
    std::string s = start + kSps + start + kPps + start + "\x65\x88" + std::string(3000, '\x5a');
    for (int i = 0; i < 4; ++i)
        s += start + "\x41\x9a" + std::string(500, static_cast<char>(i + 1));
    return s;
}

struct MediaDir {
    fs::path path;
    MediaDir()
    {
        char name[] = "/tmp/camsim-rtsp-media-XXXXXX";
        path = mkdtemp(name);
        std::ofstream(path / "h264-640x360.264", std::ios::binary) << clipBytes();
    }
    ~MediaDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::unique_ptr<Camsim::Simulator> startCamera(const MediaDir& media, Camsim::AuthMode auth = Camsim::AuthMode::None,
                                              std::vector<std::pair<std::string, Camsim::FaultSpec>> faults = {})
{
    Camsim::SimulatorConfig c;
    c.dataDir = CAMSIM_DATA_DIR;
    c.mediaDir = media.path.string();
    c.auth = auth;
    c.faults = std::move(faults);
    auto sim = std::make_unique<Camsim::Simulator>(c);
    std::string error;
    EXPECT_TRUE(sim->start(error)) << error;
    return sim;
}

Camsim::FaultSpec fault(const std::string& text)
{
    std::string error;
    return *Camsim::parseFaultSpec(text, error);
}

// A blocking loopback TCP client; every read gives up after 10 s, so a
// silent server fails the test instead of hanging it.
class Client {
public:
    explicit Client(unsigned short port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect failed");
        timeval tv{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Client() { ::close(fd_); }

    void send(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }

    // False at end of stream or time-out.
    bool fill(std::size_t atLeast)
    {
        while (buffer_.size() < atLeast) {
            char b[65536];
            const ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n <= 0)
                return false;
            buffer_.append(b, static_cast<std::size_t>(n));
        }
        return true;
    }

    // The next RTSP answer (head and body), skipping interleaved frames.
    std::string answer()
    {
        for (;;) {
            if (!fill(1))
                return {};
            if (buffer_[0] == '$') {
                std::uint8_t ch;
                std::string data;
                if (!frame(ch, data))
                    return {};
                continue;
            }
            std::size_t end;
            while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
                if (!fill(buffer_.size() + 1))
                    return {};
            }
            std::size_t length = 0;
            std::smatch m;
            const std::string head = buffer_.substr(0, end + 4);
            if (std::regex_search(head, m, std::regex("Content-Length: (\\d+)")))
                length = std::stoul(m[1]);
            if (!fill(end + 4 + length))
                return {};
            std::string a = buffer_.substr(0, end + 4 + length);
            buffer_.erase(0, a.size());
            return a;
        }
    }

    // The next interleaved frame; false at the end or on bytes that are not one.
    bool frame(std::uint8_t& channel, std::string& data)
    {
        if (!fill(4) || buffer_[0] != '$')
            return false;
        const std::size_t length = (static_cast<unsigned char>(buffer_[2]) << 8) | static_cast<unsigned char>(buffer_[3]);
        if (!fill(4 + length))
            return false;
        channel = static_cast<std::uint8_t>(buffer_[1]);
        data = buffer_.substr(4, length);
        buffer_.erase(0, 4 + length);
        return true;
    }

    // Reads until the server closes; false on a time-out.
    bool readToEnd()
    {
        for (;;) {
            char b[65536];
            const ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n == 0)
                return true;
            if (n < 0)
                return false;
            buffer_.append(b, static_cast<std::size_t>(n));
        }
    }

    std::string& buffer() { return buffer_; }

private:
    int fd_ = -1;
    std::string buffer_;
};

std::string request(const std::string& method, const std::string& url, int cseq, const std::string& extra = {})
{
    return method + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\nUser-Agent: camsim-test\r\n" +
           extra + "\r\n";
}

std::string field(const std::string& answer, const std::string& name)
{
    std::smatch m;
    if (std::regex_search(answer, m, std::regex(name + ": ([^\r]*)\r\n")))
        return m[1];
    return {};
}

int status(const std::string& answer) { return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0; }

unsigned be16(const std::string& s, std::size_t at)
{
    return (static_cast<unsigned char>(s[at]) << 8) | static_cast<unsigned char>(s[at + 1]);
}

std::uint32_t be32(const std::string& s, std::size_t at) { return (be16(s, at) << 16) | be16(s, at + 2); }

std::string base(unsigned short port) { return "rtsp://127.0.0.1:" + std::to_string(port) + "/axis-media/media.amp"; }

// SETUP of the video track with the given Transport, then PLAY; the SETUP answer.
std::string setupAndPlay(Client& c, unsigned short port, const std::string& transport)
{
    c.send(request("SETUP", base(port) + "/stream=0", 1, "Transport: " + transport + "\r\n"));
    const std::string setup = c.answer();
    EXPECT_EQ(status(setup), 200) << setup;
    c.send(request("PLAY", base(port), 2, "Session: " + field(setup, "Session").substr(0, 16) + "\r\n"));
    EXPECT_EQ(status(c.answer()), 200);
    return setup;
}

std::vector<std::string> loggedMethods(Camsim::Simulator& sim)
{
    std::vector<std::string> out;
    for (const auto& r : sim.requestLog().toJson())
        out.push_back(r["method"].asString() + " " + std::to_string(r["status"].asInt()));
    return out;
}

} // namespace

TEST(RtspServer, InterleavedSessionFromOptionsToTeardown)
{
    MediaDir media;
    auto sim = startCamera(media, Camsim::AuthMode::DigestMd5);
    const unsigned short port = *sim->rtspPort();
    const std::string url = base(port) + "?videocodec=h264&resolution=640x360";
    Client c(port);

    c.send(request("OPTIONS", url, 1));
    const std::string options = c.answer();
    EXPECT_EQ(status(options), 200);
    EXPECT_EQ(field(options, "Public"),
              "OPTIONS, DESCRIBE, ANNOUNCE, GET_PARAMETER, PAUSE, PLAY, RECORD, SETUP, SET_PARAMETER, TEARDOWN");

    c.send(request("DESCRIBE", url, 2, "Accept: application/sdp\r\n"));
    const std::string refused = c.answer();
    EXPECT_EQ(status(refused), 401);
    EXPECT_TRUE(std::regex_search(refused, std::regex("WWW-Authenticate: Digest realm=\"AXIS_[0-9A-F]{12}\", "
                                                      "nonce=\"[0-9a-f]{8}Y[0-9a-f]{38}\", stale=FALSE\r\n"
                                                      "WWW-Authenticate: Basic realm=\"AXIS_[0-9A-F]{12}\"\r\n")))
        << refused;

    const std::string auth = "Authorization: Basic cm9vdDpwYXNz\r\n"; // root:pass
    c.send(request("DESCRIBE", url, 3, auth + "Accept: application/sdp\r\n"));
    const std::string describe = c.answer();
    ASSERT_EQ(status(describe), 200) << describe;
    EXPECT_EQ(field(describe, "Content-Type"), "application/sdp");
    EXPECT_EQ(field(describe, "Content-Base"), base(port) + "/");
    EXPECT_NE(describe.find("a=fmtp:96 packetization-mode=1;profile-level-id=4d0029;"
                            "sprop-parameter-sets=Z00AKeKQWJ2AtwEBAaQeJEVA,aO48gA==\r\n"),
              std::string::npos)
        << describe;
    const std::string control = base(port) + "/stream=0?videocodec=h264&resolution=640x360";
    EXPECT_NE(describe.find("a=control:" + control + "\r\n"), std::string::npos);

    c.send(request("SETUP", control, 4, auth + "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"));
    const std::string setup = c.answer();
    ASSERT_EQ(status(setup), 200) << setup;
    std::smatch m;
    const std::string transport = field(setup, "Transport");
    ASSERT_TRUE(std::regex_match(transport, m,
                                 std::regex("RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=([0-9A-F]{8});mode=\"PLAY\"")))
        << transport;
    const std::uint32_t ssrc = static_cast<std::uint32_t>(std::stoul(m[1], nullptr, 16));
    const std::string session = field(setup, "Session");
    ASSERT_TRUE(std::regex_match(session, std::regex("[A-Za-z0-9]{16};timeout=60"))) << session;
    const std::string id = session.substr(0, 16);

    c.send(request("PLAY", url, 5, auth + "Session: " + id + "\r\n"));
    const std::string play = c.answer();
    ASSERT_EQ(status(play), 200) << play;
    EXPECT_EQ(field(play, "Range"), "npt=now-");
    const std::string rtpInfo = field(play, "RTP-Info");
    ASSERT_TRUE(std::regex_match(rtpInfo, m,
                                 std::regex("url=" + std::regex_replace(control, std::regex("[.?]"), "\\$&") +
                                            ";seq=(\\d+);rtptime=(\\d+)")))
        << rtpInfo;
    const unsigned firstSeq = static_cast<unsigned>(std::stoul(m[1]));
    const std::uint32_t firstTs = static_cast<std::uint32_t>(std::stoul(m[2]));

    // The key frame: SPS, PPS, then the IDR in FU-A pieces, marker on the last,
    // then P slices; a sender report comes along on channel 1.
    std::vector<std::string> rtp;
    bool report = false;
    while (rtp.size() < 8 || !report) {
        std::uint8_t channel;
        std::string data;
        ASSERT_TRUE(c.frame(channel, data));
        if (channel == 0) {
            rtp.push_back(data);
        } else {
            ASSERT_EQ(channel, 1);
            ASSERT_GE(data.size(), 28u);
            EXPECT_EQ(static_cast<unsigned char>(data[1]), 200); // SR
            EXPECT_EQ(be32(data, 4), ssrc);
            report = true;
        }
    }
    EXPECT_EQ(be16(rtp[0], 2), firstSeq);
    EXPECT_EQ(be32(rtp[0], 4), firstTs);
    const struct {
        const char* head; // payload start
        bool marker;
    } expected[] = {{"\x67\x4d", false}, {"\x68\xee", false}, {"\x7c\x85", false},
                    {"\x7c\x05", false}, {"\x7c\x45", true},  {"\x41\x9a", true}};
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE("packet " + std::to_string(i));
        EXPECT_EQ(static_cast<unsigned char>(rtp[i][0]), 0x80);
        EXPECT_EQ(static_cast<unsigned char>(rtp[i][1]), (expected[i].marker ? 0x80 : 0) | 96);
        EXPECT_EQ(be16(rtp[i], 2), (firstSeq + i) & 0xffff);
        EXPECT_EQ(be32(rtp[i], 8), ssrc);
        EXPECT_EQ(rtp[i].substr(12, 2), expected[i].head);
        // One time stamp per picture: 90 kHz / 25 fps = 3600 apart.
        EXPECT_EQ(be32(rtp[i], 4), firstTs + (i < 5 ? 0u : 3600u));
    }

    c.send(request("GET_PARAMETER", url, 6, auth + "Session: " + id + "\r\n"));
    const std::string keepAlive = c.answer();
    EXPECT_EQ(status(keepAlive), 200);
    EXPECT_EQ(field(keepAlive, "Session"), session);
    c.send(request("GET_PARAMETER", url, 7, auth + "Session: Bk48Ak7wjcWaAgRD\r\n"));
    EXPECT_EQ(status(c.answer()), 454);

    c.send(request("TEARDOWN", url, 8, auth + "Session: " + id + "\r\n"));
    const std::string teardown = c.answer();
    EXPECT_EQ(status(teardown), 200);
    EXPECT_EQ(field(teardown, "CSeq"), "8");
    EXPECT_TRUE(c.readToEnd());

    EXPECT_EQ(loggedMethods(*sim), (std::vector<std::string>{"OPTIONS 200", "DESCRIBE 401", "DESCRIBE 200", "SETUP 200",
                                                             "PLAY 200", "GET_PARAMETER 200", "GET_PARAMETER 454",
                                                             "TEARDOWN 200"}));
}

TEST(RtspServer, WhatTheCameraRefuses)
{
    MediaDir media;
    auto sim = startCamera(media);
    const unsigned short port = *sim->rtspPort();
    const struct {
        const char* name;
        std::string request;
        int status;
    } cases[] = {
        {"no such camera", request("DESCRIBE", base(port) + "?camera=3", 1), 404},
        {"no such profile", request("DESCRIBE", base(port) + "?streamprofile=Night", 1), 404},
        {"codec the model lacks", request("DESCRIBE", base(port) + "?videocodec=h265", 1), 400},
        {"no clip for the codec", request("DESCRIBE", base(port) + "?videocodec=jpeg", 1), 503},
        {"other path", request("DESCRIBE", "rtsp://127.0.0.1/mpeg4/media.amp", 1), 404},
        {"no such track", request("SETUP", base(port) + "/stream=1", 1, "Transport: RTP/AVP/TCP;interleaved=2-3\r\n"), 404},
        {"UDP without ports", request("SETUP", base(port) + "/stream=0", 1, "Transport: RTP/AVP;unicast\r\n"), 461},
        {"secure profile", request("SETUP", base(port) + "/stream=0", 1, "Transport: RTP/SAVP;unicast;client_port=4-5\r\n"), 461},
        {"PLAY without a session", request("PLAY", base(port), 1), 454},
        {"unknown session", request("PLAY", base(port), 1, "Session: ZyHdf8Mn.$epq_8Z\r\n"), 454},
        {"ANNOUNCE", request("ANNOUNCE", base(port), 1), 405},
        {"unknown method", request("REDIRECT", base(port), 1), 501},
        {"no CSeq", "OPTIONS * RTSP/1.0\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(port);
        client.send(c.request);
        EXPECT_EQ(status(client.answer()), c.status);
    }
}

TEST(RtspServer, BytesThatAreNotRtspGet400AndTheConnectionCloses)
{
    MediaDir media;
    auto sim = startCamera(media);
    Client c(*sim->rtspPort());
    c.send(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11));
    ASSERT_TRUE(c.readToEnd());
    EXPECT_EQ(c.buffer().substr(0, 25), "RTSP/1.0 400 Bad Request\r");
}

TEST(RtspServer, UdpSessionEndsAndTheNextKeepAliveGets454)
{
    MediaDir media;
    auto sim = startCamera(media, Camsim::AuthMode::None, {{"/axis-media/media.amp", fault("end:1,count:1")}});
    const unsigned short port = *sim->rtspPort();
    // The client's RTP and RTCP sockets.
    int sockets[2];
    unsigned short ports[2];
    for (int i = 0; i < 2; ++i) {
        sockets[i] = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(sockets[i], reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        getsockname(sockets[i], reinterpret_cast<sockaddr*>(&a), &len);
        ports[i] = ntohs(a.sin_port);
        timeval tv{10, 0};
        setsockopt(sockets[i], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    Client c(port);
    const std::string clientPort = std::to_string(ports[0]) + "-" + std::to_string(ports[1]);
    const std::string setup = setupAndPlay(c, port, "RTP/AVP;unicast;client_port=" + clientPort);
    EXPECT_TRUE(std::regex_match(field(setup, "Transport"),
                                 std::regex("RTP/AVP;unicast;client_port=" + clientPort +
                                            ";server_port=\\d+-\\d+;ssrc=[0-9A-F]{8};mode=\"PLAY\"")))
        << field(setup, "Transport");
    const std::string id = field(setup, "Session").substr(0, 16);

    char packet[2048];
    const ssize_t n = ::recv(sockets[0], packet, sizeof packet, 0);
    ASSERT_GT(n, 12);
    EXPECT_EQ(static_cast<unsigned char>(packet[0]), 0x80);
    EXPECT_EQ(std::string(packet + 12, 2), "\x67\x4d");
    const ssize_t r = ::recv(sockets[1], packet, sizeof packet, 0);
    ASSERT_GT(r, 28);
    EXPECT_EQ(static_cast<unsigned char>(packet[1]), 200);

    // After a second of play the session is gone: keep-alives get 454 from then on.
    int answer = 200;
    for (int i = 0; i < 200 && answer == 200; ++i) {
        c.send(request("GET_PARAMETER", base(port), 10 + i, "Session: " + id + "\r\n"));
        answer = status(c.answer());
        if (answer == 200)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(answer, 454);
    for (int s : sockets)
        ::close(s);
    const auto log = sim->requestLog().toJson();
    EXPECT_EQ(log[0u]["fault"].asString(), "end:1");
}

TEST(RtspServer, MulticastReachesAMemberOnLoopback)
{
    MediaDir media;
    auto sim = startCamera(media);
    const unsigned short port = *sim->rtspPort();
    Client c(port);
    // The clip repeats, so joining after PLAY still sees packets.
    const std::string setup = setupAndPlay(c, port, "RTP/AVP;multicast");
    std::smatch m;
    const std::string transport = field(setup, "Transport");
    ASSERT_TRUE(std::regex_match(transport, m,
                                 std::regex("RTP/AVP;multicast;destination=(239\\.255\\.\\d+\\.\\d+);port=(\\d+)-\\d+;"
                                            "ttl=5;ssrc=[0-9A-F]{8};mode=\"PLAY\"")))
        << transport;
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<unsigned short>(std::stoul(m[2])));
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ip_mreq join{};
    inet_pton(AF_INET, m[1].str().c_str(), &join.imr_multiaddr);
    inet_pton(AF_INET, "127.0.0.1", &join.imr_interface);
    ASSERT_EQ(setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join), 0);
    timeval tv{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

    char packet[2048];
    const ssize_t n = ::recv(s, packet, sizeof packet, 0);
    ::close(s);
    ASSERT_GT(n, 12);
    EXPECT_EQ(static_cast<unsigned char>(packet[1]) & 0x7f, 96);
}

TEST(RtspServer, TunnelCarriesBase64RequestsAndInterleavedMedia)
{
    MediaDir media;
    auto sim = startCamera(media);
    const std::string url = "rtsp://127.0.0.1:" + std::to_string(sim->httpPort()) + "/axis-media/media.amp";
    Client get(sim->httpPort());
    get.send("GET /axis-media/media.amp HTTP/1.0\r\nx-sessioncookie: 3c9f1a2b77d84e5f\r\n"
             "Accept: application/x-rtsp-tunnelled\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n\r\n");
    ASSERT_TRUE(get.fill(1));
    std::size_t end;
    while ((end = get.buffer().find("\r\n\r\n")) == std::string::npos)
        ASSERT_TRUE(get.fill(get.buffer().size() + 1));
    const std::string head = get.buffer().substr(0, end + 4);
    get.buffer().erase(0, end + 4);
    EXPECT_EQ(head.substr(0, 17), "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(field(head, "Content-Type"), "application/x-rtsp-tunnelled");
    EXPECT_EQ(head.find("Content-Length"), std::string::npos);

    Client post(sim->httpPort());
    auto encode = [](const std::string& plain) {
        std::string out(boost::beast::detail::base64::encoded_size(plain.size()), '\0');
        out.resize(boost::beast::detail::base64::encode(&out[0], plain.data(), plain.size()));
        return out;
    };
    post.send("POST /axis-media/media.amp HTTP/1.0\r\nx-sessioncookie: 3c9f1a2b77d84e5f\r\n"
              "Content-Type: application/x-rtsp-tunnelled\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
              "Content-Length: 32767\r\nExpires: Sun, 9 Jan 1972 00:00:00 GMT\r\n\r\n" +
              encode(request("DESCRIBE", url, 1)));
    const std::string describe = get.answer();
    ASSERT_EQ(status(describe), 200) << describe;
    EXPECT_EQ(field(describe, "CSeq"), "1");

    // SETUP split in the middle of a base64 quantum.
    const std::string setup = encode(request("SETUP", url + "/stream=0", 2, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"));
    post.send(setup.substr(0, 13));
    post.send(setup.substr(13));
    const std::string setupAnswer = get.answer();
    ASSERT_EQ(status(setupAnswer), 200) << setupAnswer;
    post.send(encode(request("PLAY", url, 3, "Session: " + field(setupAnswer, "Session").substr(0, 16) + "\r\n")));
    ASSERT_EQ(status(get.answer()), 200);
    std::uint8_t channel;
    std::string data;
    ASSERT_TRUE(get.frame(channel, data));
    EXPECT_EQ(channel, 0);
    EXPECT_EQ(data.substr(12, 2), "\x67\x4d");

    const auto log = loggedMethods(*sim);
    EXPECT_EQ(log, (std::vector<std::string>{"GET 200", "POST 0", "DESCRIBE 200", "SETUP 200", "PLAY 200"}));
}

TEST(RtspServer, TunnelLegsNeedHttpAuthenticationAndAKnownCookie)
{
    MediaDir media;
    auto sim = startCamera(media, Camsim::AuthMode::Basic);
    const struct {
        const char* name;
        std::string head;
        int status;
    } cases[] = {
        {"GET without credentials",
         "GET /axis-media/media.amp HTTP/1.1\r\nHost: x\r\nx-sessioncookie: a1\r\nAccept: application/x-rtsp-tunnelled\r\n\r\n", 401},
        {"POST for no GET",
         "POST /axis-media/media.amp HTTP/1.0\r\nx-sessioncookie: b2\r\nAuthorization: Basic cm9vdDpwYXNz\r\n"
         "Content-Type: application/x-rtsp-tunnelled\r\nContent-Length: 32767\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(sim->httpPort());
        client.send(c.head);
        ASSERT_TRUE(client.readToEnd());
        EXPECT_EQ(client.buffer().substr(9, 3), std::to_string(c.status));
    }
}

TEST(RtspServer, FaultsOnTheMediaPath)
{
    MediaDir media;
    auto sim = startCamera(media);
    const unsigned short port = *sim->rtspPort();

    // status: DESCRIBE answered with it, once.
    sim->faults().set("/axis-media/media.amp", fault("status:503,count:1"));
    {
        Client c(port);
        c.send(request("DESCRIBE", base(port), 1));
        EXPECT_EQ(status(c.answer()), 503);
        c.send(request("DESCRIBE", base(port), 2));
        EXPECT_EQ(status(c.answer()), 200);
    }
    // refuse: closed at accept, nothing written.
    sim->faults().set("/axis-media/media.amp", fault("refuse,count:1"));
    {
        Client c(port);
        EXPECT_FALSE(c.fill(1)); // the end of the stream, or a reset
        EXPECT_EQ(c.buffer(), "");
    }
    // end over TCP: the connection closes after some play time.
    sim->faults().set("/axis-media/media.amp", fault("end:1,count:1"));
    {
        Client c(port);
        setupAndPlay(c, port, "RTP/AVP/TCP;unicast;interleaved=0-1");
        EXPECT_TRUE(c.readToEnd());
        EXPECT_EQ(c.buffer()[0], '$');
    }
    // garbage: after media, bytes that are neither "$" nor RTSP.
    sim->faults().set("/axis-media/media.amp", fault("garbage,count:1"));
    {
        Client c(port);
        setupAndPlay(c, port, "RTP/AVP/TCP;unicast;interleaved=0-1");
        std::uint8_t channel;
        std::string data;
        int frames = 0;
        while (c.frame(channel, data))
            ++frames;
        EXPECT_GT(frames, 0);
        ASSERT_TRUE(c.fill(5));
        EXPECT_EQ(c.buffer().substr(0, 5), std::string("\x17\x03\x03\x00\x40", 5));
    }
    std::vector<std::string> faults;
    for (const auto& r : sim->requestLog().toJson())
        faults.push_back(r["method"].asString() + " " + r["fault"].asString());
    EXPECT_EQ(faults, (std::vector<std::string>{"DESCRIBE status:503", "DESCRIBE ", "SETUP end:1", "PLAY end:1",
                                                "SETUP garbage", "PLAY garbage"}));
}

#include <netkit/rtsp/RtspStreamReader.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace Orix::Utility::rtsp;

namespace {

// DESCRIBE answer of an Axis camera with GStreamer-based firmware (2015),
// byte for byte as captured; Content-Length 623 is the capture's own.
const std::string kDescribeAnswer =
    "RTSP/1.0 200 OK\r\n"
    "CSeq: 3\r\n"
    "Content-Type: application/sdp\r\n"
    "Content-Base: rtsp://192.168.0.3/axis-media/media.amp/\r\n"
    "Server: GStreamer RTSP server\r\n"
    "Date: Wed, 03 Jun 2015 14:23:42 GMT\r\n"
    "Content-Length: 623\r\n"
    "\r\n"
    "v=0\r\n"
    "o=- 1188340656180883 1 IN IP4 192.168.0.3\r\n"
    "s=Session streamed with GStreamer\r\n"
    "i=rtsp-server\r\n"
    "t=0 0\r\n"
    "a=tool:GStreamer\r\n"
    "a=type:broadcast\r\n"
    "a=range:npt=now-\r\n"
    "a=control:rtsp://192.168.0.3/axis-media/media.amp?resolution=176x144&fps=1\r\n"
    "m=video 0 RTP/AVP 96\r\n"
    "c=IN IP4 0.0.0.0\r\n"
    "b=AS:50000\r\n"
    "a=rtpmap:96 H264/90000\r\n"
    "a=fmtp:96 packetization-mode=1;profile-level-id=4d0029;sprop-parameter-sets=Z00AKeKQWJ2AtwEBAaQeJEVA,aO48gA==\r\n"
    "a=control:rtsp://192.168.0.3/axis-media/media.amp/stream=0?resolution=176x144&fps=1\r\n"
    "a=framerate:1.000000\r\n"
    "a=transform:0.916667,0.000000,0.000000;0.000000,1.000000,0.000000;0.000000,0.000000,1.000000\r\n";

// 401 of a 2020 Axis camera: Digest without qop, then Basic.
const std::string kUnauthorized =
    "RTSP/1.0 401 Unauthorized\r\n"
    "CSeq: 2\r\n"
    "WWW-Authenticate: Digest realm=\"AXIS_ACCC8E0CBE87\", nonce=\"01f82f1eY2828699f525c781da2d528b24cd9b5f249fbb\", stale=FALSE\r\n"
    "WWW-Authenticate: Basic realm=\"AXIS_ACCC8E0CBE87\"\r\n"
    "Server: GStreamer RTSP server\r\n"
    "Date: Fri, 08 May 2020 01:54:32 GMT\r\n"
    "\r\n";

// PLAY answer (2015) followed by two RTP packets on channel 0 and an RTCP
// sender report on channel 1.
const std::string kPlayAnswer =
    "RTSP/1.0 200 OK\r\n"
    "CSeq: 5\r\n"
    "RTP-Info: url=rtsp://192.168.0.3/axis-media/media.amp/stream=0?resolution=176x144&fps=1;seq=10176;rtptime=2419713327\r\n"
    "Range: npt=now-\r\n"
    "Server: GStreamer RTSP server\r\n"
    "Session: Bk48Ak7wjcWaAgRD; timeout=120\r\n"
    "Date: Wed, 03 Jun 2015 14:23:42 GMT\r\n"
    "\r\n";
const std::string kRtp1("$\x00\x00\x0e\x80\x60\x27\xc0\x90\x39\x2a\x2f\x31\x54\x60\xda\x67\x42", 18);
const std::string kRtp2("$\x00\x00\x0d\x80\xe0\x27\xc1\x90\x39\x2a\x2f\x31\x54\x60\xda\x68", 17);
const std::string kSenderReport("$\x01\x00\x1c\x80\xc8\x00\x06\x31\x54\x60\xda\xe2\x7a\x4b\x2e\x8a\x3d\x70\xa3\x90\x39\x2a\x2f\x00\x00\x00\x02\x00\x00\x00\x1b",
                                32);

struct Item {
    bool frame = false;
    unsigned status = 0;
    std::string cseq, body;
    int channel = -1;
    std::string payload;
    bool operator==(const Item& o) const
    {
        return std::tie(frame, status, cseq, body, channel, payload) ==
               std::tie(o.frame, o.status, o.cseq, o.body, o.channel, o.payload);
    }
};

struct Collector : RtspStreamReader::Visitor {
    std::vector<Item> items;
    std::vector<RtspMessage> messages;
    bool onMessage(RtspMessage&& m) override
    {
        items.push_back({false, m.status, m.find("CSeq") ? *m.find("CSeq") : "", m.body, -1, ""});
        messages.push_back(std::move(m));
        return true;
    }
    bool onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override
    {
        items.push_back({true, 0, "", "", channel, std::string(reinterpret_cast<const char*>(data), size)});
        return true;
    }
};

// Feeds the input in pieces cut at the given offsets; every feed succeeds.
Collector feed(const std::string& input, std::vector<std::size_t> cuts = {})
{
    RtspStreamReader reader;
    Collector c;
    cuts.push_back(input.size());
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        EXPECT_FALSE(reader.feed(input.data() + from, cut - from, c));
        from = cut;
    }
    EXPECT_TRUE(reader.idle());
    return c;
}

const std::string kSession = kUnauthorized + kDescribeAnswer + kPlayAnswer + kRtp1 + kSenderReport + kRtp2;

} // namespace

TEST(RtspStreamReader, ReadsACapturedSessionWithInterleavedMedia)
{
    const Collector c = feed(kSession);
    const auto& items = c.items;
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].status, 401u);
    EXPECT_EQ(items[0].cseq, "2");
    EXPECT_EQ(items[1].status, 200u);
    EXPECT_EQ(items[1].body.size(), 623u);
    EXPECT_EQ(items[1].body.substr(0, 5), "v=0\r\n");
    EXPECT_EQ(items[2].cseq, "5");
    EXPECT_TRUE(items[3].frame);
    EXPECT_EQ(items[3].channel, 0);
    EXPECT_EQ(items[3].payload.size(), 14u);
    EXPECT_EQ(items[4].channel, 1);
    EXPECT_EQ(items[4].payload.size(), 28u);
    EXPECT_EQ(items[5].payload.size(), 13u);
    // Repeated headers keep their order.
    const auto challenges = c.messages[0].findAll("www-authenticate");
    ASSERT_EQ(challenges.size(), 2u);
    EXPECT_EQ(challenges[0].substr(0, 6), "Digest");
    EXPECT_EQ(challenges[1], "Basic realm=\"AXIS_ACCC8E0CBE87\"");
    EXPECT_EQ(c.messages[0].reason, "Unauthorized");
    EXPECT_EQ(c.messages[0].protocol, "RTSP/1.0");
}

TEST(RtspStreamReader, SameItemsAtEverySplit)
{
    const auto expected = feed(kSession).items;
    for (std::size_t a = 0; a <= kSession.size(); ++a)
        ASSERT_EQ(feed(kSession, {a}).items, expected) << "split at " << a;
    // Frames and the PLAY answer around them, cut in three everywhere.
    const std::string tail = kPlayAnswer + kRtp1 + kSenderReport + kRtp2;
    const auto expectedTail = feed(tail).items;
    for (std::size_t a = 0; a <= tail.size(); ++a)
        for (std::size_t b = a; b <= tail.size(); ++b)
            ASSERT_EQ(feed(tail, {a, b}).items, expectedTail) << "splits at " << a << ", " << b;
}

TEST(RtspStreamReader, ToleratesFoldingBareLineFeedsAndStrayLineEnds)
{
    const struct {
        const char* name;
        std::string input, header, value;
    } cases[] = {
        {"folded header", "RTSP/1.0 200 OK\r\nCSeq: 7\r\nPublic: OPTIONS, DESCRIBE,\r\n  SETUP, TEARDOWN\r\n\r\n", "Public",
         "OPTIONS, DESCRIBE, SETUP, TEARDOWN"},
        {"value on the folded line only", "RTSP/1.0 200 OK\r\nCSeq: 7\r\nWWW-Authenticate:\r\n Basic realm=\"AXIS_ACCC8E012345\"\r\n\r\n",
         "WWW-Authenticate", "Basic realm=\"AXIS_ACCC8E012345\""},
        {"bare LF", "RTSP/1.0 200 OK\nCSeq: 7\nSession: ZyHdf8Mn.$epq_8Z; timeout=60\n\n", "Session", "ZyHdf8Mn.$epq_8Z; timeout=60"},
        {"CRLF before the answer", "\r\n\r\nRTSP/1.0 200 OK\r\nCSeq: 7\r\n\r\n", "CSeq", "7"},
        {"stray space line after a header", "RTSP/1.0 200 OK\r\nCSeq: 7\r\nServer: GStreamer RTSP server\r\n \r\n\r\n", "Server",
         "GStreamer RTSP server"},
        {"empty reason", "RTSP/1.0 200\r\nCSeq: 7\r\n\r\n", "CSeq", "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto messages = feed(c.input).messages;
        ASSERT_EQ(messages.size(), 1u);
        ASSERT_NE(messages[0].find(c.header), nullptr);
        EXPECT_EQ(*messages[0].find(c.header), c.value);
        EXPECT_EQ(messages[0].status, 200u);
    }
}

TEST(RtspStreamReader, ServerRequestIsReadAsRequest)
{
    const auto messages =
        feed("ANNOUNCE rtsp://192.168.0.3/axis-media/media.amp RTSP/1.0\r\nCSeq: 9\r\nContent-Length: 3\r\n\r\nv=0").messages;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].isRequest);
    EXPECT_EQ(messages[0].method, "ANNOUNCE");
    EXPECT_EQ(messages[0].uri, "rtsp://192.168.0.3/axis-media/media.amp");
    EXPECT_EQ(messages[0].body, "v=0");
}

TEST(RtspStreamReader, TunnelAnswerIsHeaderOnly)
{
    // The tunnel's GET answer may announce a length; what follows is RTSP.
    const std::string input =
        "HTTP/1.0 200 OK\r\nContent-Type: application/x-rtsp-tunnelled\r\nContent-Length: 32767\r\n\r\n" + kPlayAnswer + kRtp1;
    RtspStreamReader reader;
    reader.expectHeaderOnlyMessage();
    Collector c;
    ASSERT_FALSE(reader.feed(input.data(), input.size(), c));
    ASSERT_EQ(c.items.size(), 3u);
    EXPECT_EQ(c.messages[0].protocol, "HTTP/1.0");
    EXPECT_EQ(c.items[1].cseq, "5");
    EXPECT_TRUE(c.items[2].frame);
}

TEST(RtspStreamReader, MalformedOrOversizedInputFails)
{
    const struct {
        const char* name;
        std::string input;
        error expected;
    } cases[] = {
        {"binary garbage", std::string("\x17\x03\x03\x00\x20", 5), error::protocolViolation},
        {"lower-case start", "rtsp/1.0 200 OK\r\n\r\n", error::protocolViolation},
        {"status not three digits", "RTSP/1.0 2000 OK\r\n\r\n", error::protocolViolation},
        {"no status", "RTSP/1.0\r\n\r\n", error::protocolViolation},
        {"header without colon", "RTSP/1.0 200 OK\r\nCSeq 1\r\n\r\n", error::protocolViolation},
        {"header without name", "RTSP/1.0 200 OK\r\nCSeq: 1\r\n\r :1\r\n\r\n", error::protocolViolation},
        {"negative length", "RTSP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", error::protocolViolation},
        {"length not a number", "RTSP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n", error::protocolViolation},
        {"request without version", "DESCRIBE rtsp://cam/ \r\n\r\n", error::protocolViolation},
        {"header block over 16 KiB", "RTSP/1.0 200 OK\r\nX-Pad: " + std::string(17000, 'a') + "\r\n\r\n", error::messageTooLarge},
        {"body over 64 KiB", "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 65537\r\n\r\n", error::messageTooLarge},
        {"endless header line", "RTSP/1.0 200 OK\r\nX: " + std::string(20000, 'b'), error::messageTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RtspStreamReader reader;
        Collector col;
        EXPECT_EQ(reader.feed(c.input.data(), c.input.size(), col), make_error_code(c.expected));
        EXPECT_TRUE(reader.failed());
        // A failed reader stays failed.
        EXPECT_EQ(reader.feed(kPlayAnswer.data(), kPlayAnswer.size(), col), make_error_code(c.expected));
        EXPECT_TRUE(col.items.empty());
    }
}

TEST(RtspStreamReader, LargestFrameArrivesWhole)
{
    std::string payload(65535, '\x5a');
    payload[0] = '\x80';
    const std::string frame = std::string("$\x02\xff\xff", 4) + payload;
    std::vector<std::size_t> cuts;
    for (std::size_t pos = 1000; pos < frame.size(); pos += 1000)
        cuts.push_back(pos);
    const auto items = feed(frame, cuts).items;
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].channel, 2);
    EXPECT_EQ(items[0].payload, payload);
}

TEST(RtspStreamReader, VisitorCanStopReading)
{
    struct StopAfterFirst : Collector {
        bool onMessage(RtspMessage&& m) override
        {
            Collector::onMessage(std::move(m));
            return false;
        }
    } c;
    RtspStreamReader reader;
    const std::string input = kPlayAnswer + kRtp1;
    EXPECT_FALSE(reader.feed(input.data(), input.size(), c));
    EXPECT_EQ(c.items.size(), 1u);
}

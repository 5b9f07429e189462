// The event stream's RTSP metadata session against a scripted camera that
// answers as an Axis camera does (the captured DESCRIBE answer of an
// event=on request), sends the empty document after PLAY and then what the
// test pushes.
#include "EventsTestSupport.h"
#include "support/RtpBuilder.h"
#include "support/RtspTestServer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace EventsTest;
using TestSupport::RtspScriptReply;
using TestSupport::rtspAnswer;

namespace {

const std::string kEmptyDocument = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                   "<tt:MetadataStream xmlns:tt=\"http://www.onvif.org/ver10/schema\">\n"
                                   "</tt:MetadataStream>\n";

class EventCamera {
public:
    explicit EventCamera(int refusedDescribes = 0)
        : refusedDescribes_(refusedDescribes), server_([this](const TestSupport::RtspTestRequest& r) { return answer(r); })
    {
    }

    Orix::asio::ConnectionInfoPtr info() const
    {
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "127.0.0.1";
        info->port = server_.port();
        info->endpoint = {"127.0.0.1", server_.port()};
        return info;
    }
    TestSupport::RtspTestServer& server() { return server_; }

    std::vector<std::string> uris(const std::string& method) const
    {
        std::vector<std::string> out;
        for (const auto& r : server_.requests())
            if (r.method == method)
                out.push_back(r.uri);
        return out;
    }
    bool waitFor(const std::string& method, std::size_t count) const
    {
        for (int i = 0; i < 2000 && uris(method).size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return uris(method).size() >= count;
    }

    // One document over the interleaved channel, in packets of 300 bytes.
    void send(const std::string& document)
    {
        std::string bytes;
        for (std::size_t pos = 0; pos < document.size(); pos += 300) {
            const bool last = pos + 300 >= document.size();
            bytes += TestSupport::interleavedFrame(
                0, TestSupport::rtpPacket(sequence_++, timestamp_, 0x315460DA, last, 98, document.substr(pos, 300)));
        }
        timestamp_ += 9000;
        server_.push(bytes);
    }

private:
    RtspScriptReply answer(const TestSupport::RtspTestRequest& r)
    {
        const std::string cseq = r.cseq();
        const std::string session = "Session: ghLlkf_I9pCBP24t;timeout=60";
        if (r.method == "OPTIONS")
            return RtspScriptReply::raw(rtspAnswer(200, "OK", cseq, {"Public: OPTIONS, DESCRIBE, PLAY, SETUP, TEARDOWN"}));
        if (r.method == "DESCRIBE") {
            if (describes_++ >= 1 && refusedDescribes_-- > 0)
                return RtspScriptReply::raw(rtspAnswer(503, "Service Unavailable", cseq));
            return RtspScriptReply::raw(rtspAnswer(200, "OK", cseq,
                                                   {"Content-Type: application/sdp",
                                                    "Content-Base: rtsp://127.0.0.1/axis-media/media.amp/"},
                                                   TestSupport::readFile(TestSupport::dataPath("sdp/axis_gstreamer_metadata.sdp"))));
        }
        if (r.method == "SETUP")
            return RtspScriptReply::raw(rtspAnswer(
                200, "OK", cseq, {"Transport: RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=315460DA;mode=\"PLAY\"", session}));
        if (r.method == "PLAY") {
            auto reply = RtspScriptReply::raw(rtspAnswer(200, "OK", cseq, {"Range: npt=now-", session}));
            reply.bytes += TestSupport::interleavedFrame(
                0, TestSupport::rtpPacket(sequence_++, timestamp_, 0x315460DA, true, 98, kEmptyDocument));
            return reply;
        }
        return RtspScriptReply::raw(rtspAnswer(200, "OK", cseq, {session}));
    }

    int refusedDescribes_;
    int describes_ = 0;
    std::atomic<std::uint16_t> sequence_{13114};
    std::atomic<std::uint32_t> timestamp_{3803548519u};
    TestSupport::RtspTestServer server_;
};

std::string capture(const std::string& name)
{
    return TestSupport::readFile(TestSupport::dataPath("events/" + name + ".xml"));
}

const std::string kFilter = "/axis-media/media.amp?video=0&audio=0&event=on&eventtopic=";

} // namespace

TEST(EventSession, ABurstOpensOneSessionAndALaterDetectorReopensItWithTheLargerFilter)
{
    EventCamera camera;
    FakeDevice device;
    device.setRtspInfo(camera.info());
    device.setDelays(std::chrono::milliseconds(300), std::chrono::milliseconds(50));
    RecordingAnalyticsHandler tampering, vmd3First, vmd3Second, tamperingSecond;
    auto* a = new EmbeddedDetector(&tampering, 0, device, false);
    auto* b = new EmbeddedDetector(&vmd3First, 0, device, true);
    auto* c = new EmbeddedDetector(&vmd3Second, 1, device, true);
    auto* d = new EmbeddedDetector(&tamperingSecond, 1, device, false);
    auto stream = device.stream();
    device.run([&] {
        for (auto* detector : {a, b, c})
            stream->addDetector(detector);
    });
    ASSERT_TRUE(camera.waitFor("PLAY", 1)) << device.log().all();
    camera.send(capture("vmd3_area0_initialized").replace(capture("vmd3_area0_initialized").find("Value=\"0\"/></tt:Data>"), 9, "Value=\"1\""));
    camera.send(capture("tampering_pulse"));
    ASSERT_TRUE(tampering.waitFor(1)) << device.log().all();
    ASSERT_TRUE(vmd3First.waitFor(1)) << device.log().all();
    EXPECT_EQ(camera.uris("DESCRIBE"),
              std::vector<std::string>{"rtsp://127.0.0.1:" + std::to_string(camera.server().port()) + kFilter +
                                       "onvif:VideoSource/axis:Tampering//.|onvif:RuleEngine/axis:VMD3/vmd3_video_1//.|"
                                       "onvif:RuleEngine/axis:VMD3/vmd3_video_2//."});
    EXPECT_EQ(tampering.calls(), std::vector<std::string>{"event Tampering 1704067200000"});
    EXPECT_EQ(vmd3First.calls(), std::vector<std::string>{"twoPhase VMD3/vmd3_video_1 1 1555493444352"});

    device.run([&] { stream->addDetector(d); });
    ASSERT_TRUE(camera.waitFor("DESCRIBE", 2)) << device.log().all();
    ASSERT_TRUE(camera.waitFor("PLAY", 2)) << device.log().all();
    EXPECT_EQ(camera.uris("TEARDOWN").size(), 1u);
    EXPECT_NE(camera.uris("DESCRIBE")[1].find("vmd3_video_2//.|onvif:VideoSource/axis:Tampering//."), std::string::npos);
    EXPECT_TRUE(vmd3Second.calls().empty());
    EXPECT_TRUE(tamperingSecond.calls().empty()); // nothing was sent since

    // The last detectors leave: the session ends and stays closed.
    device.run([&] {
        for (auto* detector : {a, b, c, d})
            stream->removeDetector(detector);
    });
    ASSERT_TRUE(camera.waitFor("TEARDOWN", 2)) << device.log().all();
    EXPECT_EQ(vmd3First.calls().back().rfind("twoPhase VMD3/vmd3_video_1 0 ", 0), 0u);
    for (auto* detector : {a, b, c, d})
        detector->Destroy();
    EXPECT_EQ(camera.uris("DESCRIBE").size(), 2u);
}

TEST(EventSession, ADroppedStreamIsReportedOnceAndReopened)
{
    EventCamera camera(2); // after the drop, two attempts are refused
    FakeDevice device;
    device.setRtspInfo(camera.info());
    device.setDelays(std::chrono::milliseconds(50), std::chrono::milliseconds(50));
    RecordingAnalyticsHandler first, second;
    auto* a = new EmbeddedDetector(&first, 0, device, false);
    auto* b = new EmbeddedDetector(&second, 0, device, true);
    auto stream = device.stream();
    device.run([&] {
        stream->addDetector(a);
        stream->addDetector(b);
    });
    ASSERT_TRUE(camera.waitFor("PLAY", 1)) << device.log().all();
    camera.server().closeConnections();
    ASSERT_TRUE(camera.waitFor("PLAY", 2)) << device.log().all();
    EXPECT_EQ(camera.uris("DESCRIBE").size(), 4u);
    camera.send(capture("tampering_pulse"));
    ASSERT_TRUE(first.waitFor(2)) << device.log().all();
    const std::vector<std::string> expected{"streamError 260", "event Tampering 1704067200000"};
    EXPECT_EQ(first.calls(), expected);
    EXPECT_EQ(second.calls(), std::vector<std::string>{"streamError 260"});
    a->Destroy();
    b->Destroy();
}

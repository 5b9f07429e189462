#include "EventStream.h"
#include "EventsTestSupport.h"
#include "MetadataParser.h"

#include <boost/asio/error.hpp>
#include <gtest/gtest.h>
#include <netkit/util/HostTime.h>
#include <thread>

using namespace EventsTest;
using Vapixcam::ClientsChangeAction;

namespace {

bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 2000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

} // namespace

TEST(EventStreamUrl, JoinsTheDetectorsPiecesInOrder)
{
    const std::string prefix = "/axis-media/media.amp?video=0&audio=0&event=on&eventtopic=";
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::string expected;
    } cases[] = {
        {"none", {}, ""},
        {"tampering and motion",
         {"onvif:VideoSource/axis:Tampering//.|", "onvif:VideoAnalytics/axis:MotionDetection//.|"},
         prefix + "onvif:VideoSource/axis:Tampering//.|onvif:VideoAnalytics/axis:MotionDetection//."},
        {"VMD 4 ends with one slash", {"axis:CameraApplicationPlatform/VMD/Camera1Profile1/.|"},
         prefix + "axis:CameraApplicationPlatform/VMD/Camera1Profile1/."},
        {"equal pieces both stay",
         {"onvif:VideoSource/axis:Tampering//.|", "onvif:VideoSource/axis:Tampering//.|"},
         prefix + "onvif:VideoSource/axis:Tampering//.|onvif:VideoSource/axis:Tampering//."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Vapixcam::eventStreamUrl(c.pieces), c.expected);
    }
}

TEST(ClientsChange, DecidesFromSessionDetectorsAndTimer)
{
    const auto aborted = make_error_code(boost::asio::error::operation_aborted);
    const struct {
        bool active;
        std::size_t detectors;
        boost::system::error_code error;
        ClientsChangeAction expected;
    } cases[] = {
        {false, 3, aborted, ClientsChangeAction::ignore},
        {true, 0, aborted, ClientsChangeAction::ignore},
        {false, 0, {}, ClientsChangeAction::closeSession},
        {true, 0, {}, ClientsChangeAction::closeSession},
        {false, 1, {}, ClientsChangeAction::openSession},
        {true, 4, {}, ClientsChangeAction::restartSession},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.active) + " " + std::to_string(c.detectors) + " " + c.error.message());
        EXPECT_EQ(Vapixcam::decideClientsChange(c.active, c.detectors, c.error), c.expected);
    }
}

TEST(UtcTime, ConvertsToHostMillisecondsTowardZero)
{
    const struct {
        const char* text;
        std::optional<std::uint64_t> expected;
    } cases[] = {
        {"2019-05-03T10:15:30.250000Z", 1556878530250ull},
        {"2019-01-15T07:50:45.206264Z", 1547538645206ull},
        {"2017-06-08T07:51:20Z", 1496908280000ull},            // firmware without fractions
        {"2020-02-29T23:59:59.999999Z", 1583020799999ull},     // leap day, rounded toward zero
        {"1970-01-01T00:00:00Z", 0ull},
        {"2019-02-29T10:00:00Z", std::nullopt},
        {"2019-05-03T24:00:00Z", std::nullopt},
        {"2019-05-03T10:15:30", std::nullopt},
        {"2019-05-03T10:15:30.Z", std::nullopt},
        {"2019-05-03 10:15:30Z", std::nullopt},
        {"2019-05-03T10:15:30.250000+02:00", std::nullopt},
        {"1969-12-31T23:59:59Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Orix::Utility::utcTextToTimeStamp(c.text), c.expected);
    }
}

TEST(SimpleItems, OnOffRuleReadsTheFirstItem)
{
    const struct {
        const char* data;
        std::optional<bool> state;
    } cases[] = {
        {"<tt:SimpleItem Name=\"active\" Value=\"1\"/>", true},
        {"<tt:SimpleItem Name=\"active\" Value=\"0\"/>", false},
        {"<tt:SimpleItem Name=\"active\" Value=\"10\"/>", true},
        {"<tt:SimpleItem Name=\"active\" Value=\"\"/>", true},
        {"<tt:SimpleItem Value=\"0\" Name=\"active\"/>", false},
        // The smallest name decides.
        {"<tt:SimpleItem Name=\"wear\" Value=\"1\"/><tt:SimpleItem Name=\"alert\" Value=\"0\"/>", false},
        {"", std::nullopt},
        {"<tt:SimpleItem Name=\"active\"/>", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        const auto items = Vapixcam::VideoAnalyticsBase::parseSimpleItems(c.data);
        if (!c.state) {
            EXPECT_TRUE(items.empty());
            continue;
        }
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(Vapixcam::VideoAnalyticsBase::onOffState(items.begin()->second), *c.state);
    }
}

TEST(EventStream, DispatchesEachNotificationToTheDetectorsOfItsTopic)
{
    FakeDevice device;
    RecordingAnalyticsHandler tamperingA, tamperingB, vmd3First, vmd3Second;
    auto* a = new EmbeddedDetector(&tamperingA, 0, device, false);
    auto* b = new EmbeddedDetector(&tamperingB, 1, device, false);
    auto* c = new EmbeddedDetector(&vmd3First, 0, device, true);
    auto* d = new EmbeddedDetector(&vmd3Second, 1, device, true);
    auto stream = device.stream();
    device.run([&] {
        for (auto* detector : {a, b, c, d})
            stream->addDetector(detector);
        stream->addDetector(a); // twice: once
        EXPECT_EQ(stream->detectorCount(), 4u);
        stream->dispatchEvents({
            {"VMD3/vmd3_video_1", "2019-04-17T09:30:44.352231Z", "", "<tt:SimpleItem Name=\"active\" Value=\"1\"/>"},
            {"Tampering", "2024-01-01T00:00:00.000000Z", "", "<tt:SimpleItem Name=\"tampering\" Value=\"1\"/>"},
            {"VMD3/vmd3_video_11", "2019-04-17T09:30:45Z", "", "<tt:SimpleItem Name=\"active\" Value=\"1\"/>"},
            {"IO/Port", "2019-01-15T07:50:45.206264Z", "", "<tt:SimpleItem Name=\"state\" Value=\"1\"/>"},
        });
    });
    EXPECT_EQ(tamperingA.calls(), std::vector<std::string>{"event Tampering 1704067200000"});
    EXPECT_EQ(tamperingB.calls(), std::vector<std::string>{"event Tampering 1704067200000"});
    EXPECT_EQ(vmd3First.calls(), std::vector<std::string>{"twoPhase VMD3/vmd3_video_1 1 1555493444352"});
    EXPECT_TRUE(vmd3Second.calls().empty());
    for (auto* detector : {a, b, c, d})
        detector->Destroy();
}

TEST(EventStream, BurstOpensOnceReportsAnOutageOnceAndClosesOpenAlarms)
{
    FakeDevice device; // no RTSP endpoint: every session fails at once
    device.setDelays(std::chrono::milliseconds(200), std::chrono::milliseconds(20));
    RecordingAnalyticsHandler tampering, vmd3, other;
    auto* a = new EmbeddedDetector(&tampering, 0, device, false);
    auto* b = new EmbeddedDetector(&vmd3, 0, device, true);
    auto* c = new EmbeddedDetector(&other, 1, device, false);
    auto stream = device.stream();
    device.run([&] {
        for (auto* detector : {a, b, c})
            stream->addDetector(detector);
    });
    ASSERT_TRUE(eventually([&] {
        std::uint64_t sessions = 0;
        device.run([&] { sessions = stream->sessions(); });
        return sessions >= 4;
    })) << device.log().all();
    EXPECT_EQ(device.log().count("State changed: m_active=0, m_detectors=3"), 1u) << device.log().all();
    EXPECT_EQ(device.log().count("State changed"), 1u);
    for (auto* handler : {&tampering, &vmd3, &other})
        EXPECT_EQ(handler->calls(), std::vector<std::string>{"streamError 10"});

    // The VMD 3 alarm is open when its detector leaves: it is closed.
    device.run([&] {
        stream->dispatchEvents({{"VMD3/vmd3_video_1", "2019-04-17T09:30:44Z", "", "<tt:SimpleItem Name=\"active\" Value=\"1\"/>"}});
        stream->removeDetector(b);
        stream->removeDetector(a);
        stream->removeDetector(c);
    });
    const auto calls = vmd3.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1], "twoPhase VMD3/vmd3_video_1 1 1555493444000");
    EXPECT_EQ(calls[2].rfind("twoPhase VMD3/vmd3_video_1 0 ", 0), 0u) << calls[2];
    EXPECT_TRUE(eventually([&] {
        bool active = true;
        device.run([&] { active = stream->active(); });
        return !active;
    }));
    EXPECT_EQ(device.log().count("State changed: m_active=1, m_detectors=0"), 1u) << device.log().all();
    for (auto* detector : {a, b, c})
        detector->Destroy();
}

TEST(EventStream, RefusesCallersOffTheConnectionThread)
{
    FakeDevice device;
    RecordingAnalyticsHandler handler;
    auto* detector = new EmbeddedDetector(&handler, 0, device, false);
    auto stream = device.stream();
    stream->addDetector(detector);
    stream->dispatchEvents({{"Tampering", "2024-01-01T00:00:00Z", "", "<tt:SimpleItem Name=\"tampering\" Value=\"1\"/>"}});
    device.run([&] { EXPECT_EQ(stream->detectorCount(), 0u); });
    EXPECT_EQ(device.log().count("Called not from connection thread"), 2u);
    EXPECT_TRUE(handler.calls().empty());
    detector->Destroy();
}

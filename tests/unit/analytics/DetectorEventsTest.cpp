// The registered detectors' identities and how each turns notifications into
// host events, fed with the items of real notification documents.
#include "DetectorRegistry.h"
#include "TrackerDetection.h"
#include "VideoAnalyticsBase.h"
#include "unit/analytics/RecordingTargets.h"
#include "unit/events/EventsTestSupport.h"

#include <gtest/gtest.h>

using EventsTest::FakeDevice;
using EventsTest::RecordingAnalyticsHandler;
using Vapixcam::DetectorEventKind;

namespace {

constexpr std::uint64_t kTime = 1556878530250;

std::string items(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string out;
    for (const auto& [name, value] : pairs)
        out += "<tt:SimpleItem Name=\"" + name + "\" Value=\"" + value + "\"/>";
    return out;
}

// A registered detector, destroyed with the holder.
struct Created {
    Created(FakeDevice& device, RecordingAnalyticsHandler& handler, const std::string& id, std::uint32_t channel)
        : analytics(Vapixcam::createRegisteredDetector(&handler, channel, id, device)),
          detector(dynamic_cast<Vapixcam::VideoAnalyticsBase*>(analytics))
    {
    }
    ~Created()
    {
        if (analytics)
            analytics->Destroy();
    }
    Orix::Analytics::IVideoAnalytics* analytics;
    Vapixcam::VideoAnalyticsBase* detector;
};

struct Notification {
    std::string source;
    std::string data;
};

std::vector<std::string> feed(const std::string& id, const std::vector<Notification>& notifications)
{
    FakeDevice device;
    RecordingAnalyticsHandler handler;
    {
        Created created(device, handler, id, 0);
        EXPECT_NE(created.detector, nullptr) << id;
        if (!created.detector)
            return {};
        device.run([&] {
            for (const Notification& n : notifications)
                created.detector->handleEvent(n.source, n.data, kTime);
        });
    }
    return handler.calls();
}

} // namespace

TEST(DetectorRegistry, IdentityOfEveryDetector)
{
    struct Case {
        const char* id;
        std::string eventName;
        std::string topicFilter;
        DetectorEventKind kind;
    } cases[] = {
        {"NorvikOnboardTracker", "CameraApplicationPlatform/AnalyticVideoTracker",
         "axis:CameraApplicationPlatform/AnalyticVideoTracker//.|", DetectorEventKind::targetList},
        {"motionDetectionV3", "VMD3/vmd3_video_2", "onvif:RuleEngine/axis:VMD3/vmd3_video_2//.|",
         DetectorEventKind::twoPhase},
        {"motionDetectionV4", "CameraApplicationPlatform/VMD/Camera2Profile2",
         "axis:CameraApplicationPlatform/VMD/Camera2Profile2/.|", DetectorEventKind::twoPhase},
        {"shockDetection", "Tampering/ShockDetected", "onvif:Device/axis:Tampering/ShockDetected//.|",
         DetectorEventKind::immediate},
        {"alarmDetector", "CameraApplicationPlatform/SIAlarmDetector",
         "axis:CameraApplicationPlatform/SIAlarmDetector//.|", DetectorEventKind::immediate},
        {"gunshotDetector", "CameraApplicationPlatform/SIGunshotDetector",
         "axis:CameraApplicationPlatform/SIGunshotDetector//.|", DetectorEventKind::immediate},
        {"breakingGlassDetector", "CameraApplicationPlatform/SIBreakingGlassDetector",
         "axis:CameraApplicationPlatform/SIBreakingGlassDetector//.|", DetectorEventKind::immediate},
        {"temperatureDetection", "TemperatureDetection", "onvif:VideoSource/axis:TemperatureDetection//.|",
         DetectorEventKind::twoPhase},
        {"tamperingDetection", "Tampering", "onvif:VideoSource/axis:Tampering//.|", DetectorEventKind::immediate},
        {"audioDetection", "TriggerLevel", "onvif:AudioSource/axis:TriggerLevel//.|", DetectorEventKind::twoPhase},
        {"motionDetection", "MotionDetection", "onvif:VideoAnalytics/axis:MotionDetection//.|",
         DetectorEventKind::twoPhase},
    };
    FakeDevice device;
    RecordingAnalyticsHandler handler;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Created created(device, handler, c.id, 1);
        ASSERT_NE(created.detector, nullptr);
        EXPECT_EQ(created.detector->eventName(), c.eventName);
        EXPECT_EQ(created.detector->topicFilter(), c.topicFilter);
        EXPECT_EQ(created.detector->eventKind(), c.kind);
    }
    EXPECT_EQ(Vapixcam::createRegisteredDetector(&handler, 0, "MotionDetection", device), nullptr);
}

TEST(DetectorEvents, NotificationsBecomeHostEvents)
{
    const std::string on = items({{"motion", "1"}});
    const std::string off = items({{"motion", "0"}});
    const std::string t = " " + std::to_string(kTime);
    struct Case {
        const char* name;
        const char* id;
        std::vector<Notification> notifications;
        std::vector<std::string> calls;
    } cases[] = {
        {"motion windows open one alarm and close it with the last", "motionDetection",
         {{items({{"window", "1"}}), on}, {items({{"window", "2"}}), on}, {items({{"window", "1"}}), off},
          {items({{"window", "2"}}), off}},
         {"twoPhase MotionDetection 1" + t, "twoPhase MotionDetection 0" + t}},
        {"temperature zones likewise", "temperatureDetection",
         {{items({{"TemperatureZone", "1"}}), items({{"state", "1"}})},
          {items({{"TemperatureZone", "2"}}), items({{"state", "1"}})},
          {items({{"TemperatureZone", "1"}}), items({{"state", "0"}})},
          {items({{"TemperatureZone", "2"}}), items({{"state", "0"}})}},
         {"twoPhase TemperatureDetection 1" + t, "twoPhase TemperatureDetection 0" + t}},
        {"tampering raises whatever the value", "tamperingDetection",
         {{items({{"channel", "1"}}), items({{"tampering", "0"}})},
          {items({{"channel", "1"}}), items({{"tampering", "1"}})}},
         {"event Tampering" + t, "event Tampering" + t}},
        {"audio level follows the item", "audioDetection",
         {{items({{"channel", "1"}}), items({{"triggered", "1"}})},
          {items({{"channel", "1"}}), items({{"triggered", "0"}})}},
         {"twoPhase TriggerLevel 1" + t, "twoPhase TriggerLevel 0" + t}},
        {"shock raises without reading items", "shockDetection", {{"", ""}},
         {"event Tampering/ShockDetected" + t}},
        {"gunshot detector takes only gunshots", "gunshotDetector",
         {{items({{"Classifier", "Alarm"}}), items({{"active", "1"}})},
          {items({{"Classifier", "Gunshot"}}), items({{"active", "1"}})}},
         {"event CameraApplicationPlatform/SIGunshotDetector" + t}},
        {"VMD 3 follows active, ignores other items", "motionDetectionV3",
         {{items({{"areaid", "0"}}), items({{"active", "1"}})}, {items({{"areaid", "0"}}), items({{"state", "0"}})},
          {items({{"areaid", "0"}}), items({{"active", "0"}})}},
         {"twoPhase VMD3/vmd3_video_1 1" + t, "twoPhase VMD3/vmd3_video_1 0" + t}},
        {"VMD 4 names its event after the camera", "motionDetectionV4", {{"", items({{"active", "10"}})}},
         {"twoPhase VMD/Camera1 1" + t}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(feed(c.id, c.notifications), c.calls);
    }
}

TEST(TrackerDetection, ListsLiveObjectsWithBoxesAndColours)
{
    FakeDevice device;
    RecordingAnalyticsHandler handler;
    AnalyticsTest::RecordingTargets host;
    auto* tracker = new Vapixcam::TrackerDetection(&handler, 0, "NorvikOnboardTracker", device, &host);
    const std::string frame =
        "<tt:ElementItem Name=\"Objects\"><tt:Frame UtcTime=\"2019-05-03T10:15:30.250Z\">"
        "<tt:Object ObjectId=\"7\"><tt:Appearance><tt:Shape><tt:BoundingBox left=\"0\" top=\"0\" right=\"0.5\" "
        "bottom=\"-0.5\"/></tt:Shape><tt:Color><tt:Color X=\"255\" Y=\"0\" Z=\"0\"/></tt:Color></tt:Appearance>"
        "<tt:Behaviour><tt:Extension>Changed</tt:Extension></tt:Behaviour></tt:Object>"
        "<tt:Object ObjectId=\"8\"><tt:Appearance><tt:Shape><tt:BoundingBox left=\"-1\" top=\"1\" right=\"1\" "
        "bottom=\"-1\"/></tt:Shape></tt:Appearance><tt:Behaviour><tt:Extension>Removed</tt:Extension>"
        "</tt:Behaviour></tt:Object></tt:Frame></tt:ElementItem>";
    device.run([&] {
        tracker->handleEvent("", frame, kTime);
        tracker->handleEvent("", "<tt:ElementItem>", kTime);
    });
    tracker->Destroy();
    EXPECT_EQ(host.frames(), std::vector<std::string>{"7:0.5,0.5,0.25,0.25 ColorH=0 ColorS=1 ColorV=1"});
    EXPECT_TRUE(device.log().contains("Cannot parse tracker info."));

    auto* without = new Vapixcam::TrackerDetection(&handler, 0, "NorvikOnboardTracker", device, nullptr);
    without->Destroy();
    EXPECT_TRUE(device.log().contains("Failed to obtain IServiceProvider"));
}

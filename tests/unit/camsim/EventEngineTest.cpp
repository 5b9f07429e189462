// The event engine as a metadata session sees it: the empty document after
// PLAY, Initialized for the instances the filter selects, Changed only on a
// change, pulses without PropertyOperation; and the declarations the
// driver looks for, per model and running application.
#include "Camera.h"
#include "EventEngine.h"
#include "ModelLoader.h"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>

#include <set>

using namespace Camsim;

namespace {

struct Rig {
    explicit Rig(const std::string& model, std::set<std::string> running = {})
        : camera(load(model)),
          running(std::move(running)),
          engine(std::make_shared<EventEngine>(camera, io, [this](const std::string& name) {
              return this->running.count(name) > 0;
          }))
    {
    }

    static Model load(const std::string& model)
    {
        std::string error;
        auto m = ModelLoader::load(CAMSIM_DATA_DIR, model, error);
        if (!m)
            throw std::runtime_error(error);
        return std::move(*m);
    }

    // Each document as "Operation topic source=value... item=value", the
    // empty one as "empty"; reassembled from payloads that must end with
    // the marker.
    std::shared_ptr<EventEngine::Subscription> subscribe(const std::string& filter)
    {
        return engine->subscribe(filter, io.get_executor(), [this](std::vector<RtpPayload> payloads) {
            std::string document;
            for (std::size_t i = 0; i < payloads.size(); ++i) {
                EXPECT_EQ(payloads[i].marker, i + 1 == payloads.size());
                document += payloads[i].bytes;
            }
            seen.push_back(summary(document));
            raw.push_back(document);
        }, [this] { ++drops; });
    }

    static std::string between(const std::string& s, const std::string& open, const std::string& close)
    {
        const auto a = s.find(open);
        const auto b = a == std::string::npos ? a : s.find(close, a + open.size());
        return b == std::string::npos ? std::string() : s.substr(a + open.size(), b - a - open.size());
    }

    static std::string items(std::string text)
    {
        std::string out;
        for (auto at = text.find("Name=\""); at != std::string::npos; at = text.find("Name=\"", at + 1)) {
            const auto nameEnd = text.find('"', at + 6);
            const auto value = text.find("Value=\"", nameEnd);
            if (value == std::string::npos)
                break;
            out += " " + text.substr(at + 6, nameEnd - at - 6) + "=" +
                   text.substr(value + 7, text.find('"', value + 7) - value - 7);
        }
        return out;
    }

    static std::string summary(const std::string& document)
    {
        if (document.find("<tt:Event>") == std::string::npos)
            return "empty";
        const std::string op = between(document, "PropertyOperation=\"", "\"");
        return (op.empty() ? "Pulse" : op) + " " + between(document, "Simple\">", "</wsnt:Topic>") +
               items(between(document, "<tt:Source>", "</tt:Source>")) + " |" +
               items(between(document, "<tt:Data>", "</tt:Data>"));
    }

    std::vector<std::string> take()
    {
        io.restart();
        io.poll();
        auto out = std::move(seen);
        seen.clear();
        return out;
    }

    boost::asio::io_context io;
    Camera camera;
    std::set<std::string> running;
    std::shared_ptr<EventEngine> engine;
    std::vector<std::string> seen;
    std::vector<std::string> raw;
    int drops = 0;
};

using Lines = std::vector<std::string>;

} // namespace

TEST(EventEngine, SessionSeesInitializedThenChangesAndPulses)
{
    Rig rig("P7214", {"vmd"});
    EXPECT_EQ(rig.engine->audio(2, true).sessions, 0u);
    const auto session = rig.subscribe("onvif:AudioSource/axis:TriggerLevel//.|"
                                       "axis:CameraApplicationPlatform/VMD/Camera1Profile1/.");
    EXPECT_EQ(rig.take(), (Lines{"empty",
                                 "Initialized tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1 | active=0",
                                 "Initialized tns1:AudioSource/tnsaxis:TriggerLevel channel=1 | triggered=0",
                                 "Initialized tns1:AudioSource/tnsaxis:TriggerLevel channel=2 | triggered=1",
                                 "Initialized tns1:AudioSource/tnsaxis:TriggerLevel channel=3 | triggered=0",
                                 "Initialized tns1:AudioSource/tnsaxis:TriggerLevel channel=4 | triggered=0"}));

    const struct {
        const char* name;
        std::function<EventEngine::Result()> trigger;
        Lines expected;
    } steps[] = {
        // The any-profile topic changes too, outside the filter.
        {"profile on", [&] { return rig.engine->vmd4(1, 1, true); },
         {"Changed tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1 | active=1"}},
        {"profile on again: no change", [&] { return rig.engine->vmd4(1, 1, true); }, {}},
        {"audio off", [&] { return rig.engine->audio(2, false); },
         {"Changed tns1:AudioSource/tnsaxis:TriggerLevel channel=2 | triggered=0"}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.trigger().status, 200);
        EXPECT_EQ(rig.take(), s.expected);
    }
    EXPECT_EQ(rig.engine->dropSessions(), 1u);
    rig.take();
    EXPECT_EQ(rig.drops, 1);
}

TEST(EventEngine, PulsesAndWhatACameraWithoutTheEventRefuses)
{
    Rig rig("P3245-LVE", {"SIGunshotDetector"});
    const auto all = rig.subscribe("");
    rig.take();
    rig.engine->withConfig([](AnalyticsConfig& c) { return c.shockEnabled = true; });
    EXPECT_EQ(rig.engine->tampering(1).sessions, 1u);
    EXPECT_EQ(rig.engine->shock().sessions, 1u);
    EXPECT_EQ(rig.engine->sound("gunshot", "").sessions, 1u);
    EXPECT_EQ(rig.engine->sound("gunshot", "Alarm").sessions, 1u);
    EXPECT_EQ(rig.take(), (Lines{"Pulse tns1:VideoSource/tnsaxis:Tampering channel=1 | tampering=1",
                                 "Pulse tns1:Device/tnsaxis:Tampering/ShockDetected | shock=1",
                                 "Pulse tnsaxis:CameraApplicationPlatform/SIGunshotDetector Source=Gunshot | active=1",
                                 "Pulse tnsaxis:CameraApplicationPlatform/SIGunshotDetector Source=Alarm | active=1"}));

    const struct {
        const char* name;
        std::function<EventEngine::Result()> trigger;
        int status;
    } refusals[] = {
        {"application not running", [&] { return rig.engine->sound("alarm", ""); }, 409},
        {"unknown classifier", [&] { return rig.engine->sound("siren", ""); }, 400},
        {"no thermometry", [&] { return rig.engine->temperature(1, true); }, 409},
        {"no VMD 3", [&] { return rig.engine->vmd3(1, true); }, 409},
        {"no such channel", [&] { return rig.engine->tampering(2); }, 404},
        {"no motion window yet", [&] { return rig.engine->motion(0, true); }, 404},
        {"tracker without QVT", [&] { return rig.engine->track({EventEngine::TrackedObject{}}, 3, {}); }, 409},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.trigger().status, r.status);
    }
    EXPECT_TRUE(rig.take().empty());
}

TEST(EventEngine, TrackerFramesMoveTheObjects)
{
    Rig rig("P3245-LVE", {"QVT"});
    const auto session = rig.subscribe("axis:CameraApplicationPlatform/AnalyticVideoTracker//.");
    rig.take();
    EventEngine::TrackedObject car;
    car.id = 7;
    car.from = {-1, 1, 0, 0};
    car.to = {0, 0, 1, -1};
    car.color = std::array<int, 3>{255, 128, 0};
    EXPECT_EQ(rig.engine->track({car}, 3, std::chrono::milliseconds(0)).sessions, 1u);
    rig.raw.clear();
    rig.io.restart();
    rig.io.run(); // the timed frames
    rig.take();
    ASSERT_EQ(rig.raw.size(), 4u);
    const struct {
        const char* box;
        const char* behaviour;
    } frames[] = {
        {"left=\"-1\" top=\"1\" right=\"0\" bottom=\"0\"/><tt:CenterOfGravity x=\"-0.5\" y=\"0.5\"/>",
         "<tt:Behaviour><tt:Extension>Created</tt:Extension></tt:Behaviour>"},
        {"left=\"-0.5\" top=\"0.5\" right=\"0.5\" bottom=\"-0.5\"/><tt:CenterOfGravity x=\"0\" y=\"0\"/>",
         "<tt:Behaviour><tt:Extension>Changed</tt:Extension></tt:Behaviour>"},
        {"left=\"0\" top=\"0\" right=\"1\" bottom=\"-1\"/><tt:CenterOfGravity x=\"0.5\" y=\"-0.5\"/>",
         "<tt:Behaviour><tt:Extension>Changed</tt:Extension></tt:Behaviour>"},
        {"left=\"0\" top=\"0\" right=\"1\" bottom=\"-1\"/>",
         "<tt:Behaviour><tt:Removed/><tt:Extension>Removed</tt:Extension></tt:Behaviour>"},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const std::string& d = rig.raw[i];
        EXPECT_EQ(d.find("PropertyOperation"), std::string::npos);
        EXPECT_NE(d.find("<tt:Data><tt:ElementItem Name=\"Frame\"><tt:Frame UtcTime=\""), std::string::npos) << d;
        EXPECT_NE(d.find("<tt:Object ObjectId=\"7\"><tt:Appearance><tt:Shape><tt:BoundingBox " +
                         std::string(frames[i].box)),
                  std::string::npos)
            << d;
        EXPECT_NE(d.find("<tt:Color><tt:Color X=\"255\" Y=\"128\" Z=\"0\"/></tt:Color></tt:Appearance>" +
                         std::string(frames[i].behaviour) + "</tt:Object></tt:Frame></tt:ElementItem></tt:Data>"),
                  std::string::npos)
            << d;
    }
}

TEST(EventEngine, DeclaresWhatTheDriverLooksFor)
{
    // The texts the detectors search the GetEventInstances answer for.
    const std::string motion = "<tnsaxis:MotionDetection wstop:topic=\"true\" aev:NiceName=\"Motion detection\">";
    const std::string vmd3 = "<tns1:RuleEngine aev:NiceName=\"Application\"><tnsaxis:VMD3";
    const std::string vmd4 = "wstop:topic=\"true\" aev:NiceName=\"VMD 4";
    const std::string tampering = "<tnsaxis:Tampering wstop:topic=\"true\" aev:NiceName=\"Camera tampering\">";
    const std::string audio =
        "<tns1:AudioSource><tnsaxis:TriggerLevel wstop:topic=\"true\" aev:NiceName=\"Audio detection\">";
    const std::string temperature =
        "<tnsaxis:Status aev:NiceName=\"Device sensors\"><Temperature aev:NiceName=\"Temperature sensors\">";
    const std::string shock = "<ShockDetected wstop:topic=\"true\" aev:NiceName=\"Shock Detected\">";
    const std::string gunshot = "<tnsaxis:CameraApplicationPlatform><SIGunshotDetector wstop:topic=\"true\">";
    const std::string alarm = "<tnsaxis:CameraApplicationPlatform><SIAlarmDetector wstop:topic=\"true\">";
    const std::string tracker = "<AnalyticVideoTracker wstop:topic=\"true\">";
    // Captured declarations, without the indentation of the fixture.
    const std::string capturedTampering =
        "<tnsaxis:Tampering wstop:topic=\"true\" aev:NiceName=\"Camera tampering\"><aev:MessageInstance>"
        "<aev:SourceInstance><aev:SimpleItemInstance aev:NiceName=\"Channel\" Type=\"xsd:int\" Name=\"channel\">"
        "<aev:Value>1</aev:Value></aev:SimpleItemInstance></aev:SourceInstance><aev:DataInstance>"
        "<aev:SimpleItemInstance aev:NiceName=\"Tampering\" Type=\"xsd:int\" Name=\"tampering\"><aev:Value>1"
        "</aev:Value></aev:SimpleItemInstance></aev:DataInstance></aev:MessageInstance></tnsaxis:Tampering>";
    const std::string capturedVmd3 =
        "<tnsaxis:VMD3 aev:NiceName=\"Video Motion Detection 3\"><vmd3_video_1 wstop:topic=\"true\" "
        "aev:NiceName=\"VMD 3\"><aev:MessageInstance aev:isProperty=\"true\"><aev:SourceInstance>"
        "<aev:SimpleItemInstance aev:NiceName=\"Area ID\" Type=\"xsd:int\" Name=\"areaid\"><aev:Value>0</aev:Value>"
        "</aev:SimpleItemInstance></aev:SourceInstance><aev:DataInstance><aev:SimpleItemInstance "
        "Type=\"xsd:boolean\" Name=\"active\" isPropertyState=\"true\"/></aev:DataInstance></aev:MessageInstance>"
        "</vmd3_video_1></tnsaxis:VMD3>";

    const struct {
        const char* model;
        std::set<std::string> running;
        std::string undeclared;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"M1065-LW", {"vmd", "VMD3"}, "", {motion, vmd3, vmd4, tampering, audio, capturedTampering, capturedVmd3},
         {temperature, shock, gunshot, tracker}},
        {"P3245-LVE", {"SIGunshotDetector", "SIAlarmDetector", "QVT"}, "", {shock, gunshot, alarm, tracker},
         {vmd3, vmd4, temperature}},
        {"Q2101-TE", {}, "", {temperature, tampering}, {shock, motion}},
        {"P7214", {}, "", {motion, audio}, {tampering}}, // the video encoder has no tampering
        {"P5512", {}, "", {motion, tampering}, {vmd4}},
        {"P5512", {}, "tampering", {motion}, {tampering}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.undeclared);
        Rig rig(c.model, c.running);
        if (!c.undeclared.empty())
            rig.engine->withConfig([&](AnalyticsConfig& config) { return config.undeclared.insert(c.undeclared); });
        const std::string answer = rig.engine->declarations();
        EXPECT_EQ(answer.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope ", 0), 0u);
        for (const auto& text : c.present)
            EXPECT_NE(answer.find(text), std::string::npos) << text;
        for (const auto& text : c.absent)
            EXPECT_EQ(answer.find(text), std::string::npos) << text;
    }
}

#include "PtzTestSupport.h"
#include "TelemetryChannel.h"

#include <gtest/gtest.h>
#include <orix/ErrorCodes.h>
#include <thread>

using namespace PtzTest;
using Vapixcam::TelemetryChannel;
using TestSupport::HttpTestServer;

namespace {

const char* const kHomeIsOne = "Preset Positions for camera 1\npresetposno1=Home\n";

struct Channel {
    Channel(HttpTestServer& server, std::uint32_t index = 0) : device(server.port()), channel(new TelemetryChannel(index, device))
    {
        channel->setRequestTimeout(std::chrono::seconds(5));
    }
    ~Channel() { channel->Destroy(); }
    FakeDevice device;
    TelemetryChannel* channel;
};

} // namespace

TEST(TelemetryChannel, HostCallsSendTheCameraRequests)
{
    using Call = std::function<std::uint32_t(TelemetryChannel&)>;
    const struct {
        const char* name;
        std::uint32_t channel;
        const char* view;
        bool optics;
        Call call;
        std::vector<std::string> expected;
    } cases[] = {
        {"pan/tilt without a view", 0, "", false, [](auto& c) { return c.MovePanTilt(-49, 10); },
         {"/axis-cgi/com/ptz.cgi?camera=1&continuouspantiltmove=-49,10"}},
        {"pan/tilt in Quad View", 1, "Quad View", false, [](auto& c) { return c.MovePanTilt(0, 0); },
         {"/axis-cgi/com/ptz.cgi?camera=4&continuouspantiltmove=0,0"}},
        {"step in Corridor", 0, "Corridor", false, [](auto& c) { return c.StepPanTilt(5, 99, -3); },
         {"/axis-cgi/com/ptz.cgi?camera=12&rpan=5&rtilt=-3"}},
        {"zoom ignores the view", 1, "Quad View", false, [](auto& c) { return c.MoveZoom(30); },
         {"/axis-cgi/com/ptz.cgi?camera=2&continuouszoommove=30"}},
        {"zoom step, optics", 0, "", true, [](auto& c) { return c.StepZoom(-3); },
         {"/axis-cgi/opticssetup.cgi?rzoom=-bigstep&source=1"}},
        {"zoom step, ptz", 0, "", false, [](auto& c) { return c.StepZoom(-3); },
         {"/axis-cgi/com/ptz.cgi?camera=1&rzoom=-3"}},
        {"focus step, optics", 1, "", true, [](auto& c) { return c.StepFocus(4); },
         {"/axis-cgi/opticssetup.cgi?rfocus=+bigstep&source=2"}},
        {"focus", 0, "", false, [](auto& c) { return c.MoveFocus(-60); },
         {"/axis-cgi/com/ptz.cgi?camera=1&continuousfocusmove=-60"}},
        {"autofocus, optics", 0, "", true, [](auto& c) { return c.AutoFocus(); },
         {"/axis-cgi/opticssetup.cgi?autofocus=perform&source=1"}},
        {"iris", 0, "", false, [](auto& c) { return c.MoveIris(-20) | c.StepIris(7); },
         {"/axis-cgi/com/ptz.cgi?camera=1&continuousirismove=-20", "/axis-cgi/com/ptz.cgi?camera=1&riris=7"}},
        {"absolute", 0, "", false, [](auto& c) { return c.MoveAbsolute(120, 9, -20, 9, 5000); },
         {"/axis-cgi/com/ptz.cgi?camera=1&pan=120&tilt=-20&zoom=5000"}},
        {"area zoom, wide", 0, "", false, [](auto& c) { return c.AreaZoom(0.25, 0.25, 0.5, 0.25); },
         {"/axis-cgi/com/ptz.cgi?camera=1&imagewidth=640&imageheight=480&areazoom=320,180,200"}},
        {"area zoom, tall", 0, "", false, [](auto& c) { return c.AreaZoom(0.5, 0.25, 0.25, 0.5); },
         {"/axis-cgi/com/ptz.cgi?camera=1&imagewidth=640&imageheight=480&areazoom=400,240,200"}},
        {"center", 0, "", false, [](auto& c) { return c.CenterOnPoint(0.5, 0.25); },
         {"/axis-cgi/com/ptz.cgi?camera=1&imagewidth=640&imageheight=480&center=320,120"}},
        {"set preset 0 past Home", 0, "", false, [](auto& c) { return c.SetPreset(0u); },
         {kHomeQuery, "/axis-cgi/com/ptzconfig.cgi?camera=1&setserverpresetno=2"}},
        {"clear preset 3", 0, "", false, [](auto& c) { return c.ClearPreset(3u); },
         {kHomeQuery, "/axis-cgi/com/ptzconfig.cgi?camera=1&removeserverpresetno=5"}},
        {"go to preset 0 at speed 40", 0, "", false, [](auto& c) { return c.GoPreset(0u, 40u); },
         {kHomeQuery, kSpeedQuery, "/axis-cgi/com/ptz.cgi?gotoserverpresetno=2&camera=1&speed=40"}},
        {"set preset by name", 0, "", false, [](auto& c) { return c.SetPreset("Front Door"); },
         {"/axis-cgi/com/ptzconfig.cgi?camera=1&setserverpresetname=Front%20Door"}},
        {"go to preset by name", 0, "", false, [](auto& c) { return c.GoPreset("Front Door"); },
         {"/axis-cgi/com/ptz.cgi?camera=1&gotoserverpresetname=Front%20Door"}},
        {"clear preset by name", 0, "", false, [](auto& c) { return c.ClearPreset("Gate"); },
         {"/axis-cgi/com/ptzconfig.cgi?camera=1&removeserverpresetname=Gate"}},
        {"auxiliary", 0, "", false, [](auto& c) { return c.PerformAuxiliaryOperation("wiper"); },
         {"/axis-cgi/com/ptz.cgi?camera=1&auxiliary=wiper"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Camera camera;
        camera.answers[kHomeQuery] = answer(200, kHomeIsOne);
        camera.answers[kSpeedQuery] = answer(200, "speed=100\n");
        HttpTestServer server(camera);
        Channel ch(server, c.channel);
        ch.device.setView(c.view);
        ch.device.setOptics(c.optics);
        EXPECT_EQ(c.call(*ch.channel), Orix::Ok);
        EXPECT_EQ(targets(server), c.expected);
    }
}

TEST(TelemetryChannel, PresetNumbersSkipTheHomePreset)
{
    const struct {
        const char* name;
        const char* presets; // query=presetposcam answer
        const char* speed;   // query=speed answer
        std::uint32_t preset;
        const char* expected;
    } cases[] = {
        {"no home", "Preset Positions for camera 1\npresetposno1=North\n", "speed=100\n", 0,
         "/axis-cgi/com/ptz.cgi?gotoserverpresetno=2&camera=1&speed=50"},
        {"home 3, below", "presetposno3=Home\r\npresetposno1=North\r\n", "speed=100\n", 1,
         "/axis-cgi/com/ptz.cgi?gotoserverpresetno=2&camera=1&speed=50"},
        {"home 3, at", "presetposno3=Home\r\n", "speed=100\n", 2,
         "/axis-cgi/com/ptz.cgi?gotoserverpresetno=4&camera=1&speed=50"},
        {"no speed control", kHomeIsOne, "speed control: unsupported\n", 3,
         "/axis-cgi/com/ptz.cgi?gotoserverpresetno=5&camera=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Camera camera;
        camera.answers[kHomeQuery] = answer(200, c.presets);
        camera.answers[kSpeedQuery] = answer(200, c.speed);
        HttpTestServer server(camera);
        Channel ch(server);
        EXPECT_EQ(ch.channel->GoPreset(c.preset, 50u), Orix::Ok);
        EXPECT_EQ(ch.channel->GoPreset(c.preset, 50u), Orix::Ok); // probes are asked once
        EXPECT_EQ(targets(server),
                  (std::vector<std::string>{kHomeQuery, kSpeedQuery, c.expected, c.expected}));
    }
}

TEST(TelemetryChannel, UnknownServerPresetFallsBackToTheDevicePreset)
{
    Camera camera;
    camera.answers[kHomeQuery] = answer(200, kHomeIsOne);
    camera.answers[kSpeedQuery] = answer(200, "speed=100\n");
    camera.answers["/axis-cgi/com/ptz.cgi?gotoserverpresetno=3&camera=1&speed=100"] =
        answer(200, "Error:\nError: No such preset position found\n");
    HttpTestServer server(camera);
    Channel ch(server);
    EXPECT_EQ(ch.channel->GoPreset(1u, 100u), Orix::Ok);
    EXPECT_EQ(targets(server).back(), "/axis-cgi/com/ptz.cgi?gotodevicepreset=3");
}

TEST(TelemetryChannel, CameraAnswersGiveResultCodes)
{
    const struct {
        const char* name;
        TestSupport::ScriptedReply reply;
        std::uint32_t expected;
    } cases[] = {
        {"204", answer(204, ""), Orix::Ok},
        {"empty 200", answer(200, ""), 2},
        {"200 with a plain text", answer(200, "ok\n"), Orix::Ok},
        {"error page: no such preset",
         answer(200, "<HTML><HEAD><TITLE>Error</TITLE></HEAD>\n<BODY>\nError: No such preset position found\n</BODY></HTML>\n"),
         10},
        {"one line: too many presets", answer(200, "Error: too many preset positions\r\n"), Orix::InvalidArgument},
        {"one line: other error", answer(200, "Error:query: unknown value: tilt\n"), 2},
        {"500", answer(500, "Internal error"), 2},
        {"404", answer(404, "<HTML>404</HTML>", {"Content-Type: text/html"}), Orix::NotFound},
        {"401", answer(401, "", {"WWW-Authenticate: Basic realm=\"AXIS\""}), Orix::Unauthorized},
        {"connection closed", TestSupport::ScriptedReply::close(), Orix::ConnectionLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const TestSupport::RecordedRequest&) { return c.reply; });
        Channel ch(server);
        EXPECT_EQ(ch.channel->MoveZoom(10), c.expected);
    }
    HttpTestServer server(Camera{});
    Channel ch(server);
    ch.device.setView("Fisheye Wide"); // no view of the table
    EXPECT_EQ(ch.channel->MovePanTilt(1, 1), Orix::InvalidArgument);
    ch.device.setOptics(false);
    EXPECT_EQ(ch.channel->AutoFocus(), Orix::NotSupported);
    ch.device.disconnect();
    EXPECT_EQ(ch.channel->MoveZoom(1), Orix::BadAddress);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(TelemetryChannel, PositionAnswersFillTheMask)
{
    const struct {
        const char* name;
        const char* body;
        std::uint32_t result;
        std::int32_t pan, tilt, zoom;
        std::uint32_t mask;
    } cases[] = {
        {"dome", "pan=51.2891\ntilt=46.1914\nzoom=1\niris=6427\nfocus=8265\nautofocus=off", 0, 51, 46, 1, 7},
        {"no zoom, CRLF", "pan=-12.7\r\ntilt=-0.5\r\n", 0, -12, 0, 0, 6},
        {"no tilt", "pan=10\nzoom=2\n", 2304, 0, 0, 0, 0},
        {"not a number", "pan=left\ntilt=3\nzoom=1\n", 1, 0, 0, 0, 0},
        {"past 32 bits", "pan=1e12\ntilt=3\nzoom=1\n", 1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Camera camera;
        camera.answers["/axis-cgi/com/ptz.cgi?query=position"] = answer(200, c.body);
        HttpTestServer server(camera);
        Channel ch(server);
        std::int32_t pan = 0, tilt = 0, zoom = 0;
        std::uint32_t mask = 99;
        ASSERT_EQ(ch.channel->GetPositionParams(pan, tilt, zoom, mask), c.result);
        if (c.result == Orix::Ok) {
            EXPECT_EQ(std::make_tuple(pan, tilt, zoom, mask), std::make_tuple(c.pan, c.tilt, c.zoom, c.mask));
        }
    }
}

TEST(TelemetryChannel, PresetAndAuxiliaryLists)
{
    Camera camera;
    camera.answers["/axis-cgi/com/ptz.cgi?camera=1&query=presetposcamdata"] = answer(
        200, "Preset Positions for camera 1\r\npresetposno1=Home:pan=0.000000:tilt=0.000000:zoom=1.000000\r\n"
             "presetposno2 = Position 1\r\npresetposno5=North:pan=-45.5:tilt=10:zoom=500\r\n");
    camera.answers["/axis-cgi/com/ptz.cgi?camera=1&query=auxiliary"] = answer(200, "wiper\r\nlight on\r\n\r\nlight off");
    HttpTestServer server(camera);
    Channel ch(server);
    std::vector<Orix::GDRV::PresetInfo> presets;
    ASSERT_EQ(ch.channel->GetPresets(presets), Orix::Ok);
    ASSERT_EQ(presets.size(), 3u);
    EXPECT_EQ(std::make_tuple(presets[0].id, presets[0].name, presets[0].hasPosition, presets[0].zoom),
              std::make_tuple(std::string("1"), std::string("Home"), true, 1.0));
    EXPECT_EQ(std::make_tuple(presets[1].id, presets[1].name, presets[1].hasPosition),
              std::make_tuple(std::string("2"), std::string("Position 1"), false));
    EXPECT_EQ(std::make_tuple(presets[2].id, presets[2].pan, presets[2].tilt, presets[2].zoom),
              std::make_tuple(std::string("5"), -45.5, 10.0, 500.0));
    std::vector<std::string> operations;
    ASSERT_EQ(ch.channel->GetAuxiliaryOperations(operations), Orix::Ok);
    EXPECT_EQ(operations, (std::vector<std::string>{"wiper", "light on", "light off"}));

    HttpTestServer broken([](const TestSupport::RecordedRequest& r) {
        return r.target.find("presetposcamdata") != std::string::npos ? answer(200, "presetposno1=A:pan=x:tilt=0:zoom=1\n")
                                                                       : answer(200, "");
    });
    Channel other(broken);
    EXPECT_EQ(other.channel->GetPresets(presets), Orix::GenericFailure);
    EXPECT_EQ(other.channel->GetAuxiliaryOperations(operations), Orix::Ok);
    EXPECT_TRUE(operations.empty());
}

TEST(TelemetryChannel, ToursStartStopAndRefuseBadNumbers)
{
    Camera camera;
    camera.answers["/axis-cgi/admin/param.cgi?action=update&GuardTour.G1.Running=yes"] =
        answer(200, "# Error: Error setting 'GuardTour.G1.Running' to 'yes'!\n");
    camera.answers["/axis-cgi/admin/param.cgi?action=update&GuardTour.G0.Running=yes"] = answer(200, "OK\n");
    camera.answers["/axis-cgi/admin/param.cgi?action=update&GuardTour.G0.Running=no"] = answer(200, "OK\n");
    HttpTestServer server(camera);
    Channel ch(server);
    auto& c = *ch.channel;
    EXPECT_EQ(c.StartTour(100), Orix::InvalidArgument);
    EXPECT_EQ(c.AddTourPoint(1, 20, 50, 1), Orix::InvalidArgument);
    EXPECT_EQ(c.AddTourPoint(1, 0, 100, 1), Orix::InvalidArgument);
    EXPECT_EQ(c.AddTourPoint(1, 0, 50, 11), Orix::InvalidArgument);
    EXPECT_EQ(server.requestCount(), 0u);

    EXPECT_EQ(c.StartTour(2), Orix::Ok); // no guard tour 2: the recorded tour plays
    EXPECT_EQ(c.StartTour(1), Orix::AlreadyInState);
    EXPECT_EQ(c.StopTour(2), Orix::Ok);
    EXPECT_EQ(c.StartTour(1), Orix::Ok);
    EXPECT_EQ(c.StopTour(1), Orix::Ok);
    EXPECT_EQ(targets(server), (std::vector<std::string>{
                                   "/axis-cgi/admin/param.cgi?action=update&GuardTour.G1.Running=yes",
                                   "/axis-cgi/recordedtour/play.cgi?schemaversion=1&loop=1&recordedtourid=1",
                                   "/axis-cgi/recordedtour/stopplayback.cgi?schemaversion=1&recordedtourid=1",
                                   "/axis-cgi/admin/param.cgi?action=update&GuardTour.G0.Running=yes",
                                   "/axis-cgi/admin/param.cgi?action=update&GuardTour.G0.Running=no",
                               }));
}

TEST(TelemetryChannel, TourIsStoredAsGuardTourParameters)
{
    const std::string cgi = "/axis-cgi/admin/param.cgi?action=";
    Camera camera;
    camera.answers[cgi + "remove&group=GuardTour.G2"] = answer(200, "# Error: Error -1 removing group\n");
    camera.answers[cgi + "add&group=GuardTour&template=guardtour"] = answer(200, "G2 OK\n");
    camera.answers[cgi + "add&group=GuardTour.G2.Tour&template=tour"] = answer(200, "T0 OK\n");
    HttpTestServer server([&](const TestSupport::RecordedRequest& r) {
        return r.target.find("update") != std::string::npos ? answer(200, "OK\n") : camera(r);
    });
    Channel ch(server);
    auto& c = *ch.channel;
    EXPECT_EQ(c.AddTourPoint(1, 0, 50, 1), Orix::NotStarted);
    ASSERT_EQ(c.BeginTour(3), Orix::Ok);
    EXPECT_EQ(c.BeginTour(4), Orix::InProgress);
    ASSERT_EQ(c.AddTourPoint(1, 4, 70, 10), Orix::Ok);
    ASSERT_EQ(c.AddTourPoint(2, 0, 50, 5), Orix::Ok);
    ASSERT_EQ(c.EndTour(), Orix::Ok);
    c.waitForTourStored();
    const std::string t0 = "GuardTour.G2.Tour.T0", t1 = "GuardTour.G2.Tour.T1";
    EXPECT_EQ(targets(server),
              (std::vector<std::string>{
                  cgi + "remove&group=GuardTour.G2",
                  cgi + "add&group=GuardTour&template=guardtour",
                  cgi + "update&GuardTour.G2.Name=GuardTour",
                  cgi + "add&group=GuardTour.G2.Tour&template=tour",
                  cgi + "update&" + t0 + ".PresetNbr=5&" + t0 + ".MoveSpeed=70&" + t0 + ".WaitTime=10&" + t0 +
                      ".WaitTimeViewType=Seconds",
                  cgi + "add&group=GuardTour.G2.Tour&template=tour",
                  cgi + "update&" + t1 + ".PresetNbr=1&" + t1 + ".MoveSpeed=50&" + t1 + ".WaitTime=5&" + t1 +
                      ".WaitTimeViewType=Seconds",
              }));
}

TEST(TelemetryChannel, TwoHostThreadsCommandOneChannel)
{
    HttpTestServer server(Camera{});
    Channel ch(server);
    constexpr int kEach = 20;
    std::vector<std::uint32_t> results[2];
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                results[t].push_back(t == 0 ? ch.channel->MovePanTilt(i, 0) : ch.channel->MoveZoom(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& r : results)
        EXPECT_EQ(r, std::vector<std::uint32_t>(kEach, Orix::Ok));
    const auto seen = targets(server);
    ASSERT_EQ(seen.size(), 2u * kEach);
    for (int i = 0; i < kEach; ++i) {
        const std::string move = "/axis-cgi/com/ptz.cgi?camera=1&continuouspantiltmove=" + std::to_string(i) + ",0";
        const std::string zoom = "/axis-cgi/com/ptz.cgi?camera=1&continuouszoommove=" + std::to_string(i);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), move), 1) << move;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), zoom), 1) << zoom;
    }
}

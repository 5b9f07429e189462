// The PTZ head as a client sees it: scripts of requests to ptz.cgi,
// ptzconfig.cgi, ptzqueue.cgi, recordedtour and param.cgi on a real model,
// with the clock stepped by hand between requests, and the exact answers.
#include "ModelLoader.h"
#include "OpticsCgi.h"
#include "ParamCgi.h"
#include "PtzCgi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using Camsim::HttpRequest;
using Camsim::HttpResponse;
using Camsim::PtzOptions;

namespace {

struct Step {
    double advance;     // seconds on the clock before the request
    const char* target;
    int status;
    const char* body;   // nullptr: not compared
    int client = 0;     // > 0: sends that client's ptz_ctl_id and keeps the one it is given
    bool partial = false; // body is only the answer's beginning
};

struct Script {
    const char* name;
    const char* model;
    std::vector<Step> steps;
    bool queueing = false; // PTZ.Various.V*.CtlQueueing as loaded otherwise forced off
    PtzOptions options = {};
};

const char* const kNotInControl = "Error:\ncontrol: Not in control of the PTZ head\n";

Camsim::Model loadModel(const std::string& name, bool queueing)
{
    std::string error;
    auto model = Camsim::ModelLoader::load(CAMSIM_DATA_DIR, name, error);
    EXPECT_TRUE(model) << error;
    if (!model)
        return {};
    for (unsigned v = 1; v <= 8; ++v) {
        if (auto* p = model->params.findParam("PTZ.Various.V" + std::to_string(v) + ".CtlQueueing"))
            p->value = queueing ? "true" : "false";
    }
    return std::move(*model);
}

class Rig {
public:
    Rig(const Script& s)
        : camera_(loadModel(s.model, s.queueing)), ptz_(camera_, s.options, [this] { return now_; }),
          params_(camera_)
    {
        ptz_.registerRoutes(router_);
        router_.add("/axis-cgi/param.cgi", [this](const HttpRequest& r) {
            auto response = params_.handle(r);
            ptz_.paramsChanged();
            return response;
        });
    }

    void run(const Script& s)
    {
        for (std::size_t i = 0; i < s.steps.size(); ++i) {
            const Step& step = s.steps[i];
            SCOPED_TRACE(std::string(s.name) + ", step " + std::to_string(i + 1) + ": " + step.target);
            now_ += std::chrono::duration_cast<Camsim::PtzClock::duration>(std::chrono::duration<double>(step.advance));
            HttpRequest request;
            request.method = "GET";
            request.target = step.target;
            if (step.client > 0 && !cookies_[step.client].empty())
                request.headers.emplace_back("Cookie", "ptz_ctl_id=" + cookies_[step.client]);
            const auto* route = router_.find(request.path());
            ASSERT_NE(route, nullptr);
            const HttpResponse r = route->handler(request);
            EXPECT_EQ(r.status, step.status);
            if (step.body) {
                EXPECT_EQ(step.partial ? r.body.substr(0, std::strlen(step.body)) : r.body, step.body);
            }
            keepCookie(step.client, r);
        }
    }

private:
    void keepCookie(int client, const HttpResponse& r)
    {
        std::string cookie, location;
        for (const auto& [name, value] : r.headers) {
            if (name == "Set-Cookie")
                cookie = value.substr(11, value.find(';') - 11);
            if (name == "Location")
                location = value;
        }
        if (r.status == 302) { // the identifier the redirect names is the cookie's
            EXPECT_EQ(location.substr(location.find("ptz_ctl_id=") + 11), cookie) << location;
        }
        if (client > 0 && !cookie.empty())
            cookies_[client] = cookie;
    }

    Camsim::PtzClock::time_point now_{};
    Camsim::Camera camera_;
    Camsim::PtzCgi ptz_;
    Camsim::ParamCgi params_;
    Camsim::Router router_;
    std::map<int, std::string> cookies_;
};

void runAll(const std::vector<Script>& scripts)
{
    for (const auto& s : scripts) {
        Rig rig(s);
        rig.run(s);
    }
}

#define PTZ "/axis-cgi/com/ptz.cgi?"
#define CONFIG "/axis-cgi/com/ptzconfig.cgi?"
#define QUEUE "/axis-cgi/com/ptzqueue.cgi?"
#define PARAM "/axis-cgi/param.cgi?"
#define POSITION PTZ "query=position"

} // namespace

TEST(PtzCgi, MovesStopAtTheLimitsAndContinuousMovesRunOnTheClock)
{
    runAll({
        {"digital PTZ, two view areas", "M1065-LW",
         {{0, POSITION, 200, "pan=0\ntilt=0\nzoom=1\n"},
          {0, PTZ "pan=-150&tilt=45.5&zoom=20000", 204, ""},
          {0, POSITION, 200, "pan=-120\ntilt=45.5\nzoom=9999\n"},
          {0, PTZ "rpan=30.25&rtilt=-100&rzoom=-4999", 204, ""},
          {0, POSITION, 200, "pan=-89.75\ntilt=-54.5\nzoom=5000\n"},
          {0, PTZ "continuouspantiltmove=100,-50", 204, ""},
          {1, POSITION, 200, "pan=0.25\ntilt=-99.5\nzoom=5000\n"},
          {1, POSITION, 200, "pan=90.25\ntilt=-120\nzoom=5000\n"},
          {0, PTZ "move=stop", 204, ""},
          {0, PTZ "continuouszoommove=-50", 204, ""},
          {2, POSITION, 200, "pan=90.25\ntilt=-120\nzoom=3000\n"},
          {0, PTZ "camera=2&query=position", 200, "pan=0\ntilt=0\nzoom=1\n"},
          {0, PTZ "query=speed", 200, "speed=100\n"},
          {0, PTZ "continuousfocusmove=10", 200, "Error:\ncontinuousfocusmove: not supported\n"},
          {0, PTZ "camera=3&pan=0", 200, "Error:\ncamera: invalid camera number '3'\n"},
          {0, PTZ "pan=abc", 200, "Error:\npan: invalid value 'abc'\n"},
          {0, PTZ "query=attitude", 200, "Error:\nquery: unknown value: attitude\n"}}},
        {"mechanical dome with lens axes", "P5512",
         {{0, PTZ "pan=10&tilt=20&focus=5000", 204, ""},
          {0, POSITION, 200, "pan=10\ntilt=0\nzoom=1\niris=9999\nfocus=5000\nautofocus=on\nautoiris=on\n"},
          {0, PTZ "autofocus=off&riris=-9000", 204, ""},
          {0, POSITION, 200, "pan=10\ntilt=0\nzoom=1\niris=999\nfocus=5000\nautofocus=off\nautoiris=on\n"}}},
        {"encoder with serial heads", "P7214",
         {{0, PTZ "camera=3&query=speed", 200, "speed control: unsupported\n"},
          {0, PTZ "camera=3&query=position", 200, "pan=0\ntilt=-45\nzoom=1\n"},
          {0, PTZ "camera=3&continuouspantiltmove=0,100", 204, ""},
          {1, PTZ "camera=3&query=position", 200, "pan=0\ntilt=0\nzoom=1\n"},
          {0, PTZ "camera=4&query=position", 200, "pan=0\ntilt=-45\nzoom=1\n"}}},
    });
}

TEST(PtzCgi, AreaZoomMapsPictureCoordinatesThroughTheFieldOfView)
{
    runAll({
        {"100 to 1 degree view", "M1065-LW",
         {{0, PTZ "center=480,240&imagewidth=640&imageheight=480", 204, ""},
          {0, POSITION, 200, "pan=25\ntilt=0\nzoom=1\n"},
          {0, PTZ "center=320,0", 204, ""}, // 640x480 when no size is given
          {0, POSITION, 200, "pan=25\ntilt=37.5\nzoom=1\n"},
          {0, PTZ "imagewidth=640&imageheight=480&areazoom=320,180,200", 204, ""},
          {0, POSITION, 200, "pan=25\ntilt=46.875\nzoom=102\n"},
          {0, PTZ "center=640,240", 204, ""}, // half of the halved view
          {0, POSITION, 200, "pan=50\ntilt=46.875\nzoom=102\n"},
          {0, PTZ "areazoom=320,240,25", 204, ""},
          {0, POSITION, 200, "pan=50\ntilt=46.875\nzoom=1\n"},
          {0, PTZ "areazoom=1,2", 200, "Error:\nareazoom: invalid value '1,2'\n"}}},
        {"field angles in tenths of a degree", "P5512",
         {{0, PTZ "areazoom=320,240,200", 204, ""}, {0, POSITION, 200, "pan=0\ntilt=0\nzoom=733\n", 0, true}}},
    });
}

TEST(PtzCgi, ServerPresetsLiveInTheParameterTree)
{
    Script s{"presets", "P5512",
             {{0, PTZ "query=presetposcam", 200, "Preset Positions for camera 1\npresetposno1=Home\n"},
              {0, PTZ "pan=90&tilt=-30", 204, ""},
              {0, CONFIG "camera=1&setserverpresetname=Front%20Door", 204, ""},
              {0, CONFIG "camera=1&setserverpresetno=4", 204, ""},
              {0, PTZ "camera=1&query=presetposcamdata", 200,
               "Preset Positions for camera 1\n"
               "presetposno1=Home:tilt=0.000000:focus=32766.000000:pan=0.000000:iris=32766.000000:zoom=1.000000\n"
               "presetposno2=Front Door:pan=90.000000:tilt=-30.000000:zoom=1.000000:focus=9999.000000:iris=9999.000000\n"
               "presetposno4=Preset 4:pan=90.000000:tilt=-30.000000:zoom=1.000000:focus=9999.000000:iris=9999.000000\n"},
              {0, PARAM "action=list&group=PTZ.Preset.P0.Position.P2.Name", 200,
               "root.PTZ.Preset.P0.Position.P2.Name=Front Door\n"},
              {0, PTZ "gotoserverpresetno=1&speed=50", 204, ""},
              {0, POSITION, 200, "pan=0\ntilt=0\n", 0, true},
              {0, PTZ "gotoserverpresetname=Front%20Door", 204, ""},
              {0, POSITION, 200, "pan=90\ntilt=-30\n", 0, true},
              {0, PTZ "camera=1&gotoserverpresetno=3&speed=50", 200,
               "Error:\ngotoserverpresetno: No such preset position found\n"},
              {0, PTZ "gotodevicepreset=3", 200, "Error:\ngotodevicepreset: No such preset position found\n"},
              {0, CONFIG "setserverpresetno=7", 204, ""},
              {0, CONFIG "setserverpresetname=Gate", 200, "Error:\nsetserverpresetname: too many preset positions\n"},
              {0, CONFIG "setserverpresetno=4", 204, ""}, // storing again is no new preset
              {0, CONFIG "removeserverpresetname=Front%20Door", 204, ""},
              {0, CONFIG "removeserverpresetname=Front%20Door", 200,
               "Error:\nremoveserverpresetname: No such preset position found\n"},
              {0, CONFIG "setserverpresetname=Gate", 204, ""},
              {0, PTZ "query=presetposcam", 200,
               "Preset Positions for camera 1\npresetposno1=Home\npresetposno2=Gate\npresetposno4=Preset 4\n"
               "presetposno7=Preset 7\n"},
              {0, CONFIG "setserverpresetname=a:b", 200, "Error:\nsetserverpresetname: Invalid preset name\n"},
              {0, PTZ "query=auxiliary", 200, "wiper\r\nwasher\r\ndefog\r\n"},
              {0, PTZ "auxiliary=wiper", 204, ""},
              {0, PTZ "auxiliary=horn", 200, "Error:\nauxiliary: unknown value: horn\n"}}};
    s.options.maxPresets = 4;
    runAll({s});
}

TEST(PtzCgi, ToursMoveTheHeadUntilAnOperatorTakesOver)
{
    const char* const kOneNotPlaying =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RecordedTourResponse SchemaVersion=\"1.0\">\n"
        "  <Error>\n    <ErrorCode>30</ErrorCode>\n"
        "    <ErrorDescription>Recorded tour 1 is not playing</ErrorDescription>\n  </Error>\n"
        "</RecordedTourResponse>\n";
    runAll({{"guard and recorded tours", "P5512",
             {{0, PTZ "pan=90", 204, ""},
              {0, CONFIG "setserverpresetno=2", 204, ""},
              {0, PTZ "pan=0", 204, ""},
              {0, PARAM "action=add&template=guardtour&group=GuardTour", 200, "G0 OK\n"},
              {0,
               PARAM "action=add&template=tour&group=GuardTour.G0.Tour&GuardTour.G0.Tour.T.PresetNbr=2"
                     "&GuardTour.G0.Tour.T.Position=1&GuardTour.G0.Tour.T.MoveSpeed=100&GuardTour.G0.Tour.T.WaitTime=5",
               200, "T0 OK\n"},
              {0,
               PARAM "action=add&template=tour&group=GuardTour.G0.Tour&GuardTour.G0.Tour.T.PresetNbr=1"
                     "&GuardTour.G0.Tour.T.Position=2&GuardTour.G0.Tour.T.MoveSpeed=100&GuardTour.G0.Tour.T.WaitTime=5",
               200, "T1 OK\n"},
              {0, PARAM "action=update&GuardTour.G1.Running=yes", 200,
               "# Error: Error setting 'GuardTour.G1.Running' to 'yes'!\n"},
              {0, PARAM "action=update&GuardTour.G0.Running=yes", 200, "OK\n"},
              // 90 degrees a second at full speed, 5 s at each preset.
              {0.5, POSITION, 200, "pan=45\n", 0, true},
              {2.5, POSITION, 200, "pan=90\n", 0, true},
              {3.5, POSITION, 200, "pan=45\n", 0, true},
              {1.5, POSITION, 200, "pan=0\n", 0, true},
              {4.5, POSITION, 200, "pan=45\n", 0, true},
              {0, PTZ "rpan=10", 204, ""},
              {0, PARAM "action=list&group=GuardTour.G0.Running", 200, "root.GuardTour.G0.Running=no\n"},
              {5, POSITION, 200, "pan=55\n", 0, true},
              {0, "/axis-cgi/recordedtour/play.cgi?schemaversion=1&loop=1&recordedtourid=0", 200,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RecordedTourResponse SchemaVersion=\"1.0\">\n"
               "  <PlaySuccess/>\n</RecordedTourResponse>\n"},
              {35, POSITION, 200, "pan=0\ntilt=-10\n", 0, true},
              {0, "/axis-cgi/recordedtour/stopplayback.cgi?schemaversion=1&recordedtourid=1", 200, kOneNotPlaying},
              {0, "/axis-cgi/recordedtour/stopplayback.cgi?schemaversion=1&recordedtourid=0", 200, nullptr},
              {10, POSITION, 200, "pan=0\ntilt=-10\n", 0, true},
              {0, "/axis-cgi/recordedtour/play.cgi?schemaversion=1&loop=0&recordedtourid=5", 200,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RecordedTourResponse SchemaVersion=\"1.0\">\n"
               "  <Error>\n    <ErrorCode>30</ErrorCode>\n"
               "    <ErrorDescription>Recorded tour 5 does not exist</ErrorDescription>\n  </Error>\n"
               "</RecordedTourResponse>\n"},
              {0, "/axis-cgi/recordedtour/play.cgi?schemaversion=1&loop=0&recordedtourid=1", 200, nullptr},
              {12, POSITION, 200, "pan=0\ntilt=-20\n", 0, true}, // played once, stays at its end
              {0, "/axis-cgi/recordedtour/stopplayback.cgi?schemaversion=1&recordedtourid=1", 200, kOneNotPlaying}}}});
}

TEST(PtzCgi, ControlQueueGrantsInTurnAndControlLapses)
{
    const char* const kHolder = "<a name=\"1\"></a><a name=\"20\"></a><a name=\"20\"></a>\n";
    Script page{"page answer, queue of one", "P5512",
                {{0, PARAM "action=update&PTZ.Various.V1.CtlQueueLimit=1", 200, "OK\n"},
                 {0, QUEUE "control=request", 200, kHolder, 1},
                 {0, QUEUE "control=request", 200, "Error:\ncontrol: The PTZ control queue is full\n", 2},
                 {0, PTZ "pan=30", 204, "", 1}},
                true};
    page.options.queueReply = PtzOptions::QueueReply::Page;
    runAll({{"redirect answer", "P5512",
             {{0, PTZ "pan=10", 200, kNotInControl},
              {0, POSITION, 200, "pan=0\n", 0, true}, // asking is free
              {0, QUEUE "control=request&camera=1", 302, kHolder, 1},
              {0, PTZ "pan=10", 204, "", 1},
              {0, QUEUE "control=request&camera=1", 302, "<a name=\"2\"></a><a name=\"0\"></a><a name=\"20\"></a>\n", 2},
              {0, PTZ "pan=20", 200, kNotInControl, 2},
              {15, QUEUE "control=query&camera=1", 200, "<a name=\"1\"></a><a name=\"5\"></a><a name=\"20\"></a>\n", 1},
              {6, PTZ "pan=20", 204, "", 2}, // the first client's 20 s have run out
              {0, PTZ "pan=30", 200, kNotInControl, 1},
              {0, QUEUE "control=drop&camera=1", 200, "<a name=\"0\"></a><a name=\"0\"></a><a name=\"20\"></a>\n", 2},
              {0, PTZ "pan=30", 200, kNotInControl, 2},
              {0, QUEUE "control=request&camera=2", 200, "Error:\ncamera: invalid camera number '2'\n", 1},
              {0, PARAM "action=update&PTZ.Various.V1.CtlQueueing=false", 200, "OK\n"},
              {0, PTZ "pan=30", 204, ""},
              {0, QUEUE "control=request", 200, "Error:\ncontrol: PTZ control queueing is disabled\n"}},
             true},
            page});
}

TEST(OpticsCgi, RelativeStepsOfAMotorisedLens)
{
    const struct {
        const char* query;
        const char* answer;
        double zoom, focus;
    } cases[] = {
        {"rzoom=+bigstep&source=1", "ok", 0.1, 0.5}, // '+' arrives as a space
        {"rzoom=%2Bbigstep&source=1", "ok", 0.1, 0.5},
        {"rzoom=-bigstep&source=1", "ok", 0.0, 0.5},
        {"rfocus=-smallstep&source=1", "ok", 0.0, 0.49},
        {"rzoom=+hugestep&source=1", "Error: rzoom must be -1..1, got ' hugestep'\n", 0.0, 0.5},
        {"autofocus=perform&source=2", "Error: invalid source '2'\n", 0.0, 0.5},
    };
    for (const auto& c : cases) {
        Camsim::OpticsState optics;
        const auto args = Camsim::parseForm(c.query);
        ASSERT_TRUE(args);
        EXPECT_EQ(Camsim::OpticsCgi::answer(optics, *args), c.answer) << c.query;
        EXPECT_DOUBLE_EQ(optics.zoom, c.zoom) << c.query;
        EXPECT_DOUBLE_EQ(optics.focus, c.focus) << c.query;
    }
}

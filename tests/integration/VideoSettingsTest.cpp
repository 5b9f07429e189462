// The settings of video sources and of the device against camsim, driven
// the way a host drives them: Start, AcquireDynamicParameters, SetValue,
// ApplySettings; checked on what the camera received and what it now holds.
#include "Device.h"
#include "VideoSource.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <netkit/http/HttpClient.h>
#include <netkit/repository/RepositoryReader.h>
#include <orix/ErrorCodes.h>

#include <atomic>
#include <sstream>
#include <optional>
#include <thread>

using Orix::GDRV::ConnectionState;
using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;
using TestSupport::LoggedRequest;

namespace {

// ApplySettings' completion: the result and how often it came.
struct RecordingActionHandler final : Orix::IAsyncActionHandler {
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(const Orix::IContract*, std::uint32_t r) override
    {
        result = r;
        ++calls;
    }
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) const
    {
        for (auto end = std::chrono::steady_clock::now() + limit; calls == 0 && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return calls > 0;
    }
    std::atomic<int> calls{0};
    std::atomic<std::uint32_t> result{0xffffffff};
};

Orix::GDRV::DriverInfoPtr repository()
{
    auto info = std::make_shared<Orix::GDRV::DriverInfo>();
    Orix::Utility::RepositoryReader reader(std::make_shared<TestSupport::CapturingLogger>(3));
    EXPECT_EQ(reader.load(std::string(VAPIXCAM_SOURCE_DIR) + "/data/Velto.Vapixcam.rep", *info), 0);
    return info;
}

Json::Value parseJson(const std::string& text)
{
    Json::Value root;
    std::istringstream in(text);
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr)) << text;
    return root;
}

// name -> property object, from both lists of a settings document.
std::map<std::string, Json::Value> properties(const std::string& json)
{
    std::map<std::string, Json::Value> out;
    const Json::Value root = parseJson(json);
    for (const char* list : {"settings", "videoStreamingSettings"}) {
        for (const Json::Value& group : root[list]) {
            for (const Json::Value& p : group["properties"])
                out[p["name"].asString()] = p;
        }
    }
    return out;
}

// A parameter as camsim holds it now (GET /camsim/state, no credentials).
std::string cameraValue(const CamsimProcess& camsim, const std::string& path)
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), "GET", "/camsim/state");
    if (answer.status != 200)
        return "<no answer: " + answer.error + ">";
    return parseJson(answer.body)["params"]["root." + path].asString();
}

std::size_t countRequests(const CamsimProcess& camsim, const std::string& method, const std::string& targetPart,
                          int status = 200)
{
    std::size_t n = 0;
    for (const auto& r : camsim.requests())
        n += r.method == method && r.target.find(targetPart) != std::string::npos && r.status == status;
    return n;
}

// The Parameters camsim holds for the stream profile with this name.
std::string profileParameters(const CamsimProcess& camsim, const std::string& name)
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), "GET", "/camsim/state");
    const Json::Value params = parseJson(answer.body)["params"];
    for (const auto& key : params.getMemberNames()) {
        const auto at = key.rfind(".Name");
        if (at != std::string::npos && at + 5 == key.size() && params[key].asString() == name)
            return params[key.substr(0, at) + ".Parameters"].asString();
    }
    return "<no profile " + name + ">";
}

// The frame size in a JPEG's start-of-frame segment (SOF0..SOF2).
std::optional<std::pair<int, int>> jpegSize(const std::vector<std::uint8_t>& jpeg)
{
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xff && (jpeg[i + 1] == 0xc0 || jpeg[i + 1] == 0xc1 || jpeg[i + 1] == 0xc2))
            return std::make_pair((jpeg[i + 7] << 8) | jpeg[i + 8], (jpeg[i + 5] << 8) | jpeg[i + 6]);
    }
    return std::nullopt;
}

// One connected device of camsim's camera with one video source.
struct Rig {
    std::shared_ptr<TestSupport::CapturingLogger> log = std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler;
    TestSupport::RecordingVideoHandler video;
    Orix::GDRV::DriverInfoPtr info = repository();
    std::unique_ptr<Vapixcam::Device> device;
    Vapixcam::VideoSource* source = nullptr;
    bool started = false;

    explicit Rig(const CamsimProcess& camsim, std::uint32_t stream = 0)
    {
        device = std::make_unique<Vapixcam::Device>(&deviceHandler, info->devices.front(), "generic", "", info, log);
        device->setRetryDelayFunction([](unsigned) { return std::chrono::milliseconds(60000); });
        device->Connect(camsim.url().c_str());
        EXPECT_TRUE(deviceHandler.waitFor(ConnectionState::Connected)) << log->all();
        source = static_cast<Vapixcam::VideoSource*>(device->CreateVideoSource(&video, 0, stream, nullptr));
        EXPECT_NE(source, nullptr);
    }
    ~Rig()
    {
        if (source) {
            if (started)
                source->Stop();
            source->Destroy();
        }
        device->Disconnect();
        device.reset();
    }
    void start()
    {
        source->Start(&video);
        started = true;
    }
    std::string acquire(Orix::IDynamicParametersProvider& provider)
    {
        TestSupport::RecordingParametersHandler handler;
        provider.AcquireDynamicParameters(&handler);
        EXPECT_TRUE(handler.wait(std::chrono::seconds(30)));
        EXPECT_EQ(handler.calls(), 1);
        EXPECT_EQ(handler.failure(), 0u) << log->all();
        return handler.json();
    }
    std::string acquire() { return acquire(*source); }
    std::uint32_t apply(Orix::IAsyncAdjuster& adjuster)
    {
        RecordingActionHandler handler;
        adjuster.ApplySettings(&handler);
        EXPECT_TRUE(handler.wait());
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // a second completion would show now
        EXPECT_EQ(handler.calls.load(), 1);
        return handler.result.load();
    }
    std::uint32_t apply() { return apply(*source); }
};

class VideoSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        Orix::http::clearAuthenticationCache();
    }
};

} // namespace

TEST_F(VideoSettings, M1065OffersItsSettingsWithTypesRangesAndChoices)
{
    CamsimProcess camsim;
    Rig rig(camsim);
    rig.start();
    const auto props = properties(rig.acquire());

    // From the camera's definitions (AXIS M1065-LW 9.10.1 as camsim models it).
    const struct {
        const char* name;
        const char* type;
        const char* current; // as JSON
        int min, max;        // ranges only (min > max: not a range)
        std::vector<std::string> choices;
    } cases[] = {
        {"brightness", "integer", "50", 0, 100, {}},
        {"fps", "integer", "0", 0, 30, {}},
        {"keyFrameInterval", "integer", "31", 1, 1024, {}},
        {"imageMirror", "boolean", "false", 1, 0, {}},
        {"WDR", "boolean", "true", 1, 0, {}},
        {"resolution", "string", "\"1920x1080 (16:9)\"", 1, 0,
         {"1920x1080 (16:9)", "1280x960 (4:3)", "1280x720 (16:9)", "1024x768 (4:3)", "1024x576 (16:9)",
          "800x600 (4:3)", "640x480 (4:3)", "640x360 (16:9)", "352x240 (22:15)", "320x240 (4:3)"}},
        {"h264Profile", "string", "\"High\"", 1, 0, {"Baseline", "Main", "High"}},
        {"bitrateControl", "string", "\"Variable bit rate\"", 1, 0,
         {"Variable bit rate", "Maximum bit rate", "Average bit rate"}},
        {"exposure", "string", "\"Automatic\"", 1, 0,
         {"Automatic", "Flicker-free 50 Hz", "Flicker-free 60 Hz", "Flicker-reduced 50 Hz", "Flicker-reduced 60 Hz",
          "Hold current"}},
        {"captureFrequency", "string", "\"50 Hz\"", 1, 0, {"50 Hz", "60 Hz"}},
        {"transportProtocol", "string", "\"tcp\"", 1, 0, {"tcp", "udp", "multicast", "rtspoverhttp"}},
    };
    Json::StreamWriterBuilder compact;
    compact["indentation"] = "";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto it = props.find(c.name);
        ASSERT_NE(it, props.end());
        const Json::Value& p = it->second;
        EXPECT_EQ(p["type"].asString(), c.type);
        EXPECT_EQ(Json::writeString(compact, p["current"]), c.current);
        if (c.min <= c.max) {
            EXPECT_EQ(p["min"].asInt(), c.min);
            EXPECT_EQ(p["max"].asInt(), c.max);
        } else {
            EXPECT_FALSE(p.isMember("min"));
        }
        std::vector<std::string> choices;
        for (const auto& v : p["enum"])
            choices.push_back(v.asString());
        EXPECT_EQ(choices, c.choices);
    }
    // Nothing the M1065-LW does not have: no capture mode, no lights.
    for (const char* absent : {"sensorCaptureMode", "led0lightEnabled", "led0lightState"})
        EXPECT_EQ(props.count(absent), 0u) << absent;
    EXPECT_EQ(countRequests(camsim, "POST", "/axis-cgi/lightcontrol.cgi", 404), 1u);
}

TEST_F(VideoSettings, AcquisitionBeforeStartAnswersNotStartedAndAsksNothing)
{
    CamsimProcess camsim;
    Rig rig(camsim);
    TestSupport::RecordingParametersHandler handler;
    rig.source->AcquireDynamicParameters(&handler);
    // Answered at once, inside the call.
    EXPECT_EQ(handler.calls(), 1);
    EXPECT_EQ(handler.failure(), Orix::NotStarted);
    EXPECT_EQ(countRequests(camsim, "GET", "action=listdefinitions"), 0u);
}

TEST_F(VideoSettings, ApplyBeforeStartIsCarriedOutAfterStart)
{
    CamsimProcess camsim;
    Rig rig(camsim);
    RecordingActionHandler handler;
    ASSERT_EQ(rig.source->SetValue("codec", "MJPEG"), Orix::Ok);
    rig.source->ApplySettings(&handler);
    EXPECT_FALSE(handler.wait(std::chrono::milliseconds(300)));
    EXPECT_EQ(countRequests(camsim, "OPTIONS", "/axis-media/media.amp") +
                  countRequests(camsim, "DESCRIBE", "/axis-media/media.amp", 401) +
                  countRequests(camsim, "DESCRIBE", "/axis-media/media.amp"),
              0u);

    rig.start();
    ASSERT_TRUE(handler.wait());
    EXPECT_EQ(handler.result.load(), Orix::Ok);
    ASSERT_TRUE(rig.video.waitForFrames(rig.video.frames() + 2, 1));
    EXPECT_EQ(rig.video.codec(), "MJPEG");
    EXPECT_GE(countRequests(camsim, "PLAY", "videocodec=jpeg"), 1u);
    EXPECT_EQ(handler.calls.load(), 1);
}

TEST_F(VideoSettings, ResolutionAndFrameRateChangeTheCameraAndThenTheStream)
{
    CamsimProcess camsim;
    Rig rig(camsim);
    rig.start();
    rig.acquire();
    ASSERT_EQ(rig.source->SetValue("codec", "MJPEG"), Orix::Ok);
    ASSERT_EQ(rig.apply(), Orix::Ok);
    ASSERT_TRUE(rig.video.waitForFrames(rig.video.frames() + 1, 1));
    EXPECT_EQ(rig.video.codec(), "MJPEG");
    EXPECT_EQ(jpegSize(rig.video.lastKeyFrame()), std::make_pair(1920, 1080));

    ASSERT_EQ(rig.source->SetValue("resolution", "640x360 (16:9)"), Orix::Ok);
    ASSERT_EQ(rig.source->SetValue("fps", 15), Orix::Ok);
    ASSERT_EQ(rig.apply(), Orix::Ok) << rig.log->all();
    EXPECT_EQ(cameraValue(camsim, "Image.I0.Appearance.Resolution"), "640x360");
    EXPECT_EQ(cameraValue(camsim, "Image.I0.Stream.FPS"), "15");

    const auto after = properties(rig.acquire());
    EXPECT_EQ(after.at("resolution")["current"].asString(), "640x360 (16:9)");
    EXPECT_EQ(after.at("fps")["current"].asInt(), 15);

    // The new session brings frames of the new size.
    std::optional<std::pair<int, int>> size;
    for (int i = 0; i < 300; ++i) {
        rig.video.waitForFrames(rig.video.frames() + 1, 1, std::chrono::seconds(1));
        size = jpegSize(rig.video.lastKeyFrame());
        if (size && *size == std::make_pair(640, 360))
            break;
    }
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, std::make_pair(640, 360));
}

TEST_F(VideoSettings, P3245LightGoesOnAndOff)
{
    CamsimOptions options;
    options.model = "P3245-LVE";
    CamsimProcess camsim(options);
    Rig rig(camsim);
    rig.start();
    auto props = properties(rig.acquire());
    ASSERT_EQ(props.count("led0lightEnabled"), 1u) << rig.log->all();
    EXPECT_TRUE(props["led0lightEnabled"]["current"].asBool());
    EXPECT_FALSE(props["led0lightState"]["current"].asBool());
    EXPECT_TRUE(props["led0lightSync"]["current"].asBool());

    const struct {
        const char* name;
        bool value;
        std::map<std::string, bool> expected; // light properties offered afterwards
    } steps[] = {
        {"led0lightState", true, {{"led0lightEnabled", true}, {"led0lightState", true}, {"led0lightSync", true}}},
        {"led0lightSync", false, {{"led0lightEnabled", true}, {"led0lightState", true}, {"led0lightSync", false}}},
        {"led0lightState", false, {{"led0lightEnabled", true}, {"led0lightState", false}, {"led0lightSync", false}}},
        // A disabled light offers only its switch.
        {"led0lightEnabled", false, {{"led0lightEnabled", false}}},
        {"led0lightEnabled", true, {{"led0lightEnabled", true}, {"led0lightState", false}, {"led0lightSync", false}}},
    };
    std::size_t posts = countRequests(camsim, "POST", "/axis-cgi/lightcontrol.cgi");
    for (const auto& s : steps) {
        SCOPED_TRACE(std::string(s.name) + (s.value ? " on" : " off"));
        ASSERT_EQ(rig.source->SetValue(s.name, s.value), Orix::Ok);
        ASSERT_EQ(rig.apply(), Orix::Ok) << rig.log->all();
        EXPECT_EQ(countRequests(camsim, "POST", "/axis-cgi/lightcontrol.cgi"), posts + 1);
        EXPECT_EQ(countRequests(camsim, "GET", "action=update"), 0u); // a light alone writes no parameter
        props = properties(rig.acquire());
        posts = countRequests(camsim, "POST", "/axis-cgi/lightcontrol.cgi");
        std::map<std::string, bool> offered;
        for (const auto& [name, p] : props) {
            if (name.rfind("led0", 0) == 0)
                offered[name] = p["current"].asBool();
        }
        EXPECT_EQ(offered, s.expected);
    }
}

TEST_F(VideoSettings, QuadViewChangesTheCameraNumberOfTheStream)
{
    CamsimOptions options;
    options.model = "M3058-PLVE";
    CamsimProcess camsim(options);
    Rig rig(camsim);

    const auto deviceProps = properties(rig.acquire(*rig.device));
    ASSERT_EQ(deviceProps.count("dewarpMode"), 1u) << rig.log->all();
    const Json::Value& dewarp = deviceProps.at("dewarpMode");
    EXPECT_EQ(dewarp["current"].asString(), "Overview");
    std::vector<std::string> views;
    for (const auto& v : dewarp["enum"])
        views.push_back(v.asString());
    EXPECT_EQ(views, (std::vector<std::string>{"Overview", "Panorama", "Double Panorama", "Quad View", "View Area 1",
                                                "View Area 2", "View Area 3", "View Area 4", "Panorama Corner Left",
                                                "Panorama Corner Right", "Double Panorama Corner", "Corridor"}));

    rig.start();
    ASSERT_TRUE(rig.video.waitForFrames(1, 1, std::chrono::seconds(20))) << rig.log->all();
    ASSERT_EQ(rig.device->SetValue("dewarpMode", "Quad View"), Orix::Ok);
    ASSERT_EQ(rig.apply(*rig.device), Orix::Ok) << rig.log->all();
    EXPECT_EQ(countRequests(camsim, "GET", "/axis-cgi/param.cgi?action=update&ImageChannelSet.Selected=2"), 1u);
    EXPECT_EQ(cameraValue(camsim, "ImageChannelSet.Selected"), "2");

    bool quad = false;
    for (int i = 0; i < 200 && !quad; ++i) {
        quad = countRequests(camsim, "PLAY", "camera=4") > 0;
        if (!quad)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(quad) << rig.log->all();
    const std::size_t frames = rig.video.frames();
    EXPECT_TRUE(rig.video.waitForFrames(frames + 5, 1));
}

TEST_F(VideoSettings, CaptureModeRebootsTheCameraAndTheStreamComesBack)
{
    CamsimOptions options;
    options.model = "P3245-LVE";
    options.extraArguments = {"--reboot-seconds", "1"};
    CamsimProcess camsim(options);
    Rig rig(camsim);
    rig.start();
    const auto props = properties(rig.acquire());
    ASSERT_EQ(props.count("sensorCaptureMode"), 1u) << rig.log->all();
    std::vector<std::string> modes;
    for (const auto& v : props.at("sensorCaptureMode")["enum"])
        modes.push_back(v.asString());
    EXPECT_EQ(modes, (std::vector<std::string>{"1920x1080 (no WDR)", "1920x1080 (WDR)", "1280x720 60 fps (no WDR)"}));
    ASSERT_TRUE(rig.video.waitForFrames(1, 1, std::chrono::seconds(20))) << rig.log->all();

    ASSERT_EQ(rig.source->SetValue("sensorCaptureMode", "1280x720 60 fps (no WDR)"), Orix::Ok);
    ASSERT_EQ(rig.apply(), Orix::Ok) << rig.log->all();

    // The reboot was asked for and answered; the writer's unit test holds the order.
    EXPECT_EQ(countRequests(camsim, "POST", "/axis-cgi/firmwaremanagement.cgi"), 1u);

    // Back after the restart, with the capture mode's resolutions.
    std::string resolution;
    for (int i = 0; i < 300; ++i) {
        resolution = cameraValue(camsim, "Image.I0.Appearance.Resolution");
        if (resolution == "1280x720")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(resolution, "1280x720");
    EXPECT_EQ(cameraValue(camsim, "ImageSource.I0.Sensor.CaptureMode"), "3");
    EXPECT_EQ(cameraValue(camsim, "Properties.Image.Resolution"), "1280x720,1024x576,800x600,640x480,640x360,480x360,320x240");

    const std::size_t frames = rig.video.frames();
    EXPECT_TRUE(rig.video.waitForFrames(frames + 10, 1, std::chrono::seconds(60))) << rig.log->all();
}

TEST_F(VideoSettings, BooleansAreWrittenAsTheCameraSpellsThem)
{
    // The M1065-LW defines WDR as <bool true="on" false="off" />, the mirror
    // as yes/no.
    CamsimProcess camsim;
    Rig rig(camsim);
    rig.start();
    ASSERT_EQ(properties(rig.acquire()).at("WDR")["current"].asBool(), true);
    const struct {
        const char* name;
        bool value;
        const char* path;
        const char* stored;
    } steps[] = {
        {"WDR", false, "ImageSource.I0.Sensor.WDR", "off"},
        {"WDR", true, "ImageSource.I0.Sensor.WDR", "on"},
        {"imageMirror", true, "Image.I0.Appearance.MirrorEnabled", "yes"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::string(s.name) + (s.value ? " on" : " off"));
        ASSERT_EQ(rig.source->SetValue(s.name, s.value), Orix::Ok);
        EXPECT_EQ(rig.apply(), Orix::Ok) << rig.log->all();
        EXPECT_EQ(cameraValue(camsim, s.path), s.stored);
        EXPECT_EQ(properties(rig.acquire()).at(s.name)["current"].asBool(), s.value);
    }
}

TEST_F(VideoSettings, SecondStreamOverlayTextReachesTheProfileIntact)
{
    CamsimProcess camsim;
    Rig rig(camsim, 1);
    rig.start();
    ASSERT_EQ(properties(rig.acquire()).count("textOverlay"), 1u) << rig.log->all();
    const std::string before = profileParameters(camsim, "Profile101");
    const struct {
        const char* text;
        const char* stored; // the textstring value in the camera's profile
    } cases[] = {
        {"%F %T", "%25F%20%25T"},
        {"Gate #2", "Gate%20%232"},
        {"a+b", "a%2Bb"},
        {"in & out", "in%20%26%20out"},
        {"x=1", "x%3D1"},
        {"Inngang \xC3\x98st", "Inngang%20%C3%98st"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(rig.source->SetValue("textOverlay", c.text), Orix::Ok);
        ASSERT_EQ(rig.apply(), Orix::Ok) << rig.log->all();
        const std::string parameters = profileParameters(camsim, "Profile101");
        // Merged into the profile: what was there stays in front.
        EXPECT_EQ(parameters.rfind(before, 0), 0u) << parameters;
        EXPECT_NE(parameters.find(std::string("&textstring=") + c.stored), std::string::npos) << parameters;
        EXPECT_EQ(properties(rig.acquire()).at("textOverlay")["current"].asString(), c.text);
    }
}

// `vapixcam params` and `vapixcam set` run as programs against camsim: what
// they print, what the camera holds afterwards and how they end.
#include <support/CamsimProcess.h>
#include <support/ProcessRunner.h>

#include <gtest/gtest.h>
#include <json/json.h>
#include <unistd.h>

using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;
using TestSupport::ProcessResult;

namespace {

const std::string kBin = VAPIXCAM_BIN_DIR;
const std::string kVapixcam = kBin + "/vapixcam";
const std::string kModule = kBin + "/Velto.Vapixcam.vdx";

// A hang guard only: every run ends on its own well before this.
constexpr std::chrono::seconds kRunLimit{120};

#define REQUIRE_BINARIES()                                                                               \
    do {                                                                                                 \
        if (access(kVapixcam.c_str(), X_OK) != 0 || access(kModule.c_str(), R_OK) != 0 ||                \
            !CamsimProcess::available())                                                                 \
            GTEST_SKIP() << "vapixcam, camsim or the module is not built in " << kBin;                   \
    } while (false)

ProcessResult vapixcam(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), kVapixcam);
    return TestSupport::runProcess(arguments, kRunLimit);
}

// The lines vapixcam itself wrote to stderr; the rest is the module's log.
std::vector<std::string> ownLines(const std::string& err)
{
    std::vector<std::string> own;
    std::string::size_type start = 0;
    while (start < err.size()) {
        const auto end = err.find('\n', start);
        const std::string line = err.substr(start, end == std::string::npos ? end : end - start);
        if (line.rfind("vapixcam: ", 0) == 0)
            own.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return own;
}

Json::Value parseJson(const std::string& text)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors))
        ADD_FAILURE() << "not JSON (" << errors << "):\n" << text;
    return root;
}

Json::Value property(const Json::Value& document, const std::string& name)
{
    for (const char* list : {"settings", "videoStreamingSettings"}) {
        for (const Json::Value& group : document[list]) {
            for (const Json::Value& p : group["properties"]) {
                if (p["name"].asString() == name)
                    return p;
            }
        }
    }
    return Json::Value();
}

std::string cameraValue(const CamsimProcess& camsim, const std::string& path)
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), "GET", "/camsim/state");
    return parseJson(answer.body)["params"]["root." + path].asString();
}

} // namespace

TEST(VapixcamParams, PrintsWhatTheChannelOrTheDeviceOffers)
{
    REQUIRE_BINARIES();
    const struct {
        const char* model;
        std::vector<std::string> target;
        const char* name;       // a property that must be there
        const char* current;    // its value as text
        const char* absent;     // one that must not
    } cases[] = {
        {"M1065-LW", {}, "fps", "0", "led0lightEnabled"},
        {"M1065-LW", {"--channel", "0", "--stream", "0"}, "resolution", "1920x1080 (16:9)", "sensorCaptureMode"},
        {"P3245-LVE", {}, "led0lightEnabled", "true", "dewarpMode"},
        {"P3245-LVE", {}, "sensorCaptureMode", "1920x1080 (WDR)", "dewarpMode"},
        {"M3058-PLVE", {"--device"}, "dewarpMode", "Overview", "resolution"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.name);
        CamsimOptions options;
        options.model = c.model;
        CamsimProcess camsim(options);
        std::vector<std::string> args{"params", camsim.url(), "--timeout", "30"};
        args.insert(args.end(), c.target.begin(), c.target.end());
        const ProcessResult r = vapixcam(args);
        ASSERT_TRUE(r.exited(0)) << r.summary();
        EXPECT_TRUE(ownLines(r.err).empty()) << r.err;
        const Json::Value document = parseJson(r.out);
        EXPECT_EQ(document["schemaVersion"].asInt(), 1);
        const Json::Value p = property(document, c.name);
        ASSERT_TRUE(p.isObject()) << r.out;
        EXPECT_EQ(p["current"].asString(), c.current);
        EXPECT_TRUE(property(document, c.absent).isNull());
    }
}

TEST(VapixcamParams, TheDeviceOfACameraWithoutFisheyeOffersNothing)
{
    REQUIRE_BINARIES();
    CamsimProcess camsim;
    const ProcessResult r = vapixcam({"params", camsim.url(), "--device"});
    ASSERT_TRUE(r.exited(0)) << r.summary();
    const Json::Value document = parseJson(r.out);
    EXPECT_TRUE(document["settings"].isArray());
    EXPECT_EQ(document["settings"].size(), 0u);
}

TEST(VapixcamSet, ChangesTheCameraAndPrintsTheResult)
{
    REQUIRE_BINARIES();
    const struct {
        const char* model;
        std::vector<std::string> arguments;
        std::vector<std::pair<const char*, const char*>> camera; // parameter -> value afterwards
    } cases[] = {
        {"M1065-LW",
         {"resolution=1280x720 (16:9)", "fps=15"},
         {{"Image.I0.Appearance.Resolution", "1280x720"}, {"Image.I0.Stream.FPS", "15"}}},
        {"M1065-LW", {"textOverlay=Gate 2 north", "textOverlayEnabled=true"},
         {{"Image.I0.Text.String", "Gate 2 north"}, {"Image.I0.Text.TextEnabled", "yes"}}},
        {"M1065-LW", {"imageRotate=180"}, {{"Image.I0.Appearance.Rotation", "180"}}},
        {"M3058-PLVE", {"--device", "dewarpMode=Quad View"}, {{"ImageChannelSet.Selected", "2"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        CamsimOptions options;
        options.model = c.model;
        CamsimProcess camsim(options);
        std::vector<std::string> args{"set", camsim.url(), "--timeout", "30"};
        args.insert(args.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult r = vapixcam(args);
        ASSERT_TRUE(r.exited(0)) << r.summary();
        EXPECT_EQ(r.out, "ApplySettings: 0x000 success\n");
        EXPECT_TRUE(ownLines(r.err).empty()) << r.err;
        for (const auto& [path, value] : c.camera)
            EXPECT_EQ(cameraValue(camsim, path), value) << path;
    }
}

TEST(VapixcamSet, LightOnThenSeenByParams)
{
    REQUIRE_BINARIES();
    CamsimOptions options;
    options.model = "P3245-LVE";
    CamsimProcess camsim(options);
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        const ProcessResult set = vapixcam({"set", camsim.url(), std::string("led0lightState=") + (on ? "true" : "false")});
        ASSERT_TRUE(set.exited(0)) << set.summary();
        const ProcessResult params = vapixcam({"params", camsim.url()});
        ASSERT_TRUE(params.exited(0)) << params.summary();
        EXPECT_EQ(property(parseJson(params.out), "led0lightState")["current"].asBool(), on);
    }
}

TEST(VapixcamSet, FailuresEndWithOneLineAndLeaveTheCameraAsItWas)
{
    REQUIRE_BINARIES();
    const struct {
        std::vector<std::string> settings;
        int exitCode;
        const char* out;
        const char* line;
    } cases[] = {
        // The camera refuses the value (Stream.FPS is 0..30 on this model).
        {{"fps=99"}, 1, "ApplySettings: 0x006 invalid argument\n",
         "vapixcam: applying the settings to video channel 0 stream 0 failed: invalid argument (code 0x006)"},
        {{"fps=fast"}, 64, "", "vapixcam: fps takes an integer, got 'fast'"},
        {{"imageMirror=yes"}, 64, "", "vapixcam: imageMirror takes true or false, got 'yes'"},
        {{"fps=10", "zoom=3"}, 1, "",
         "vapixcam: video channel 0 stream 0 offers no setting 'zoom' (vapixcam params lists the settings)"},
        {{"fps"}, 64, "", "vapixcam: a setting is NAME=VALUE, got 'fps'"},
    };
    CamsimProcess camsim;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.front());
        std::vector<std::string> args{"set", camsim.url()};
        args.insert(args.end(), c.settings.begin(), c.settings.end());
        const ProcessResult r = vapixcam(args);
        EXPECT_TRUE(r.exited(c.exitCode)) << r.summary();
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(ownLines(r.err), std::vector<std::string>{c.line}) << r.err;
        EXPECT_EQ(cameraValue(camsim, "Image.I0.Stream.FPS"), "0");
    }
}

TEST(VapixcamSet, PasswordsNeverReachTheOutputEvenAtDebugLevel)
{
    REQUIRE_BINARIES();
    CamsimOptions options;
    options.model = "P3245-LVE";
    options.password = "Secret-Pw.4711";
    CamsimProcess camsim(options);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"set", camsim.url(), "--log-level", "0", "led0lightSync=false", "brightness=60"},
             {"params", camsim.url(), "--log-level", "0"},
             {"set", camsim.url("root", "Wrong-Pw.0815"), "--log-level", "0", "brightness=60"}}) {
        SCOPED_TRACE(args.front());
        const ProcessResult r = vapixcam(args);
        EXPECT_EQ(r.out.find("Secret-Pw"), std::string::npos);
        EXPECT_EQ(r.err.find("Secret-Pw"), std::string::npos);
        EXPECT_EQ(r.err.find("Wrong-Pw"), std::string::npos);
        EXPECT_FALSE(r.timedOut);
    }
    EXPECT_EQ(cameraValue(camsim, "ImageSource.I0.Sensor.Brightness"), "60");
}

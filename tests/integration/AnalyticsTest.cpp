// Detectors against camsim's event engine: the device's one event stream
// carries camsim's notifications to the detectors, and the host hears
// events; and `vapixcam events` end to end. The stream's coalescing and the
// wait after starting a camera application are shortened here.
#include "Device.h"
#include "EventStream.h"
#include "TrackerDetection.h"
#include "VideoAnalyticsApplicationBased.h"

#include <netkit/repository/RepositoryReader.h>
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"
#include "support/ProcessRunner.h"
#include "unit/analytics/RecordingTargets.h"
#include "unit/events/EventsTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <json/json.h>
#include <netkit/http/HttpClient.h>
#include <sstream>
#include <thread>

using Orix::GDRV::ConnectionState;
using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

constexpr auto kLimit = std::chrono::seconds(20);

Orix::GDRV::DeviceDescription genericDescription()
{
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    description.videoSources.resize(1);
    return description;
}

bool parseJson(const std::string& text, Json::Value& root)
{
    std::istringstream in(text);
    std::string errors;
    return Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors);
}

// The repository the module ships, which gives detectors their settings.
Orix::GDRV::DriverInfoPtr shippedRepository()
{
    auto info = std::make_shared<Orix::GDRV::DriverInfo>();
    Orix::Utility::RepositoryReader reader(std::make_shared<TestSupport::CapturingLogger>());
    EXPECT_EQ(reader.load(VAPIXCAM_SOURCE_DIR "/data/Velto.Vapixcam.rep", *info), 0);
    return info;
}

// The "current" value of a property in a settings document, as text.
std::string currentValue(const std::string& document, const std::string& name)
{
    Json::Value root;
    if (!parseJson(document, root))
        return "(not JSON)";
    for (const auto& group : root["settings"])
        for (const auto& property : group["properties"])
            if (property["name"].asString() == name)
                return property["current"].isNull() ? "(no value)" : property["current"].asString();
    return "(missing)";
}

Json::Value control(const CamsimProcess& camsim, const std::string& method, const std::string& path,
                    const std::string& body = {})
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), method, path, body);
    EXPECT_EQ(answer.status, 200) << path << " " << body << ": " << answer.body << answer.error;
    Json::Value root;
    parseJson(answer.body, root);
    return root;
}

// Sends the notification until a session took it (the stream opens after
// the coalescing delay).
void trigger(const CamsimProcess& camsim, const std::string& body,
             std::chrono::seconds limit = kLimit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (control(camsim, "POST", "/camsim/events", body)["sessions"].asInt() < 1 &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// One connected device with short event-stream delays.
struct Camera {
    // applications: camsim's --apps ("name" running, "name:stopped").
    explicit Camera(const std::string& model, const std::string& applications = "vmd")
        : camsim([&] {
              CamsimOptions o;
              o.model = model;
              o.extraArguments = {"--apps", applications};
              return o;
          }()),
          log(std::make_shared<TestSupport::CapturingLogger>(0)),
          device(std::make_unique<Vapixcam::Device>(&deviceHandler, genericDescription(), "generic", "",
                                                    shippedRepository(), log))
    {
        device->Connect(camsim.url().c_str());
        EXPECT_TRUE(deviceHandler.waitFor(ConnectionState::Connected)) << log->all();
        Vapixcam::runOnIoThread(*device, [this] {
            device->getNotificationStream()->setDelays(std::chrono::milliseconds(300), std::chrono::milliseconds(300));
        });
    }
    ~Camera()
    {
        for (auto* d : detectors)
            d->Destroy();
        device.reset();
    }
    Orix::Analytics::IVideoAnalytics* start(Orix::Analytics::IVideoAnalytics* detector)
    {
        EXPECT_NE(detector, nullptr);
        if (!detector)
            return nullptr;
        if (auto* application = dynamic_cast<Vapixcam::VideoAnalyticsApplicationBased*>(detector))
            application->setApplicationStartWait(std::chrono::milliseconds(0));
        detectors.push_back(detector);
        detector->Start();
        return detector;
    }
    Orix::Analytics::IVideoAnalytics* create(EventsTest::RecordingAnalyticsHandler& handler, const char* id)
    {
        return start(device->CreateVideoAnalytics(&handler, 0, id));
    }

    CamsimProcess camsim;
    std::shared_ptr<TestSupport::CapturingLogger> log;
    TestSupport::RecordingDeviceHandler deviceHandler;
    std::unique_ptr<Vapixcam::Device> device;
    std::vector<Orix::Analytics::IVideoAnalytics*> detectors;
};

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The host events among the calls (a stream outage on a loaded machine may
// come between them), each without its time.
std::vector<std::string> events(const EventsTest::RecordingAnalyticsHandler& handler)
{
    std::vector<std::string> out;
    for (const auto& call : handler.calls())
        if (startsWith(call, "event ") || startsWith(call, "twoPhase "))
            out.push_back(call.substr(0, call.rfind(' ')));
    return out;
}

bool waitForEvents(const EventsTest::RecordingAnalyticsHandler& handler, std::size_t count)
{
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (events(handler).size() < count && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return events(handler).size() >= count;
}

class Analytics : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        Orix::http::clearAuthenticationCache();
    }
};

} // namespace

TEST_F(Analytics, MotionWindowOpensAndClosesOneEventAndTamperingIsImmediate)
{
    Camera camera("M1065-LW");
    EventsTest::RecordingAnalyticsHandler motion, tampering;
    camera.create(motion, "motionDetection");
    camera.create(tampering, "tamperingDetection");
    ASSERT_TRUE(motion.waitFor(1) && tampering.waitFor(1)) << camera.log->all();
    ASSERT_EQ(motion.calls().front(), "started") << camera.log->all();
    ASSERT_EQ(tampering.calls().front(), "started") << camera.log->all();

    trigger(camera.camsim, R"({"event":"motion","window":0,"active":true})");
    trigger(camera.camsim, R"({"event":"tampering","channel":1})");
    trigger(camera.camsim, R"({"event":"motion","window":0,"active":false})");
    ASSERT_TRUE(waitForEvents(motion, 2) && waitForEvents(tampering, 1)) << camera.log->all();
    EXPECT_EQ(events(motion), (std::vector<std::string>{"twoPhase MotionDetection 1", "twoPhase MotionDetection 0"}));
    EXPECT_EQ(events(tampering), std::vector<std::string>{"event Tampering"});
}

TEST_F(Analytics, GunshotReachesOnlyItsDetectorAndARunningApplicationStarts)
{
    // The gunshot classifier runs already: the camera answers its start
    // with "Error: 6"; the alarm classifier starts with "OK".
    Camera camera("P3245-LVE", "SIGunshotDetector,SIAlarmDetector:stopped");
    EventsTest::RecordingAnalyticsHandler gunshot, alarm;
    camera.create(gunshot, "gunshotDetector");
    camera.create(alarm, "alarmDetector");
    ASSERT_TRUE(gunshot.waitFor(1) && alarm.waitFor(1)) << camera.log->all();
    ASSERT_EQ(gunshot.calls().front(), "started") << camera.log->all();
    ASSERT_EQ(alarm.calls().front(), "started") << camera.log->all();

    trigger(camera.camsim, R"({"event":"sound","class":"gunshot"})");
    ASSERT_TRUE(waitForEvents(gunshot, 1)) << camera.log->all();
    trigger(camera.camsim, R"({"event":"sound","class":"alarm"})");
    ASSERT_TRUE(waitForEvents(alarm, 1)) << camera.log->all();
    EXPECT_EQ(events(gunshot), std::vector<std::string>{"event CameraApplicationPlatform/SIGunshotDetector"});
    EXPECT_EQ(events(alarm), std::vector<std::string>{"event CameraApplicationPlatform/SIAlarmDetector"});
}

TEST_F(Analytics, SettingsReadFromTheCamera)
{
    Camera camera("P3245-LVE", "vmd,QVT,SIGunshotDetector");
    const struct {
        const char* id;
        const char* property;
        std::string current;
    } cases[] = {
        {"gunshotDetector", "sensitivity", "3"},
        {"NorvikOnboardTracker", "determineObjectColor", "true"},
        {"NorvikOnboardTracker", "maxUnattendedObjectWidth", ""},
        {"shockDetection", "sensitivity", ""},
        {"motionDetectionV4", "sizePercentageW", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + c.property);
        EventsTest::RecordingAnalyticsHandler handler;
        auto* detector = camera.device->CreateVideoAnalytics(&handler, 0, c.id);
        ASSERT_NE(detector, nullptr);
        camera.detectors.push_back(detector);
        auto* provider = static_cast<Orix::IDynamicParametersProvider*>(
            detector->QueryContract(Orix::contractName<Orix::IDynamicParametersProvider>()));
        ASSERT_NE(provider, nullptr);
        TestSupport::RecordingParametersHandler parameters;
        provider->AcquireDynamicParameters(&parameters);
        ASSERT_TRUE(parameters.wait()) << camera.log->all();
        ASSERT_EQ(parameters.failure(), 0u) << camera.log->all();
        const std::string value = currentValue(parameters.json(), c.property);
        if (c.current.empty())
            EXPECT_EQ(value.find("("), std::string::npos) << parameters.json();
        else
            EXPECT_EQ(value, c.current) << parameters.json();
    }
}

TEST_F(Analytics, TrackedObjectsArriveWithBoxes)
{
    Camera camera("P3245-LVE", "QVT:stopped");
    EventsTest::RecordingAnalyticsHandler handler;
    AnalyticsTest::RecordingTargets host;
    camera.start(new Vapixcam::TrackerDetection(&handler, 0, "NorvikOnboardTracker", *camera.device, &host));
    ASSERT_TRUE(handler.waitFor(1)) << camera.log->all();
    ASSERT_EQ(handler.calls().front(), "started") << camera.log->all();

    trigger(camera.camsim, R"({"event":"tracker","frames":2,"intervalMs":50,)"
                           R"("objects":[{"id":7,"from":[0,0,0.5,-0.5],"to":[0,0,0.5,-0.5],"color":[255,0,0]}]})");
    // Frames of the object while it is tracked, then one without it when it
    // is removed.
    const std::string tracked = "7:0.5,0.5,0.25,0.25 ColorH=0 ColorS=1 ColorV=1";
    const auto seen = [&] {
        const auto frames = host.frames();
        return std::find(frames.begin(), frames.end(), tracked) != frames.end();
    };
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (!seen() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string frames;
    for (const auto& frame : host.frames())
        frames += "[" + frame + "] ";
    EXPECT_TRUE(seen()) << frames << camera.log->all();
}

TEST_F(Analytics, VapixcamEventsPrintsLinesAndRefusesUnknownDetectors)
{
    CamsimProcess camsim;
    const std::string vapixcam = CamsimProcess::toolsDirectory() + "/vapixcam";

    const auto refused = TestSupport::runProcess(
        {vapixcam, "events", camsim.url(), "--detector", "tamperingDetection", "--detector", "noSuchDetector",
         "--seconds", "1"},
        std::chrono::seconds(30));
    EXPECT_TRUE(refused.exited(2)) << refused.summary();
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("noSuchDetector"), std::string::npos) << refused.err;

    // The product's coalescing delay (10 s) passes before the stream opens.
    std::thread triggers(
        [&] { trigger(camsim, R"({"event":"tampering","channel":1})", std::chrono::seconds(50)); });
    const auto run = TestSupport::runProcess(
        {vapixcam, "events", camsim.url(), "--detector", "tamperingDetection", "--seconds", "16"},
        std::chrono::seconds(60));
    triggers.join();
    EXPECT_TRUE(run.exited(0)) << run.summary();
    std::istringstream lines(run.out);
    std::vector<Json::Value> seen;
    for (std::string line; std::getline(lines, line);) {
        Json::Value value;
        ASSERT_TRUE(parseJson(line, value)) << line;
        seen.push_back(value);
    }
    ASSERT_EQ(seen.size(), 3u) << run.out;
    EXPECT_EQ(seen[0]["type"].asString(), "started");
    EXPECT_EQ(seen[1]["type"].asString(), "event");
    EXPECT_EQ(seen[1]["kind"].asString(), "immediate");
    EXPECT_EQ(seen[1]["name"].asString(), "Tampering");
    EXPECT_EQ(seen[1]["time"].asString().size(), std::string("2026-03-01T10:00:00.250Z").size());
    EXPECT_EQ(seen[2]["type"].asString(), "stopped");
}

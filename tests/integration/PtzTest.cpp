// PTZ end to end against camsim's PTZ head: vapixcam ptz as a program (one
// row per operation: exit code, result and the data it prints), and the
// module's telemetry channel driven as a host drives it, through the
// camera's control queue (P5512 queues PTZ control): control taken once and
// shown on every command, a client behind another holder waits for its
// turn, tours stored, started and stopped, and control given back when the
// channel goes.
#include "Device.h"
#include "TelemetryChannelCQ.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"
#include "support/ProcessRunner.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <netkit/http/HttpClient.h>
#include <orix/ErrorCodes.h>
#include <sstream>
#include <unistd.h>

using Orix::GDRV::ConnectionState;
using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

// The tools of the plain build, also when the tests themselves run sanitized.
const std::string kBin = CamsimProcess::toolsDirectory();
const std::string kVapixcam = kBin + "/vapixcam";
constexpr std::chrono::seconds kRunLimit{120}; // a hang guard only

#define REQUIRE_BINARIES()                                                              \
    do {                                                                                \
        if (access(kVapixcam.c_str(), X_OK) != 0 || !CamsimProcess::available())        \
            GTEST_SKIP() << "vapixcam or camsim is not built in " << kBin;              \
    } while (false)

Json::Value parseJson(const std::string& text)
{
    Json::Value root;
    std::istringstream in(text);
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr))
        ADD_FAILURE() << "not JSON:\n" << text;
    return root;
}

std::string compact(const Json::Value& value)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, value);
}

// camsim's own view of its PTZ head (GET or POST /camsim/ptz).
Json::Value camsimPtz(const CamsimProcess& camsim, const std::string& body = {})
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), body.empty() ? "GET" : "POST",
                                                      "/camsim/ptz", body);
    EXPECT_EQ(answer.status, 200) << answer.body;
    return parseJson(answer.body);
}

// The request log with the control cookie each request carried.
std::vector<std::pair<std::string, std::string>> loggedCookies(const CamsimProcess& camsim)
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), "GET", "/camsim/requests");
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& entry : parseJson(answer.body))
        out.emplace_back(entry["target"].asString(), entry["ptzControlId"].asString());
    return out;
}

Orix::GDRV::DeviceDescription genericDescription()
{
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    return description;
}

} // namespace

TEST(Ptz, VapixcamPtzOperations)
{
    REQUIRE_BINARIES();
    CamsimOptions options;
    options.model = "P5512";
    options.rtsp = false;
    CamsimProcess camsim(options);
    camsimPtz(camsim, R"({"camera":1,"pan":10,"tilt":-5,"zoom":200})");

    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int exit;
        const char* output; // members of the printed object, compact JSON
    } cases[] = {
        {"position", {"position"}, 0, R"({"meaning":"success","pan":10,"result":0,"tilt":-5,"zoom":200})"},
        {"move", {"move", "-20", "10"}, 0, R"({"meaning":"success","result":0})"},
        {"stop", {"stop"}, 0, R"({"meaning":"success","result":0})"},
        {"area zoom", {"area-zoom", "0.25", "0.25", "0.5", "0.25"}, 0, R"({"meaning":"success","result":0})"},
        {"preset by name", {"preset-set", "--name", "Front Door"}, 0, R"({"meaning":"success","result":0})"},
        {"go to it", {"preset-go", "--name", "Front Door", "--speed", "50"}, 0, R"({"meaning":"success","result":0})"},
        {"unknown preset", {"preset-go", "--name", "Nowhere"}, 1, R"({"meaning":"no such preset","result":10})"},
        {"queue limit", {"queue-set", "queueLimit=30"}, 0, R"({"meaning":"success","result":0})"},
        {"queue limit out of range", {"queue-set", "queueLimit=1000"}, 1, R"({"meaning":"invalid argument","result":6})"},
        {"no such operation", {"spin"}, 64, nullptr},
        {"fractions only", {"center", "2", "0.5"}, 64, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv{kVapixcam, "ptz", camsim.url()};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const auto run = TestSupport::runProcess(argv, kRunLimit);
        EXPECT_EQ(run.exitCode, c.exit) << run.err;
        if (c.output != nullptr) {
            EXPECT_EQ(compact(parseJson(run.out)), c.output) << run.err;
        }
    }

    const auto presets = TestSupport::runProcess({kVapixcam, "ptz", camsim.url(), "presets"}, kRunLimit);
    const Json::Value listed = parseJson(presets.out)["presets"];
    bool found = false;
    for (const auto& p : listed)
        found = found || p["name"].asString() == "Front Door";
    EXPECT_TRUE(found) << presets.out;
    const auto queue = TestSupport::runProcess({kVapixcam, "ptz", camsim.url(), "queue"}, kRunLimit);
    EXPECT_NE(compact(parseJson(queue.out)["queue"]).find(R"("current":30,"keep":false,"max":100,"min":1,"name":"queueLimit")"),
              std::string::npos)
        << queue.out;

    // Every command of every run carried the control cookie the camera gave.
    for (const auto& [target, cookie] : loggedCookies(camsim)) {
        if (target.rfind("/axis-cgi/com/ptz.cgi?camera=1&continuous", 0) == 0) {
            EXPECT_FALSE(cookie.empty()) << target;
        }
    }
}

TEST(Ptz, ModuleChannelThroughTheControlQueue)
{
    REQUIRE_BINARIES();
    CamsimOptions options;
    options.model = "P5512";
    options.rtsp = false;
    CamsimProcess camsim(options);
    Orix::http::clearAuthenticationCache();
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler;
    auto device = std::make_unique<Vapixcam::Device>(&deviceHandler, genericDescription(), "generic", "", nullptr, log);
    device->Connect(camsim.url().c_str());
    ASSERT_TRUE(deviceHandler.waitFor(ConnectionState::Connected)) << log->all();

    auto* created = device->CreateTelemetryChannel(0);
    auto* channel = dynamic_cast<Vapixcam::TelemetryChannelCQ*>(created);
    ASSERT_NE(channel, nullptr) << "a camera that queues PTZ control gets the queued channel";

    // Another client holds control for two seconds: the command waits its turn.
    camsimPtz(camsim, R"({"camera":1,"holder":"other","seconds":2})");
    EXPECT_EQ(channel->MovePanTilt(20, 0), Orix::Ok) << log->all();
    EXPECT_EQ(channel->MovePanTilt(0, 0), Orix::Ok);

    // A guard tour of two presets, stored in the background, started and stopped.
    ASSERT_EQ(channel->SetPreset(0u), Orix::Ok) << log->all();
    ASSERT_EQ(channel->SetPreset(1u), Orix::Ok);
    ASSERT_EQ(channel->BeginTour(1), Orix::Ok);
    ASSERT_EQ(channel->AddTourPoint(1, 0, 50, 1), Orix::Ok);
    ASSERT_EQ(channel->AddTourPoint(2, 1, 50, 1), Orix::Ok);
    ASSERT_EQ(channel->EndTour(), Orix::Ok);
    for (const auto& reply : channel->waitForTourStored())
        EXPECT_EQ(reply.result, Orix::Ok) << reply.answer;
    EXPECT_EQ(channel->StartTour(1), Orix::Ok) << log->all();
    EXPECT_FALSE(camsimPtz(camsim)["cameras"][0]["guardTour"].isNull()) << compact(camsimPtz(camsim));
    EXPECT_EQ(channel->StopTour(1), Orix::Ok);
    // No guard tour 2: the camera's recorded tour 1 plays instead.
    EXPECT_EQ(channel->StartTour(2), Orix::Ok) << log->all();
    EXPECT_EQ(channel->StopTour(2), Orix::Ok);

    const std::string held = channel->queryManager()->controlIdentifier();
    EXPECT_FALSE(held.empty());
    created->Destroy();
    // Control is given back: the drop carries the identifier.
    bool dropped = false;
    for (int i = 0; i < 100 && !dropped; ++i) {
        for (const auto& [target, cookie] : loggedCookies(camsim))
            dropped = dropped || (target == "/axis-cgi/com/ptzqueue.cgi?control=drop&camera=1" && cookie == held);
        if (!dropped)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(dropped);
    device->Disconnect();
    device.reset();
}

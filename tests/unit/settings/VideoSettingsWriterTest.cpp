#include "AsyncSettingsSupport.h"
#include "VideoParameterTable.h"
#include "VideoSettingsWriter.h"

#include <boost/asio/io_context.hpp>
#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using Orix::Utility::ParamMap;
using TestSupport::HttpTestServer;

namespace {

const std::string kReboot = "/axis-cgi/firmwaremanagement.cgi";
const std::string kLights = "/axis-cgi/lightcontrol.cgi";
const char* const kRebootBody =
    "{\n\t\"apiVersion\": \"1.0\",\n\t\"context\": \"context\",\n"
    "\t\"method\": \"reboot\",\n\t\"params\": {\n\t}\n}";

struct Channel {
    Channel() : logger(std::make_shared<TestSupport::CapturingLogger>()), owner(logger)
    {
        DefinitionsReader reader(VideoParameterTable::descriptors(),
                                 *shippedRepository()->groups.at("Properties"), {}, owner);
        EXPECT_EQ(reader.read(readFixture("M1065-LW_9.10.1_listdefinitions_ImageSource.I0.xml"),
                              acquired.properties),
                  Orix::Ok);
        EXPECT_EQ(reader.read(readFixture("C-Bullet-LE_9.80.2.2_listdefinitions_Image.I0.xml"),
                              acquired.properties),
                  Orix::Ok);
        LightInformation lights;
        EXPECT_EQ(LightControl::readInformation(readFixture("light-information_IR.json"), lights, owner),
                  Orix::Ok);
        acquired.lights = lights.lights;
        for (const auto& [name, value] : acquired.properties.values)
            values.setPersistentParam(name, value);
    }

    struct Result {
        int calls = 0;
        std::uint32_t code = 0xffffffff;
        bool newSession = false;
        bool profile = false;
    };

    Result apply(HttpTestServer& server, const ParamMap& changed)
    {
        boost::asio::io_context io;
        values.updateParams(changed);
        VideoUpdateInputs inputs;
        inputs.changed = changed;
        inputs.acquired = &acquired;
        Result result;
        auto writer = VideoSettingsWriter::create(io, cameraAt(server.port()), logger, "vs 0.0");
        writer->start(values, inputs, [&result](std::uint32_t code, bool newSession, bool profile) {
            ++result.calls;
            result.code = code;
            result.newSession = newSession;
            result.profile = profile;
        });
        io.run();
        return result;
    }

    std::shared_ptr<TestSupport::CapturingLogger> logger;
    Orix::LoggerOwner owner;
    AcquiredVideoSettings acquired;
    Orix::Utility::ParametersContainer values;
};

ScriptedCamera acceptingCamera()
{
    ScriptedCamera camera;
    camera.answers["/axis-cgi/operator/param.cgi?action=update&ImageSource.I0.Sensor.CaptureMode=2"] = {200, "OK"};
    camera.answers["/axis-cgi/operator/param.cgi?action=update&ImageSource.I0.Sensor.Brightness=70"] = {200, "OK"};
    camera.answers["/axis-cgi/operator/param.cgi?action=update&ImageSource.I0.Sensor.Brightness=70"
                   "&ImageSource.I0.Sensor.Contrast=20"] = {200, "OK"};
    camera.answers[kReboot] = {200, R"({"apiVersion":"1.4","context":"context","method":"reboot"})"};
    camera.answers[kLights] = {200, R"({"apiVersion":"1.1","context":"context","method":"disableLight","data":{}})"};
    return camera;
}

} // namespace

TEST(VideoSettingsWriter, CaptureModeChangeUpdatesThenReboots)
{
    HttpTestServer server(acceptingCamera());
    Channel channel;
    const auto result =
        channel.apply(server, {{"sensorCaptureMode", std::string("1920x1080 (16:9) 50/60 fps (no WDR)")}});
    EXPECT_EQ(result.calls, 1);
    EXPECT_EQ(result.code, Orix::Ok) << channel.logger->all();
    EXPECT_TRUE(result.newSession);
    EXPECT_EQ(targets(server),
              (std::vector<std::string>{
                  "GET /axis-cgi/operator/param.cgi?action=update&ImageSource.I0.Sensor.CaptureMode=2",
                  "POST " + kReboot}));
    EXPECT_EQ(server.requests()[1].body, kRebootBody);
    EXPECT_EQ(server.requests()[1].header("Content-Type"), "application/json");
    EXPECT_TRUE(channel.logger->contains("Requesting a device reboot..."));
}

TEST(VideoSettingsWriter, TransportOnlyChangeSendsNothingAndAsksForASession)
{
    HttpTestServer server(acceptingCamera());
    Channel channel;
    const auto result = channel.apply(server, {{"transportProtocol", std::string("udp")}});
    EXPECT_EQ(result.calls, 1);
    EXPECT_EQ(result.code, Orix::Ok);
    EXPECT_TRUE(result.newSession);
    EXPECT_FALSE(result.profile);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(VideoSettingsWriter, LightAndParameterRequestsRunTogether)
{
    HttpTestServer server(acceptingCamera());
    Channel channel;
    const auto result = channel.apply(server, {{"brightness", 70}, {"led0lightEnabled", false}});
    EXPECT_EQ(result.calls, 1);
    EXPECT_EQ(result.code, Orix::Ok) << channel.logger->all();
    EXPECT_FALSE(result.newSession);
    auto sent = targets(server);
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "GET /axis-cgi/operator/param.cgi?action=update&ImageSource.I0.Sensor.Brightness=70",
                        "POST " + kLights}));
}

TEST(VideoSettingsWriter, RefusalsAndFailuresReachTheHandler)
{
    struct Case {
        const char* name;
        ParamMap changed;
        std::string target;
        unsigned status;
        std::string body;
        std::uint32_t code;
        bool rebootSent;
        const char* logLine;
    };
    const std::string captureMode = "/axis-cgi/operator/param.cgi?action=update&ImageSource.I0.Sensor.CaptureMode=2";
    const std::string noWdr = "1920x1080 (16:9) 50/60 fps (no WDR)";
    const Case cases[] = {
        {"camera refuses the value", {{"sensorCaptureMode", noWdr}}, captureMode, 200,
         "# Error: Error setting 'ImageSource.I0.Sensor.CaptureMode' to '2'!\n", Orix::InvalidArgument, false,
         "Device refused the update: Error: Error setting 'ImageSource.I0.Sensor.CaptureMode' to '2'!"},
        {"update answered without OK", {{"sensorCaptureMode", noWdr}}, captureMode, 200,
         "<html><body>Please log in</body></html>\n", Orix::InvalidArgument, false,
         "Device refused the update: unexpected answer: <html><body>Please log in</body></html>"},
        {"update answered 503", {{"sensorCaptureMode", noWdr}}, captureMode, 503, "busy",
         Orix::ServiceUnavailable, false, "HTTP response has error code: 503"},
        {"reboot refused", {{"sensorCaptureMode", noWdr}}, kReboot, 200,
         R"({"apiVersion":"1.4","context":"context","method":"reboot","error":{"code":2004,"message":"Not authorized"}})",
         Orix::InvalidArgument, true, "Device refused to reboot: 2004 Not authorized"},
        {"light refused", {{"led0lightEnabled", false}}, kLights, 200,
         R"({"apiVersion":"1.1","method":"disableLight","error":{"code":1000,"message":"Internal error"}})",
         Orix::InvalidArgument, false, "Light control refused the request: 1000 Internal error"},
        {"light refused with a bare error text", {{"led0lightEnabled", false}}, kLights, 200,
         R"({"apiVersion":"1.1","method":"disableLight","error":"Internal error"})",
         Orix::InvalidArgument, false, "Light control refused the request: 0 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedCamera camera = acceptingCamera();
        camera.answers[c.target] = {c.status, c.body};
        HttpTestServer server(camera);
        Channel channel;
        const auto result = channel.apply(server, c.changed);
        EXPECT_EQ(result.calls, 1);
        EXPECT_EQ(result.code, c.code);
        const auto sent = targets(server);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "POST " + kReboot), c.rebootSent ? 1 : 0);
        EXPECT_TRUE(channel.logger->contains(c.logLine)) << channel.logger->all();
    }
}

TEST(VideoSettingsWriter, BlockedConfigurationKeepsChangesForLater)
{
    HttpTestServer server(acceptingCamera());
    Channel channel;
    channel.values.setPersistentParam("blockingConfiguration", true);
    const auto held = channel.apply(server, {{"brightness", 70}});
    EXPECT_EQ(held.calls, 1);
    EXPECT_EQ(held.code, Orix::Ok);
    EXPECT_EQ(server.requestCount(), 0u);

    channel.values.setPersistentParam("blockingConfiguration", false);
    const auto sent = channel.apply(server, {{"contrast", 20}});
    EXPECT_EQ(sent.code, Orix::Ok) << channel.logger->all();
    EXPECT_EQ(targets(server),
              (std::vector<std::string>{"GET /axis-cgi/operator/param.cgi?action=update"
                                        "&ImageSource.I0.Sensor.Brightness=70&ImageSource.I0.Sensor.Contrast=20"}));
}

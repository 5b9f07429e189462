// firmwaremanagement.cgi of the simulated camera: the JSON answers, the
// restart and what only a restart applies (the capture mode's resolutions).
// The restart over real sockets is in SimulatorTest.
#include "FirmwareCgi.h"
#include "ModelLoader.h"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <sstream>

namespace asio = boost::asio;
using Camsim::FirmwareCgi;
using Camsim::Model;

namespace {

Model load(const std::string& name)
{
    std::string error;
    auto model = Camsim::ModelLoader::load(CAMSIM_DATA_DIR, name, error);
    EXPECT_TRUE(model) << error;
    return model ? std::move(*model) : Model{};
}

Camsim::HttpRequest post(const std::string& body)
{
    Camsim::HttpRequest r;
    r.method = "POST";
    r.target = "/axis-cgi/firmwaremanagement.cgi";
    r.headers = {{"Content-Type", "application/json"}};
    r.body = body;
    return r;
}

// The driver's reboot body.
const char* const kRebootBody =
    "{\n\t\"apiVersion\": \"1.0\",\n\t\"context\": \"context\",\n\t\"method\": \"reboot\",\n\t\"params\": {\n\t}\n}";

} // namespace

TEST(FirmwareCgi, AnswersInTheJsonEnvelope)
{
    const struct {
        const char* name;
        std::string body;
        int errorCode;
        const char* dataJson; // compact, keys sorted
    } cases[] = {
        {"versions", R"({"apiVersion":"1.0","context":"abc","method":"getSupportedVersions"})", 0, R"({"apiVersions":["1.4"]})"},
        {"status", R"({"apiVersion":"1.4","method":"status"})", 0,
         R"({"activeFirmwarePart":"","activeFirmwareVersion":"10.12.182","isCommitted":true})"},
        {"unknown method", R"({"apiVersion":"1.0","method":"selfDestruct"})", 2102, "null"},
        {"newer version", R"({"apiVersion":"1.5","method":"reboot"})", 2100, "null"},
        {"not JSON", "method=reboot", 2101, "null"},
    };
    asio::io_context io; // never run: a restart stays scheduled
    Camsim::Camera camera(load("P3245-LVE"));
    FirmwareCgi cgi(camera, io, {}, std::chrono::milliseconds(0));
    Json::StreamWriterBuilder compact;
    compact["indentation"] = "";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = cgi.handle(post(c.body));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "application/json");
        Json::Value answer;
        std::istringstream in(r.body);
        ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &answer, nullptr)) << r.body;
        EXPECT_EQ(answer["apiVersion"].asString(), "1.4");
        EXPECT_EQ(answer["error"]["code"].asInt(), c.errorCode) << r.body;
        EXPECT_EQ(Json::writeString(compact, answer["data"]), c.dataJson);
    }
    EXPECT_FALSE(cgi.rebooting());
    // The reboot answer echoes the request, in the camera's layout.
    EXPECT_EQ(cgi.handle(post(kRebootBody)).body,
              "{\n  \"apiVersion\": \"1.4\",\n  \"context\": \"context\",\n  \"method\": \"reboot\",\n  \"data\": {}\n}\n");
    EXPECT_TRUE(cgi.rebooting());
    EXPECT_EQ(cgi.reboots(), 0u);

    Camsim::HttpRequest get = post("");
    get.method = "GET";
    EXPECT_EQ(cgi.handle(get).status, 405);
}

TEST(FirmwareCgi, OnlyFirmwareFrom7_40HasTheService)
{
    const struct {
        const char* model;
        bool available;
    } cases[] = {{"M1065-LW", true}, {"M3058-PLVE", true}, {"P3245-LVE", true}, {"P5512", false}, {"P7214", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        EXPECT_EQ(FirmwareCgi::available(load(c.model)), c.available);
    }
}

TEST(FirmwareCgi, RestartPowersOffThenOnAndAppliesTheCaptureMode)
{
    asio::io_context io;
    Camsim::Camera camera(load("P3245-LVE"));
    std::vector<std::string> calls;
    auto note = [&](const char* what) {
        calls.push_back(what);
        calls.push_back(camera.withModel([](Model& m) { return m.value("Image.I0.Appearance.Resolution"); }));
    };
    FirmwareCgi cgi(camera, io, {[&] { note("off"); }, [&] { note("on"); }}, std::chrono::milliseconds(0));
    camera.withModel([](Model& m) { m.params.findParam("ImageSource.I0.Sensor.CaptureMode")->value = "3"; });
    cgi.handle(post(kRebootBody));
    cgi.handle(post(kRebootBody)); // a second request while going down restarts nothing more
    io.run();
    // Still the old mode while the camera is down.
    EXPECT_EQ(calls, (std::vector<std::string>{"off", "1920x1080", "on", "1280x720"}));
    EXPECT_EQ(cgi.reboots(), 1u);
    EXPECT_FALSE(cgi.rebooting());
}

TEST(FirmwareCgi, BootLimitsResolutionsToTheCaptureMode)
{
    const struct {
        const char* model;
        std::vector<const char*> modes; // applied one after another, each with a restart
        const char* properties;         // Properties.Image.Resolution afterwards
        const char* current;            // Image.I0.Appearance.Resolution afterwards
        std::size_t offered;            // its enum entries
    } cases[] = {
        {"P3245-LVE", {"3"}, "1280x720,1024x576,800x600,640x480,640x360,480x360,320x240", "1280x720", 7},
        {"P3245-LVE", {"1"}, "1920x1080,1280x960,1280x720,1024x768,1024x576,800x600,640x480,640x360,480x360,320x240", "1920x1080", 10},
        {"P3245-LVE", {"3", "2"}, "1920x1080,1280x960,1280x720,1024x768,1024x576,800x600,640x480,640x360,480x360,320x240", "1280x720", 10},
        {"M3058-PLVE", {"2"}, "1920x1920,1440x1440,1080x1080,800x800,480x480,1920x1080,1280x720,640x360", "1920x1920", 8},
        {"M3058-PLVE", {"2", "1"}, "2880x2880,2160x2160,1920x1920,1440x1440,1080x1080,800x800,480x480,2560x1440,1920x1080,1280x720,640x360", "1920x1920", 11},
        // No capture mode on this camera: nothing changes.
        {"M1065-LW", {}, "1920x1080,1280x960,1280x720,1024x768,1024x576,800x600,640x480,640x360,352x240,320x240", "1920x1080", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " modes " + std::to_string(c.modes.size()));
        const Model factory = load(c.model);
        Model m = factory;
        for (const char* mode : c.modes) {
            m.params.findParam("ImageSource.I0.Sensor.CaptureMode")->value = mode;
            FirmwareCgi::applyBootEffects(m, factory);
        }
        if (c.modes.empty())
            FirmwareCgi::applyBootEffects(m, factory);
        EXPECT_EQ(m.value("Properties.Image.Resolution"), c.properties);
        EXPECT_EQ(m.value("Image.I0.Appearance.Resolution"), c.current);
        EXPECT_EQ(m.params.findParam("Image.I0.Appearance.Resolution")->type.entries.size(), c.offered);
    }
}

TEST(FirmwareCgi, BootLimitsEveryViewOfTheFisheye)
{
    const Model factory = load("M3058-PLVE");
    Model m = factory;
    m.params.findParam("Image.I5.Appearance.Resolution")->value = "640x360";
    m.params.findParam("ImageSource.I0.Sensor.CaptureMode")->value = "2";
    FirmwareCgi::applyBootEffects(m, factory);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const Camsim::Param* p = m.params.findParam("Image.I" + std::to_string(i) + ".Appearance.Resolution");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->value, i == 5 ? "640x360" : "1920x1920"); // a size that still fits stays
        std::string offered;
        for (const auto& e : p->type.entries)
            offered += e.value + ",";
        EXPECT_EQ(offered, "1920x1920,1440x1440,1080x1080,800x800,480x480,1920x1080,1280x720,640x360,");
    }
}

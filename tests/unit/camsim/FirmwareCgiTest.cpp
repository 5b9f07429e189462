// firmwaremanagement.cgi of the simulated camera: the JSON answers, the
// restart (connections dropped, port closed, back with the settings kept)
// and what only a restart applies (the capture mode's resolutions).
#include "FirmwareCgi.h"
#include "ModelLoader.h"
#include "Simulator.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>
#include <memory>
#include <thread>

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
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

Json::Value parse(const std::string& text)
{
    Json::Value v;
    std::string errors;
    Json::CharReaderBuilder b;
    const std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errors)) << text;
    return v;
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

std::vector<std::string> entryValues(const Camsim::Param& p)
{
    std::vector<std::string> values;
    for (const auto& e : p.type.entries)
        values.push_back(e.value);
    return values;
}

} // namespace

TEST(FirmwareCgi, AnswersInTheJsonEnvelope)
{
    struct Case {
        const char* name;
        std::string body;
        int errorCode;
        const char* dataJson; // compact, keys sorted; empty: not checked
    };
    const Case cases[] = {
        {"versions", R"({"apiVersion":"1.0","context":"abc","method":"getSupportedVersions"})", 0, R"({"apiVersions":["1.4"]})"},
        {"status", R"({"apiVersion":"1.4","method":"status"})", 0,
         R"({"activeFirmwarePart":"","activeFirmwareVersion":"10.12.182","isCommitted":true})"},
        {"unknown method", R"({"apiVersion":"1.0","method":"selfDestruct"})", 2102, ""},
        {"newer version", R"({"apiVersion":"1.5","method":"reboot"})", 2100, ""},
        {"not JSON", "method=reboot", 2101, ""},
        {"reboot", kRebootBody, 0, "{}"},
    };
    asio::io_context io; // never run: the restart stays scheduled
    Camsim::Camera camera(load("P3245-LVE"));
    FirmwareCgi cgi(camera, io, {}, std::chrono::milliseconds(0));
    Json::StreamWriterBuilder compact;
    compact["indentation"] = "";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = cgi.handle(post(c.body));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "application/json");
        const Json::Value answer = parse(r.body);
        EXPECT_EQ(answer["apiVersion"].asString(), "1.4");
        if (c.errorCode != 0) {
            EXPECT_EQ(answer["error"]["code"].asInt(), c.errorCode) << r.body;
            EXPECT_FALSE(answer.isMember("data"));
        } else {
            EXPECT_EQ(Json::writeString(compact, answer["data"]), c.dataJson);
        }
    }
    // Only the last row asked for a restart.
    EXPECT_TRUE(cgi.rebooting());
    EXPECT_EQ(cgi.reboots(), 0u);

    Camsim::HttpRequest get = post("");
    get.method = "GET";
    EXPECT_EQ(cgi.handle(get).status, 405);
}

TEST(FirmwareCgi, RebootAnswersEchoingTheRequest)
{
    asio::io_context io;
    Camsim::Camera camera(load("M3058-PLVE"));
    FirmwareCgi cgi(camera, io, {}, std::chrono::milliseconds(0));
    EXPECT_EQ(cgi.handle(post(kRebootBody)).body, "{\n"
                                                  "  \"apiVersion\": \"1.4\",\n"
                                                  "  \"context\": \"context\",\n"
                                                  "  \"method\": \"reboot\",\n"
                                                  "  \"data\": {}\n"
                                                  "}\n");
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
    FirmwareCgi cgi(camera, io,
                    {[&] {
                         calls.push_back("off");
                         // Still the old mode while the camera is down.
                         calls.push_back(camera.withModel([](Model& m) { return m.value("Image.I0.Appearance.Resolution"); }));
                     },
                     [&] {
                         calls.push_back("on");
                         calls.push_back(camera.withModel([](Model& m) { return m.value("Image.I0.Appearance.Resolution"); }));
                     }},
                    std::chrono::milliseconds(0));
    camera.withModel([](Model& m) { m.params.findParam("ImageSource.I0.Sensor.CaptureMode")->value = "3"; });
    cgi.handle(post(kRebootBody));
    cgi.handle(post(kRebootBody)); // a second request while going down restarts nothing more
    io.run();
    EXPECT_EQ(calls, (std::vector<std::string>{"off", "1920x1080", "on", "1280x720"}));
    EXPECT_EQ(cgi.reboots(), 1u);
    EXPECT_FALSE(cgi.rebooting());
}

TEST(FirmwareCgi, BootLimitsResolutionsToTheCaptureMode)
{
    struct Case {
        const char* model;
        std::vector<const char*> modes; // applied one after another, each with a restart
        const char* properties;         // Properties.Image.Resolution afterwards
        const char* current;            // Image.I0.Appearance.Resolution afterwards
        std::size_t offered;            // its enum entries
    };
    const Case cases[] = {
        {"P3245-LVE", {"3"}, "1280x720,1024x576,800x600,640x480,640x360,480x360,320x240", "1280x720", 7},
        {"P3245-LVE", {"1"},
         "1920x1080,1280x960,1280x720,1024x768,1024x576,800x600,640x480,640x360,480x360,320x240", "1920x1080", 10},
        {"P3245-LVE", {"3", "2"},
         "1920x1080,1280x960,1280x720,1024x768,1024x576,800x600,640x480,640x360,480x360,320x240", "1280x720", 10},
        {"M3058-PLVE", {"2"}, "1920x1920,1440x1440,1080x1080,800x800,480x480,1920x1080,1280x720,640x360", "1920x1920", 8},
        {"M3058-PLVE", {"2", "1"},
         "2880x2880,2160x2160,1920x1920,1440x1440,1080x1080,800x800,480x480,2560x1440,1920x1080,1280x720,640x360",
         "1920x1920", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " mode " + c.modes.back());
        const Model factory = load(c.model);
        Model m = factory;
        for (const char* mode : c.modes) {
            m.params.findParam("ImageSource.I0.Sensor.CaptureMode")->value = mode;
            FirmwareCgi::applyBootEffects(m, factory);
        }
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
        EXPECT_EQ(entryValues(*p), (std::vector<std::string>{"1920x1920", "1440x1440", "1080x1080", "800x800",
                                                             "480x480", "1920x1080", "1280x720", "640x360"}));
    }
}

TEST(FirmwareCgi, BootWithoutCaptureModeChangesNothing)
{
    const Model factory = load("M1065-LW");
    Model m = factory;
    FirmwareCgi::applyBootEffects(m, factory);
    EXPECT_EQ(m.value("Properties.Image.Resolution"), factory.value("Properties.Image.Resolution"));
    EXPECT_EQ(entryValues(*m.params.findParam("Image.I0.Appearance.Resolution")).size(), 10u);
}

// --- over real sockets -------------------------------------------------------

namespace {

// One blocking loopback HTTP/1.1 exchange on an open socket; empty when the
// server closed the connection instead.
std::string roundTrip(tcp::socket& s, const std::string& request)
{
    boost::system::error_code ec;
    asio::write(s, asio::buffer(request), ec);
    if (ec)
        return {};
    std::string out;
    char buf[4096];
    for (;;) {
        const auto n = s.read_some(asio::buffer(buf), ec);
        out.append(buf, n);
        const auto head = out.find("\r\n\r\n");
        if (head != std::string::npos) {
            const auto cl = out.find("Content-Length: ");
            if (cl != std::string::npos && cl < head) {
                const auto length = std::stoul(out.substr(cl + 16));
                if (out.size() >= head + 4 + length)
                    return out;
            }
        }
        if (ec)
            return out;
    }
}

bool connects(unsigned short port, tcp::socket& s)
{
    boost::system::error_code ec;
    s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), ec);
    if (ec)
        return false;
    timeval tv{10, 0};
    setsockopt(s.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return true;
}

std::string get(const std::string& target, bool keepAlive)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + (keepAlive ? "" : "Connection: close\r\n") + "\r\n";
}

std::string body(const std::string& response)
{
    const auto end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

} // namespace

TEST(FirmwareCgi, RebootDropsConnectionsRefusesThenComesBackWithTheNewMode)
{
    Camsim::SimulatorConfig config;
    config.dataDir = CAMSIM_DATA_DIR;
    config.model = "P3245-LVE";
    config.auth = Camsim::AuthMode::None;
    config.rtspPort = -1;
    config.rebootSeconds = 1.0;
    Camsim::Simulator sim(config);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const unsigned short port = sim.httpPort();

    asio::io_context io;
    tcp::socket keptAlive(io);
    ASSERT_TRUE(connects(port, keptAlive));
    ASSERT_NE(roundTrip(keptAlive, get("/axis-cgi/param.cgi?action=list&group=Brand.ProdNbr", true)).find("200 OK"),
              std::string::npos);

    {
        tcp::socket s(io);
        ASSERT_TRUE(connects(port, s));
        EXPECT_EQ(body(roundTrip(s, get("/axis-cgi/param.cgi?action=update&ImageSource.I0.Sensor.CaptureMode=3", false))),
                  "OK\n");
    }
    {
        tcp::socket s(io);
        ASSERT_TRUE(connects(port, s));
        const std::string request = std::string("POST /axis-cgi/firmwaremanagement.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                                "Content-Type: application/json\r\nConnection: close\r\n"
                                                "Content-Length: ") +
                                    std::to_string(std::strlen(kRebootBody)) + "\r\n\r\n" + kRebootBody;
        const std::string answer = roundTrip(s, request);
        EXPECT_NE(answer.find("HTTP/1.1 200 OK"), std::string::npos) << answer;
        EXPECT_EQ(parse(body(answer))["method"].asString(), "reboot");
    }

    // The idle keep-alive connection is closed by the camera, not by a time-out.
    char byte = 0;
    boost::system::error_code ec;
    keptAlive.read_some(asio::buffer(&byte, 1), ec);
    EXPECT_EQ(ec, asio::error::eof) << ec.message();

    // Down: connections are refused; then up again on the same port.
    bool refused = false;
    for (int i = 0; i < 500 && !refused; ++i) {
        tcp::socket probe(io);
        refused = !connects(port, probe);
        if (!refused)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(refused);
    tcp::socket again(io);
    bool back = false;
    for (int i = 0; i < 1000 && !back; ++i) {
        back = connects(port, again);
        if (!back)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(back);
    EXPECT_EQ(body(roundTrip(again, get("/axis-cgi/param.cgi?action=list&group=ImageSource.I0.Sensor.CaptureMode,"
                                       "Image.I0.Appearance.Resolution",
                                       false))),
              "root.ImageSource.I0.Sensor.CaptureMode=3\nroot.Image.I0.Appearance.Resolution=1280x720\n");
}

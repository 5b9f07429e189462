// firmwaremanagement.cgi of the simulated camera: the JSON envelope of its
// answers and error codes, and the reboot answer in the camera's layout.
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

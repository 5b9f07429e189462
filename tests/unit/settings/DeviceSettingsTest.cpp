#include "AsyncSettingsSupport.h"
#include "DeviceSettings.h"

#include <boost/asio/io_context.hpp>
#include <json/reader.h>
#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using Orix::Utility::ParamMap;
using TestSupport::HttpTestServer;

namespace {

const std::string kDewarpQuery = "/axis-cgi/param.cgi?action=list&group=Properties.Image.Dewarp";
const std::string kSelect = "/axis-cgi/param.cgi?action=update&ImageChannelSet.Selected=";

Json::Value parse(const std::string& text)
{
    Json::Value root;
    std::istringstream(text) >> root; // throws on malformed text
    return root;
}

struct Fixture {
    Fixture()
        : logger(std::make_shared<TestSupport::CapturingLogger>()),
          settings(container, shippedRepository(), logger, "dev")
    {
    }

    std::pair<std::uint32_t, std::string> acquire(HttpTestServer& server)
    {
        boost::asio::io_context io;
        std::pair<std::uint32_t, std::string> out{0xffffffff, ""};
        int calls = 0;
        settings.acquire(cameraAt(server.port()), io, [&](std::uint32_t result, const std::string& json) {
            out = {result, json};
            ++calls;
        });
        io.run();
        EXPECT_EQ(calls, 1);
        return out;
    }

    std::uint32_t apply(HttpTestServer& server, const ParamMap& changes, std::vector<std::string>* views)
    {
        boost::asio::io_context io;
        container.pushParameters(changes);
        std::uint32_t out = 0xffffffff;
        int calls = 0;
        const auto done = [&](std::uint32_t result) {
            out = result;
            ++calls;
        };
        settings.apply(cameraAt(server.port()), io, done, [views](const std::string& view) { views->push_back(view); });
        io.run();
        EXPECT_EQ(calls, 1);
        return out;
    }

    std::shared_ptr<TestSupport::CapturingLogger> logger;
    Orix::Utility::ParametersContainer container;
    DeviceSettings settings;
};

} // namespace

TEST(DeviceSettings, EveryViewHasItsSelectedValueAndOthersAreRefused)
{
    const struct {
        const char* name;
        ParamMap changes;
        const char* selected; // null: no URL
        std::uint32_t error = Orix::Ok;
    } cases[] = {
        {"Overview", {{"dewarpMode", std::string("Overview")}}, "0"},
        {"Panorama", {{"dewarpMode", std::string("Panorama")}}, "0"},
        {"Double Panorama", {{"dewarpMode", std::string("Double Panorama")}}, "1"},
        {"Quad View", {{"dewarpMode", std::string("Quad View")}}, "2"},
        {"View Area 1", {{"dewarpMode", std::string("View Area 1")}}, "3"},
        {"View Area 2", {{"dewarpMode", std::string("View Area 2")}}, "3"},
        {"View Area 3", {{"dewarpMode", std::string("View Area 3")}}, "3"},
        {"View Area 4", {{"dewarpMode", std::string("View Area 4")}}, "3"},
        {"Panorama Corner Left", {{"dewarpMode", std::string("Panorama Corner Left")}}, "4"},
        {"Panorama Corner Right", {{"dewarpMode", std::string("Panorama Corner Right")}}, "5"},
        {"Double Panorama Corner", {{"dewarpMode", std::string("Double Panorama Corner")}}, "6"},
        {"Corridor", {{"dewarpMode", std::string("Corridor")}}, "7"},
        {"unknown view", {{"dewarpMode", std::string("Fisheye")}}, nullptr, Orix::InvalidArgument},
        {"case differs", {{"dewarpMode", std::string("quad view")}}, nullptr, Orix::InvalidArgument},
        {"number instead of a name", {{"dewarpMode", 3}}, nullptr, Orix::WrongValueType},
        {"no dewarp change", {{"somethingElse", 1}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint32_t error = 0xffffffff;
        const auto url = DeviceSettings::updateUrl(c.changes, error);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(url, c.selected ? std::optional<std::string>(kSelect + c.selected) : std::nullopt);
    }
    EXPECT_EQ(DeviceSettings::viewNames(),
              (std::vector<std::string>{"Overview", "Panorama", "Double Panorama", "Quad View", "View Area 1", "View Area 2",
                                        "View Area 3", "View Area 4", "Panorama Corner Left", "Panorama Corner Right",
                                        "Double Panorama Corner", "Corridor"}));
}

TEST(DeviceSettings, DewarpCameraOffersTheViews)
{
    ScriptedCamera camera;
    camera.answers[kDewarpQuery] = {200, "root.Properties.Image.Dewarp=yes\n"};
    HttpTestServer server(camera);
    Fixture f;
    const auto [result, json] = f.acquire(server);
    ASSERT_EQ(result, Orix::Ok) << f.logger->all();
    const Json::Value doc = parse(json);
    EXPECT_EQ(doc["schemaVersion"].asInt(), 1);
    ASSERT_EQ(doc["settings"].size(), 1u);
    EXPECT_EQ(doc["settings"][0]["group"].asString(), "view");
    const Json::Value& property = doc["settings"][0]["properties"][0];
    EXPECT_EQ(property["name"].asString(), "dewarpMode");
    EXPECT_EQ(property["current"].asString(), "Overview");
    ASSERT_EQ(property["enum"].size(), 12u);
    EXPECT_EQ(property["enum"][11].asString(), "Corridor");
    EXPECT_TRUE(f.logger->contains("Acquired:\n{"));
}

TEST(DeviceSettings, CameraWithoutDewarpReportsNoSettings)
{
    const struct {
        const char* name;
        std::string body;
    } cases[] = {
        {"group missing", "# Error: Error -1 getting param in group 'Properties.Image.Dewarp'\n"},
        {"dewarp no", "root.Properties.Image.Dewarp=no\n"},
        {"Yes is not yes", "root.Properties.Image.Dewarp=Yes\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedCamera camera;
        camera.answers[kDewarpQuery] = {200, c.body};
        HttpTestServer server(camera);
        Fixture f;
        const auto [result, json] = f.acquire(server);
        EXPECT_EQ(result, Orix::Ok);
        const Json::Value doc = parse(json);
        EXPECT_TRUE(doc["settings"].isArray());
        EXPECT_EQ(doc["settings"].size(), 0u);
    }
}

TEST(DeviceSettings, ChosenViewIsSentAndStreamsAreTold)
{
    ScriptedCamera camera;
    camera.answers[kSelect + "3"] = {200, "OK"};
    camera.answers[kDewarpQuery] = {200, "root.Properties.Image.Dewarp=yes\n"};
    HttpTestServer server(camera);
    Fixture f;
    std::vector<std::string> views;
    EXPECT_EQ(f.apply(server, {{"dewarpMode", std::string("View Area 3")}}, &views), Orix::Ok);
    EXPECT_EQ(targets(server), (std::vector<std::string>{"GET " + kSelect + "3"}));
    EXPECT_EQ(views, (std::vector<std::string>{"View Area 3"}));
    EXPECT_EQ(f.container.getString("dewarpMode"), "View Area 3");
    // The report shows the stored view from now on.
    const auto [result, json] = f.acquire(server);
    ASSERT_EQ(result, Orix::Ok);
    EXPECT_EQ(json.find("\"current\" : \"Overview\""), std::string::npos);
}

TEST(DeviceSettings, NoViewBadViewOrRefusedViewReachesNoStream)
{
    const struct {
        const char* name;
        ParamMap changes;
        std::uint32_t result;
        std::size_t requests;
        const char* logLine;
    } cases[] = {
        {"no dewarp change", {}, Orix::Ok, 0, ""},
        {"unknown view", {{"dewarpMode", std::string("Fisheye")}}, Orix::InvalidArgument, 0, ""},
        {"not a text", {{"dewarpMode", true}}, Orix::WrongValueType, 0, ""},
        {"refused by the camera", {{"dewarpMode", std::string("Corridor")}}, Orix::InvalidArgument, 1,
         "Device refused the view 'Corridor'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedCamera camera;
        camera.answers[kSelect + "7"] = {200, "# Error: Error setting 'ImageChannelSet.Selected' to '7'!\n"};
        HttpTestServer server(camera);
        Fixture f;
        f.container.setPersistentParam("dewarpMode", std::string("Quad View"));
        std::vector<std::string> views;
        EXPECT_EQ(f.apply(server, c.changes, &views), c.result);
        EXPECT_EQ(server.requestCount(), c.requests);
        EXPECT_TRUE(views.empty());
        EXPECT_EQ(f.container.getString("dewarpMode"), "Quad View");
        EXPECT_TRUE(f.logger->contains(c.logLine));
    }
}

#include "LightControl.h"
#include "SettingsTestSupport.h"

#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using Orix::GDRV::Property;
using Orix::GDRV::PropertyBool;

namespace {

// The start of every request body, up to the method's name.
const std::string kHead = "{\n\t\"apiVersion\": \"1.0\",\n\t\"context\": \"context\",\n\t\"method\": \"";

} // namespace

TEST(LightControl, BodyTextHasOneMemberPerLine)
{
    const struct {
        const char* name;
        std::string method;
        std::vector<LightParameter> params;
        std::string body;
    } cases[] = {
        {"information, no parameters", "getLightInformation", {}, kHead + "getLightInformation\",\n\t\"params\": {\n\t}\n}"},
        {"one string parameter", "enableLight", {{"lightID", std::string("led0")}},
         kHead + "enableLight\",\n\t\"params\": {\n\t\t\"lightID\": \"led0\"\n\t}\n}"},
        {"string and bare bool", "setLightSynchronizeDayNightMode", {{"lightID", std::string("led0")}, {"enabled", false}},
         kHead + "setLightSynchronizeDayNightMode\",\n\t\"params\": {\n\t\t\"lightID\": \"led0\",\n\t\t\"enabled\": false\n\t}\n}"},
        {"quotes in an id are escaped", "activateLight", {{"lightID", std::string("ir \"left\"")}},
         kHead + "activateLight\",\n\t\"params\": {\n\t\t\"lightID\": \"ir \\\"left\\\"\"\n\t}\n}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LightControl::body(c.method, c.params), c.body);
    }
}

TEST(LightControl, InformationBecomesBoolPropertiesPerLight)
{
    auto logger = std::make_shared<TestSupport::CapturingLogger>();
    Orix::LoggerOwner owner(logger);
    LightInformation info;
    ASSERT_EQ(LightControl::readInformation(readFixture("light-information_IR.json"), info, owner), Orix::Ok);
    ASSERT_EQ(info.lights.size(), 1u);
    EXPECT_EQ(info.lights[0].prefix, "led0");
    EXPECT_EQ(info.lights[0].id, "led0");
    ASSERT_EQ(info.properties.size(), 3u);
    EXPECT_EQ(info.properties.at("led0lightEnabled"), Property(PropertyBool{"led0lightEnabled", true}));
    EXPECT_EQ(info.properties.at("led0lightState"), Property(PropertyBool{"led0lightState", false}));
    EXPECT_EQ(info.properties.at("led0lightSync"), Property(PropertyBool{"led0lightSync", true}));
    // A second light is named by its position; what it does not report is not offered.
    const std::string answer = R"({"apiVersion":"1.1","method":"getLightInformation","data":{"items":[)"
                               R"({"lightID":"led0","lightType":"IR","enabled":true},)"
                               R"({"lightID":"white1","lightType":"White","enabled":"false","lightState":"true"}]}})";
    LightInformation two;
    ASSERT_EQ(LightControl::readInformation(answer, two, owner), Orix::Ok);
    ASSERT_EQ(two.lights.size(), 2u);
    EXPECT_EQ(two.lights[1].prefix, "led1");
    EXPECT_EQ(two.lights[1].id, "white1");
    EXPECT_EQ(two.properties.at("led1lightEnabled"), Property(PropertyBool{"led1lightEnabled", false}));
    EXPECT_EQ(two.properties.at("led1lightState"), Property(PropertyBool{"led1lightState", true}));
    EXPECT_EQ(two.properties.count("led0lightState"), 0u);
    EXPECT_FALSE(LightControl::offered("led1lightState", two.values));
    EXPECT_TRUE(LightControl::offered("led1lightEnabled", two.values));
}

TEST(LightControl, AnswersWithoutLightsAreErrors)
{
    const std::pair<const char*, const char*> cases[] = {
        {"error member", R"({"apiVersion":"1.1","method":"getLightInformation","error":{"code":2002,"message":"Method not supported"}})"},
        {"no items", R"({"apiVersion":"1.1","method":"getLightInformation","data":{}})"},
        {"HTML", "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD></HTML>"},
        {"truncated", R"({"apiVersion":"1.1","data":{"items":[{"lightID":"led0",)"},
        {"data not an object", R"({"apiVersion":"1.1","method":"getLightInformation","data":false})"},
        {"error not an object", R"({"apiVersion":"1.1","error":"Method not supported"})"},
        {"error code not a number", R"({"apiVersion":"1.1","error":{"code":"2002","message":7}})"},
        {"nested past the parser's stack limit", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["},
    };
    for (const auto& [name, answer] : cases) {
        SCOPED_TRACE(name);
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        Orix::LoggerOwner owner(logger);
        LightInformation info;
        EXPECT_EQ(LightControl::readInformation(answer, info, owner), Orix::ProtocolError);
        EXPECT_TRUE(info.properties.empty());
    }
}

TEST(LightControl, WriteMethodFollowsKeyAndValue)
{
    const std::vector<Light> lights{{"led0", "led0"}, {"led1", "white1"}};
    const struct {
        const char* name;
        Orix::Utility::ParamValue value;
        std::string body; // empty: refused
    } cases[] = {
        {"led0lightEnabled", true, kHead + "enableLight\",\n\t\"params\": {\n\t\t\"lightID\": \"led0\"\n\t}\n}"},
        {"led0lightEnabled", false, kHead + "disableLight\",\n\t\"params\": {\n\t\t\"lightID\": \"led0\"\n\t}\n}"},
        {"led1lightState", true, kHead + "activateLight\",\n\t\"params\": {\n\t\t\"lightID\": \"white1\"\n\t}\n}"},
        {"led1lightState", std::string("false"), kHead + "deactivateLight\",\n\t\"params\": {\n\t\t\"lightID\": \"white1\"\n\t}\n}"},
        {"led0lightSync", true,
         kHead + "setLightSynchronizeDayNightMode\",\n\t\"params\": {\n\t\t\"lightID\": \"led0\",\n\t\t\"enabled\": true\n\t}\n}"},
        {"led1lightSync", false,
         kHead + "setLightSynchronizeDayNightMode\",\n\t\"params\": {\n\t\t\"lightID\": \"white1\",\n\t\t\"enabled\": false\n\t}\n}"},
        {"led3lightEnabled", true, ""},
        {"led0lightEnabled", 5, ""},
        {"led0lightEnabled", std::string("maybe"), ""},
        {"ledlightEnabled", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (" " + c.body));
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        Orix::LoggerOwner owner(logger);
        const auto request = LightControl::writeRequest(c.name, c.value, lights, owner);
        ASSERT_EQ(request.has_value(), !c.body.empty());
        if (request) {
            EXPECT_EQ(request->uri, "/axis-cgi/lightcontrol.cgi");
            EXPECT_EQ(request->body, c.body);
        } else {
            EXPECT_TRUE(logger->contains(std::string("Couldn't form a valid HTTP POST request for setting ") + c.name));
        }
    }
}

#include "LightControl.h"
#include "SettingsTestSupport.h"

#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using Orix::GDRV::Property;
using Orix::GDRV::PropertyBool;

TEST(LightControl, BodyTextHasOneMemberPerLine)
{
    const struct {
        const char* name;
        std::string method;
        std::vector<LightParameter> params;
        const char* body;
    } cases[] = {
        {"information, no parameters", "getLightInformation", {},
         "{\n"
         "\t\"apiVersion\": \"1.0\",\n"
         "\t\"context\": \"context\",\n"
         "\t\"method\": \"getLightInformation\",\n"
         "\t\"params\": {\n"
         "\t}\n"
         "}"},
        {"one string parameter", "enableLight", {{"lightID", std::string("led0")}},
         "{\n"
         "\t\"apiVersion\": \"1.0\",\n"
         "\t\"context\": \"context\",\n"
         "\t\"method\": \"enableLight\",\n"
         "\t\"params\": {\n"
         "\t\t\"lightID\": \"led0\"\n"
         "\t}\n"
         "}"},
        {"string and bare bool", "setLightSynchronizeDayNightMode",
         {{"lightID", std::string("led0")}, {"enabled", false}},
         "{\n"
         "\t\"apiVersion\": \"1.0\",\n"
         "\t\"context\": \"context\",\n"
         "\t\"method\": \"setLightSynchronizeDayNightMode\",\n"
         "\t\"params\": {\n"
         "\t\t\"lightID\": \"led0\",\n"
         "\t\t\"enabled\": false\n"
         "\t}\n"
         "}"},
        {"reboot", "reboot", {},
         "{\n"
         "\t\"apiVersion\": \"1.0\",\n"
         "\t\"context\": \"context\",\n"
         "\t\"method\": \"reboot\",\n"
         "\t\"params\": {\n"
         "\t}\n"
         "}"},
        {"quotes in an id are escaped", "activateLight", {{"lightID", std::string("ir \"left\"")}},
         "{\n"
         "\t\"apiVersion\": \"1.0\",\n"
         "\t\"context\": \"context\",\n"
         "\t\"method\": \"activateLight\",\n"
         "\t\"params\": {\n"
         "\t\t\"lightID\": \"ir \\\"left\\\"\"\n"
         "\t}\n"
         "}"},
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
}

TEST(LightControl, SecondLightIsNamedByItsPosition)
{
    auto logger = std::make_shared<TestSupport::CapturingLogger>();
    Orix::LoggerOwner owner(logger);
    LightInformation info;
    const std::string answer =
        R"({"apiVersion":"1.1","method":"getLightInformation","data":{"items":[)"
        R"({"lightID":"led0","lightType":"IR","enabled":true},)"
        R"({"lightID":"white1","lightType":"White","enabled":"false","lightState":"true"}]}})";
    ASSERT_EQ(LightControl::readInformation(answer, info, owner), Orix::Ok);
    ASSERT_EQ(info.lights.size(), 2u);
    EXPECT_EQ(info.lights[1].prefix, "led1");
    EXPECT_EQ(info.lights[1].id, "white1");
    EXPECT_EQ(info.properties.at("led1lightEnabled"), Property(PropertyBool{"led1lightEnabled", false}));
    EXPECT_EQ(info.properties.at("led1lightState"), Property(PropertyBool{"led1lightState", true}));
    EXPECT_EQ(info.properties.count("led0lightState"), 0u);
    EXPECT_FALSE(LightControl::offered("led1lightState", info.values));
    EXPECT_TRUE(LightControl::offered("led1lightEnabled", info.values));
}

TEST(LightControl, AnswersWithoutLightsAreErrors)
{
    const struct {
        const char* name;
        const char* answer;
    } cases[] = {
        {"error member",
         R"({"apiVersion":"1.1","method":"getLightInformation","error":{"code":2002,"message":"Method not supported"}})"},
        {"no items", R"({"apiVersion":"1.1","method":"getLightInformation","data":{}})"},
        {"HTML", "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD></HTML>"},
        {"truncated", R"({"apiVersion":"1.1","data":{"items":[{"lightID":"led0",)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        Orix::LoggerOwner owner(logger);
        LightInformation info;
        EXPECT_EQ(LightControl::readInformation(c.answer, info, owner), Orix::ProtocolError);
        EXPECT_TRUE(info.properties.empty());
    }
}

TEST(LightControl, WriteMethodFollowsKeyAndValue)
{
    const std::vector<Light> lights{{"led0", "led0"}, {"led1", "white1"}};
    const struct {
        const char* name;
        Orix::Utility::ParamValue value;
        const char* method;
        const char* lightId;
        const char* extra; // a further parameter line, or null
    } cases[] = {
        {"led0lightEnabled", true, "enableLight", "led0", nullptr},
        {"led0lightEnabled", false, "disableLight", "led0", nullptr},
        {"led1lightState", true, "activateLight", "white1", nullptr},
        {"led1lightState", std::string("false"), "deactivateLight", "white1", nullptr},
        {"led0lightSync", true, "setLightSynchronizeDayNightMode", "led0", "\t\t\"enabled\": true\n"},
        {"led1lightSync", false, "setLightSynchronizeDayNightMode", "white1", "\t\t\"enabled\": false\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.method);
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        Orix::LoggerOwner owner(logger);
        const auto request = LightControl::writeRequest(c.name, c.value, lights, owner);
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(request->uri, "/axis-cgi/lightcontrol.cgi");
        std::string expected = std::string("{\n\t\"apiVersion\": \"1.0\",\n\t\"context\": \"context\",\n") +
                               "\t\"method\": \"" + c.method + "\",\n\t\"params\": {\n" +
                               "\t\t\"lightID\": \"" + c.lightId + "\"" + (c.extra ? ",\n" : "\n") +
                               (c.extra ? c.extra : "") + "\t}\n}";
        EXPECT_EQ(request->body, expected);
    }
}

TEST(LightControl, UnbuildableWritesAreRefused)
{
    const std::vector<Light> lights{{"led0", "led0"}};
    const struct {
        const char* name;
        Orix::Utility::ParamValue value;
    } cases[] = {
        {"led3lightEnabled", true},
        {"led0lightEnabled", 5},
        {"led0lightEnabled", std::string("maybe")},
        {"ledlightEnabled", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        Orix::LoggerOwner owner(logger);
        EXPECT_FALSE(LightControl::writeRequest(c.name, c.value, lights, owner).has_value());
        EXPECT_TRUE(logger->contains(std::string("Couldn't form a valid HTTP POST request for setting ") + c.name));
    }
}

// lightcontrol.cgi of the simulated camera: the answer layout of a real IR
// camera, the state changes of the write methods and the error objects.
#include "LightControlCgi.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <memory>

using Camsim::LightControlCgi;
using Camsim::LightState;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value v;
    std::string errors;
    Json::CharReaderBuilder b;
    const std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errors)) << text;
    return v;
}

// The body the driver sends: one member per line, tab-indented.
std::string driverBody(const std::string& method, const std::string& params)
{
    return "{\n\t\"apiVersion\": \"1.0\",\n\t\"context\": \"context\",\n\t\"method\": \"" + method +
           "\",\n\t\"params\": {\n" + params + "\t}\n}";
}

} // namespace

TEST(LightControlCgi, LightInformationHasTheLayoutOfARealIrCamera)
{
    std::vector<LightState> lights{LightState{}};
    const std::string answer = LightControlCgi::answer(
        lights, R"({"method":"getLightInformation","apiVersion":"1.1","context":"Axis library"})");
    // The IR camera's answer (lightcontrol.cgi 1.1), with the context echoed.
    EXPECT_EQ(answer, "{\n"
                      "  \"apiVersion\": \"1.1\",\n"
                      "  \"context\": \"Axis library\",\n"
                      "  \"method\": \"getLightInformation\",\n"
                      "  \"data\": {\n"
                      "    \"items\": [\n"
                      "      {\n"
                      "        \"lightID\": \"led0\",\n"
                      "        \"lightType\": \"IR\",\n"
                      "        \"enabled\": true,\n"
                      "        \"synchronizeDayNightMode\": true,\n"
                      "        \"lightState\": false,\n"
                      "        \"automaticIntensityMode\": true,\n"
                      "        \"automaticAngleOfIlluminationMode\": false,\n"
                      "        \"nrOfLEDs\": 1,\n"
                      "        \"error\": false,\n"
                      "        \"errorInfo\": \"\"\n"
                      "      }\n"
                      "    ]\n"
                      "  }\n"
                      "}\n");
}

TEST(LightControlCgi, WriteMethodsChangeTheLightAndRefusalsChangeNothing)
{
    struct Case {
        const char* name;
        std::string body;
        int errorCode; // 0: a data answer
        bool enabled, state, sync;
    };
    const std::string id = "\t\t\"lightID\": \"led0\"\n";
    // Each row starts from the state the previous rows left.
    const Case cases[] = {
        {"disable", driverBody("disableLight", id), 0, false, false, true},
        {"enable", driverBody("enableLight", id), 0, true, false, true},
        {"activate", driverBody("activateLight", id), 0, true, true, true},
        {"sync off", driverBody("setLightSynchronizeDayNightMode", "\t\t\"lightID\": \"led0\",\n\t\t\"enabled\": false\n"),
         0, true, true, false},
        {"sync without value", driverBody("setLightSynchronizeDayNightMode", id), 2103, true, true, false},
        {"unknown light", driverBody("deactivateLight", "\t\t\"lightID\": \"led7\"\n"), 2104, true, true, false},
        {"no light id", R"({"apiVersion":"1.1","method":"deactivateLight","params":{}})", 2103, true, true, false},
        {"newer minor version", R"({"apiVersion":"1.2","method":"deactivateLight","params":{"lightID":"led0"}})", 2100,
         true, true, false},
        {"no version", R"({"method":"deactivateLight","params":{"lightID":"led0"}})", 2103, true, true, false},
        {"unknown method", R"({"apiVersion":"1.1","method":"blinkLight","params":{"lightID":"led0"}})", 2102, true,
         true, false},
        {"not JSON", "apiVersion=1.1&method=deactivateLight", 2101, true, true, false},
        {"deactivate", driverBody("deactivateLight", id), 0, true, false, false},
    };
    std::vector<LightState> lights{LightState{}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Json::Value answer = parse(LightControlCgi::answer(lights, c.body));
        EXPECT_EQ(answer["apiVersion"].asString(), "1.1");
        if (c.errorCode == 0) {
            EXPECT_FALSE(answer.isMember("error")) << answer;
            EXPECT_TRUE(answer["data"].isObject()) << answer;
            EXPECT_EQ(answer["context"].asString(), "context");
        } else {
            EXPECT_FALSE(answer.isMember("data")) << answer;
            EXPECT_EQ(answer["error"]["code"].asInt(), c.errorCode) << answer;
            EXPECT_TRUE(answer["error"]["message"].isString());
        }
        ASSERT_EQ(lights.size(), 1u);
        EXPECT_EQ(lights[0].enabled, c.enabled);
        EXPECT_EQ(lights[0].lightState, c.state);
        EXPECT_EQ(lights[0].synchronizeDayNightMode, c.sync);
    }
}

#include "ActiveSet.h"
#include "DetectorDefinitions.h"
#include "ParameterUpdate.h"
#include "ShockSensitivity.h"
#include "TemperatureZones.h"
#include "TrackerFrame.h"

#include <gtest/gtest.h>

using namespace Vapixcam;
using Orix::Utility::ParamMap;

TEST(ParameterUpdate, PresentPropertiesInTableOrder)
{
    const std::vector<UpdatePiece> tampering = {
        {"darkDetectionEnabled", UpdateValueType::boolean, "&Tampering.T1.DarkDetectionEnabled="},
        {"minDuraiton", UpdateValueType::integer, "&Tampering.T1.MinDuration="},
    };
    const std::vector<UpdatePiece> window = {
        {"WindowType", UpdateValueType::text, "&Motion.M0.WindowType="},
        {"Sensitivity", UpdateValueType::integer, "&Motion.M0.Sensitivity="},
    };
    const std::string base = "/axis-cgi/param.cgi?action=update";
    struct Case {
        const char* name;
        const std::vector<UpdatePiece>& pieces;
        ParamMap pushed;
        std::string request;
        bool appended;
        bool typeError;
    } cases[] = {
        {"tampering", tampering, {{"minDuraiton", 10}, {"darkDetectionEnabled", true}},
         base + "&Tampering.T1.DarkDetectionEnabled=yes&Tampering.T1.MinDuration=10", true, false},
        {"off is no", tampering, {{"darkDetectionEnabled", false}}, base + "&Tampering.T1.DarkDetectionEnabled=no", true, false},
        {"nothing known", window, {{"History", 5}}, base, false, false},
        {"text", window, {{"WindowType", std::string("exclude")}}, base + "&Motion.M0.WindowType=exclude", true, false},
        {"number as text", window, {{"Sensitivity", std::string("50")}}, base, false, true},
        {"bool as number", tampering, {{"darkDetectionEnabled", 1}}, base, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ParameterUpdate update = buildParameterUpdate(base, c.pieces, c.pushed);
        EXPECT_EQ(update.request, c.request);
        EXPECT_EQ(update.appended, c.appended);
        EXPECT_EQ(update.typeError.rfind("boost::bad_any_cast: ", 0) == 0, c.typeError);
    }
}

TEST(ActiveSet, OneAlarmFromFirstOnToLastOff)
{
    struct Step { const char* source; bool on; std::optional<bool> raised; };
    const Step steps[] = {
        {"1", false, std::nullopt}, // quiet window reporting its initial state
        {"1", true, true},  {"2", true, std::nullopt}, {"1", true, std::nullopt},
        {"1", false, std::nullopt}, {"2", false, false}, {"2", false, std::nullopt},
        {"3", true, true},
    };
    ActiveSet set;
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.source) + (step.on ? " on" : " off"));
        EXPECT_EQ(set.update(step.source, step.on), step.raised);
    }
}

TEST(TemperatureZones, ZonesBecomeSettingsAndVisualElements)
{
    const std::string answer =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<TemperatureResponse SchemaVersion=\"1.0\">\n  <Success>\n    <GetSuccess>\n"
        "      <TemperatureZone>\n        <ZoneID>1</ZoneID>\n        <Name>Door</Name>\n"
        "        <Emissivity>0.95</Emissivity>\n        <DetectionType>above</DetectionType>\n"
        "        <Temperature>60</Temperature>\n        <TemperatureType>max</TemperatureType>\n"
        "        <DelayTime>5</DelayTime>\n"
        "        <Xleft>0</Xleft>\n        <Xright>4999.5</Xright>\n        <Ytop>9999</Ytop>\n"
        "        <Ybottom>0</Ybottom>\n      </TemperatureZone>\n"
        "      <TemperatureZone ZoneID=\"2\" Xleft=\"9999\" Xright=\"0\" Ytop=\"0\" Ybottom=\"9999\" "
        "Emissivity=\"0.5\"/>\n"
        "      <TemperatureZone><ZoneID>3</ZoneID><Xleft>x</Xleft></TemperatureZone>\n"
        "    </GetSuccess>\n  </Success>\n</TemperatureResponse>\n";
    TemperatureReading reading;
    std::string error;
    ASSERT_TRUE(readTemperatureZones(answer, reading, error)) << error;
    ASSERT_EQ(reading.zones.size(), 2u);
    EXPECT_EQ(reading.failed, std::vector<std::string>{"TemperatureZone"});

    const Json::Value document = temperatureSettingsJson(reading);
    const Json::Value& door = document["visualElements"][0];
    EXPECT_EQ(door["name"].asString(), "Door");
    EXPECT_DOUBLE_EQ(door["left"].asDouble(), 0.0);
    EXPECT_DOUBLE_EQ(door["top"].asDouble(), 1.0);
    EXPECT_DOUBLE_EQ(door["width"].asDouble(), 0.5);
    EXPECT_DOUBLE_EQ(door["height"].asDouble(), 1.0);
    const Json::Value& second = document["visualElements"][1];
    EXPECT_EQ(second["name"].asString(), "Zone 2");
    EXPECT_DOUBLE_EQ(second["left"].asDouble(), 1.0);
    EXPECT_DOUBLE_EQ(second["width"].asDouble(), 1.0);
    EXPECT_DOUBLE_EQ(second["height"].asDouble(), 1.0);

    const Json::Value& properties = document["settings"][0]["properties"];
    ASSERT_EQ(properties.size(), 5u);
    EXPECT_EQ(properties[0]["name"].asString(), "emissivity");
    EXPECT_EQ(properties[0]["current"].asString(), "0.95");
    EXPECT_EQ(properties[4]["name"].asString(), "delayTime");
    EXPECT_EQ(document["settings"][1]["properties"].size(), 1u);

    EXPECT_FALSE(readTemperatureZones("<TemperatureResponse><Error/></TemperatureResponse>", reading, error));
}

TEST(TrackerFrame, BoxesConvertedAndOnlyLiveObjectsListed)
{
    const auto object = [](const char* id, const char* box, const char* behaviour, const char* colour) {
        return std::string("<tt:Object ObjectId=\"") + id + "\"><tt:Appearance><tt:Shape><tt:BoundingBox " + box +
               "/></tt:Shape>" + colour + "</tt:Appearance>" +
               (*behaviour ? std::string("<tt:Behaviour><tt:Extension>") + behaviour + "</tt:Extension></tt:Behaviour>"
                           : std::string()) +
               "</tt:Object>";
    };
    const std::string frame =
        "\n  <tt:ElementItem Name=\"Objects\"><tt:Frame UtcTime=\"2024-01-01T00:00:00.000Z\">" +
        object("1", "left=\"-1\" top=\"1\" right=\"1\" bottom=\"-1\"", "Created",
               "<tt:Color><tt:Color X=\"255\" Y=\"0\" Z=\"0\"/></tt:Color>") +
        object("+2", "left=\"0\" top=\"0\" right=\"0.5\" bottom=\"-0.5\"", "Changed",
               "<tt:Color><tt:Color X=\"red\"/></tt:Color>") +
        object("3", "left=\"0\" top=\"0\" right=\"0.5\" bottom=\"-0.5\"", "Removed", "") +
        object("x", "left=\"0\" top=\"0\" right=\"0.5\" bottom=\"-0.5\"", "Idle", "") +
        "</tt:Frame></tt:ElementItem>\n";
    TrackerFrame read;
    std::string error;
    ASSERT_TRUE(readTrackerFrame(frame, read, error)) << error;
    ASSERT_EQ(read.targets.size(), 2u);
    EXPECT_EQ(read.targets[0].id, 1u);
    EXPECT_DOUBLE_EQ(read.targets[0].x, 0.0);
    EXPECT_DOUBLE_EQ(read.targets[0].y, 0.0);
    EXPECT_DOUBLE_EQ(read.targets[0].width, 1.0);
    EXPECT_DOUBLE_EQ(read.targets[0].height, 1.0);
    ASSERT_TRUE(read.targets[0].rgb);
    EXPECT_EQ(*read.targets[0].rgb, (std::array<double, 3>{255, 0, 0}));
    EXPECT_EQ(read.targets[1].id, 2u);
    EXPECT_DOUBLE_EQ(read.targets[1].x, 0.5);
    EXPECT_DOUBLE_EQ(read.targets[1].y, 0.5);
    EXPECT_DOUBLE_EQ(read.targets[1].width, 0.25);
    EXPECT_DOUBLE_EQ(read.targets[1].height, 0.25);
    EXPECT_FALSE(read.targets[1].rgb);
    EXPECT_EQ(read.colourFailures, 1u);

    const std::string badId = "<tt:ElementItem><tt:Frame>" +
                              object("seven", "left=\"0\" top=\"0\" right=\"1\" bottom=\"-1\"", "Changed", "") +
                              "</tt:Frame></tt:ElementItem>";
    const std::string noBox = "<tt:ElementItem><tt:Frame><tt:Object ObjectId=\"4\"><tt:Behaviour><tt:Extension>"
                              "Removed</tt:Extension></tt:Behaviour></tt:Object></tt:Frame></tt:ElementItem>";
    for (const std::string& bad : {badId, noBox, std::string("not xml <"), std::string()}) {
        SCOPED_TRACE(bad);
        TrackerFrame kept;
        EXPECT_FALSE(readTrackerFrame(bad, kept, error));
        EXPECT_TRUE(kept.targets.empty());
    }
}

TEST(ShockSensitivity, LevelOfTheAnswer)
{
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ShockDetectionResponse SchemaVersion=\"1.0\">\n"
         "  <Success>\n    <GetSensitivityLevelSuccess>\n      <SensitivityLevel>50</SensitivityLevel>\n"
         "    </GetSensitivityLevelSuccess>\n  </Success>\n</ShockDetectionResponse>\n", 50},
        {"<Level> 7 </Level>", 7},
        {"level=80\n", 80},
        {"<ShockDetectionResponse><Error><ErrorCode>2</ErrorCode></Error></ShockDetectionResponse>", std::nullopt},
        {"<SensitivityLevel>12345678901</SensitivityLevel>", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [answer, level] : cases) {
        SCOPED_TRACE(answer);
        EXPECT_EQ(readShockSensitivity(answer), level);
    }
}

namespace {

std::string definitions(const std::string& groups)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n<parameterDefinitions\n"
           "xmlns=\"http://www.axis.com/ParameterDefinitionsSchema\"\nversion=\"1.0\">\n"
           "  <model>AXIS P3245-LVE</model>\n  <firmwareVersion>10.12.114</firmwareVersion>\n"
           "  <group name=\"root\">\n" + groups + "  </group>\n</parameterDefinitions>\n";
}

} // namespace

TEST(DetectorDefinitions, TamperingAndSoundIntelligenceProperties)
{
    const std::string tampering = definitions(
        "    <group name=\"Tampering\">\n      <group name=\"T0\">\n"
        "        <parameter name=\"DarkDetectionEnabled\" value=\"yes\" securityLevel=\"7744\" niceName=\"Dark\">\n"
        "          <type>\n            <bool true=\"yes\" false=\"no\" />\n          </type>\n        </parameter>\n"
        "        <parameter name=\"MinDuration\" value=\"20\" securityLevel=\"7744\" niceName=\"Min duration\">\n"
        "          <type>\n            <int min=\"0\" max=\"60\" />\n          </type>\n        </parameter>\n"
        "        <parameter name=\"Mystery\" value=\"1\"><type><ipaddress /></type></parameter>\n"
        "      </group>\n    </group>\n");
    DetectorDefinitions read;
    std::string error;
    ASSERT_TRUE(readDetectorDefinitions(tampering, {"Tampering"},
                                        {{"DarkDetectionEnabled", "darkDetectionEnabled"},
                                         {"MinDuration", "minDuraiton"}, {"Mystery", "mystery"}},
                                        read, error))
        << error;
    const auto& range = std::get<Orix::GDRV::PropertyIntRange>(read.properties.at("minDuraiton"));
    EXPECT_EQ(range.min, 0);
    EXPECT_EQ(range.max, 60);
    EXPECT_EQ(range.value, 20);
    EXPECT_TRUE(std::get<Orix::GDRV::PropertyBool>(read.properties.at("darkDetectionEnabled")).value);
    EXPECT_EQ(read.unknownType, std::vector<std::string>{"Mystery"});
    EXPECT_FALSE(readDetectorDefinitions(tampering, {"AudioSource"}, {}, read, error));

    const std::string gunshot = definitions(
        "    <group name=\"SIGunshotDetector\">\n"
        "      <parameter name=\"AB3Sensitivity\" value=\"3\"><type><enum>"
        "<entry value=\"1\" niceValue=\"Low\" /><entry value=\"3\" niceValue=\"Medium\" />"
        "<entry value=\"5\" niceValue=\"High\" /></enum></type></parameter>\n"
        "      <parameter name=\"Mode\" value=\"auto\"><type><enum><entry value=\"auto\" /></enum></type></parameter>\n"
        "      <parameter name=\"Enabled\" value=\"yes\"><type><bool true=\"yes\" false=\"no\" /></type></parameter>\n"
        "    </group>\n");
    DetectorDefinitions levels;
    ASSERT_TRUE(readEnumDefinitions(gunshot, {"SIGunshotDetector"}, {{"AB3Sensitivity", "sensitivity"}}, levels, error))
        << error;
    const auto& sensitivity = std::get<Orix::GDRV::PropertyIntEnum>(levels.properties.at("sensitivity"));
    EXPECT_EQ(sensitivity.values, (std::vector<std::int32_t>{1, 3, 5}));
    EXPECT_EQ(sensitivity.value, 3);
    EXPECT_EQ(levels.failed, std::vector<std::string>{"Mode"});
}

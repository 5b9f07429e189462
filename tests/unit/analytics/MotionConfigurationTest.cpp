#include "MotionWindows.h"
#include "Vmd3Configuration.h"
#include "Vmd4Configuration.h"

#include <gtest/gtest.h>

using namespace Vapixcam;
using Orix::Utility::ParametersContainer;

namespace {

// Corners that cover the conversion: (0,0) -> (-1,1), (1,1) -> (1,-1), (0.5,0.25) -> (0,0.5).
MotionAreas twoExclusions()
{
    MotionAreas areas;
    areas.detection = {{0.0, 0.0}, {0.5, 0.25}, {1.0, 1.0}};
    areas.exclusions = {{{0.25, 0.75}, {0.75, 0.75}}, {{0.1, 0.9}}};
    return areas;
}

} // namespace

TEST(Vmd3Configuration, ModifyBodyCarriesAreasFiltersAndChannel)
{
    ParametersContainer values;
    values.setPersistentParam("objectDuration", 3);
    values.setPersistentParam("shortLivedObjects", false); // disabled: written negated
    values.setDefaultValue("objectWidth", 10);              // repository default
    values.setPersistentParam("smallObjects", true);
    values.setPersistentParam("objectHeight", 12);
    // traveledDistance: neither value nor default -> 0

    const std::string expected =
        "action=modify&name=VMD3\n<config version=\"2.0\">\n"
        "<application name=\"VMD3\" nicename=\"Video Motion Detection 3\">\n<ruleEngines>\n"
        "<ruleEngine status=\"enabled\">\n<namedObjects>\n"
        "<namedObject name=\"Detection Area\">\n<data knownTypeName=\"geometry.polygon\">\n<polygon>\n"
        "<point x=\"-1\" y=\"1\" />\n<point x=\"0\" y=\"0.5\" />\n<point x=\"1\" y=\"-1\" />\n"
        "</polygon>\n</data>\n</namedObject>\n"
        "<namedObject name=\"Exclude Area 1\">\n<data knownTypeName=\"geometry.polygon\">\n<polygon>\n"
        "<point x=\"-0.5\" y=\"-0.5\" />\n<point x=\"0.5\" y=\"-0.5\" />\n"
        "</polygon>\n</data>\n</namedObject>\n"
        "<namedObject name=\"Exclude Area 2\">\n<data knownTypeName=\"geometry.polygon\">\n<polygon>\n"
        "<point x=\"-0.8\" y=\"-0.8\" />\n"
        "</polygon>\n</data>\n</namedObject>\n"
        "<namedObject name=\"Object Duration\"><data knownTypeName=\"core.int\"><int value=\"-3\" /></data></namedObject>\n"
        "<namedObject name=\"Object Width\"><data knownTypeName=\"core.int\"><int value=\"10\" /></data></namedObject>\n"
        "<namedObject name=\"Object Height\"><data knownTypeName=\"core.int\"><int value=\"12\" /></data></namedObject>\n"
        "<namedObject name=\"Traveled Distance\"><data knownTypeName=\"core.int\"><int value=\"0\" /></data></namedObject>\n"
        "</namedObjects>\n<rules>\n<rule name=\"detection_0\" function=\"guardIncludeArea\">\n"
        "<parameter name=\"Time\" value=\"Object Duration\" />\n"
        "<parameter name=\"Width\" value=\"Object Width\" />\n"
        "<parameter name=\"Height\" value=\"Object Height\" />\n"
        "<parameter name=\"Duration\" value=\"Visual Duration\" />\n"
        "<parameter name=\"Distance\" value=\"Traveled Distance\" />\n"
        "<parameter name=\"Channel\" value=\"1\" />\n"
        "<parameter name=\"IncludeArea\" value=\"Detection Area\" />\n"
        "<parameter name=\"ExcludeArea1\" value=\"Exclude Area 1\" />\n"
        "<parameter name=\"ExcludeArea2\" value=\"Exclude Area 2\" />\n"
        "</rule>\n</rules>\n<scripts>\n<script encryption=\"1\">combined.lua</script>\n</scripts>\n"
        "<events>\n<event name=\"vmd3_video_1\" nicename=\"VMD 3: Video 1\">\n"
        "<attr nicename=\"Area ID\" value=\"0\" key=\"areaid\" tag=\"source\" />\n"
        "<attr nicename=\"Polygon info\" key=\"areapolygon\" tag=\"data\" />\n"
        "<attr nicename=\"Active\" key=\"active\" tag=\"property-state\" />\n"
        "</event>\n</events>\n<moteConfig>\n<option name=\"boundingBox\" value=\"true\" />\n"
        "<option name=\"polygon\" value=\"true\" />\n<option name=\"velocity\" value=\"false\" />\n"
        "</moteConfig>\n<libraries>\n<library name=\"system\" />\n</libraries>\n"
        "<analyticSources>\n<analyticSource name=\"imageSource\" value=\"1\" />\n</analyticSources>\n"
        "</ruleEngine>\n</ruleEngines>\n</application>\n</config>";
    EXPECT_EQ(buildVmd3Configuration(0, twoExclusions(), values), expected);
    EXPECT_EQ(buildVmd3Configuration(0, MotionAreas{}, values), "");
}

TEST(Vmd3Configuration, SignOfAStoredFilterIsItsEnablingProperty)
{
    const std::string reply =
        "<reply result=\"ok\">\n  <config version=\"2.0\">\n"
        "    <application name=\"VMD3\" nicename=\"Video Motion Detection 3\">\n"
        "      <ruleEngines>\n        <ruleEngine status=\"enabled\">\n          <namedObjects>\n"
        "            <namedObject name=\"Detection Area\"><data knownTypeName=\"geometry.polygon\"><polygon>"
        "<point x=\"-1\" y=\"1\" /></polygon></data></namedObject>\n"
        "            <namedObject name=\"Object Duration\"><data knownTypeName=\"core.int\"><int value=\"-3\" /></data></namedObject>\n"
        "            <namedObject name=\"Object Width\"><data knownTypeName=\"core.int\"><int value=\"7\" /></data></namedObject>\n"
        "            <namedObject name=\"Traveled Distance\"><data knownTypeName=\"core.int\"><int value=\"-2147483648\" /></data></namedObject>\n"
        "            <namedObject name=\"Visual Duration\"><data knownTypeName=\"core.int\"><int value=\"1\" /></data></namedObject>\n"
        "          </namedObjects>\n        </ruleEngine>\n      </ruleEngines>\n"
        "    </application>\n  </config>\n</reply>\n";
    Vmd3Reading reading;
    std::string error;
    ASSERT_TRUE(readVmd3Configuration(reply, reading, error)) << error;
    ASSERT_EQ(reading.filters.size(), 3u);
    EXPECT_STREQ(reading.filters[0].filter->valueProperty, "objectDuration");
    EXPECT_EQ(reading.filters[0].value, 3);
    EXPECT_FALSE(reading.filters[0].enabled);
    EXPECT_STREQ(reading.filters[1].filter->enablingProperty, "smallObjects");
    EXPECT_EQ(reading.filters[1].value, 7);
    EXPECT_TRUE(reading.filters[1].enabled);
    EXPECT_EQ(reading.filters[2].value, 2147483647);
    EXPECT_EQ(reading.unsupported, std::vector<std::string>{"Visual Duration"});

    EXPECT_FALSE(readVmd3Configuration("<reply result=\"ok\"><config", reading, error));
    EXPECT_FALSE(readVmd3Configuration("# Error: Error -1", reading, error));
}

TEST(Vmd4Configuration, SetConfigurationCarriesAreasAndFilters)
{
    ParametersContainer values;
    values.setPersistentParam("sizePercentageW", 10);
    values.setDefaultValue("sizePercentageH", 20);
    values.setPersistentParam("timeShortLivedLimitActive", false);
    values.setPersistentParam("distanceSwayingObject", 7);
    const std::string expected =
        "{\"apiVersion\":\"1.0\",\"context\":\"\",\"method\":\"setConfiguration\",\"params\":{\"cameras\":["
        "{\"active\":true,\"id\":2,\"rotation\":0}],\"profiles\":["
        "{\"name\":\"Profile 1\",\"uid\":1,\"camera\":2,\"filters\":["
        "{\"type\":\"sizePercentage\",\"data\":[10,20],\"active\":true},"
        "{\"type\":\"timeShortLivedLimit\",\"active\":false,\"data\":1},"
        "{\"type\":\"distanceSwayingObject\",\"active\":true,\"data\":7},"
        "{\"type\":\"excludeArea\",\"data\":[[-0.5,-0.5],[0.5,-0.5]]},"
        "{\"type\":\"excludeArea\",\"data\":[[-0.8,-0.8]]}],"
        "\"triggers\":[{\"type\":\"includeArea\",\"data\":[[-1,1],[0,0.5],[1,-1]]}]}]}}";
    EXPECT_EQ(buildVmd4Configuration(1, twoExclusions(), values), expected);
    EXPECT_EQ(buildVmd4Configuration(1, MotionAreas{}, values), "");
}

TEST(Vmd4Configuration, AnswersOfTheApplication)
{
    EXPECT_TRUE(vmd4RequestMalformed("{\"apiVersion\":\"1.4\",\"method\":\"setConfiguration\","
                                     "\"error\":{\"code\":\"2001\",\"message\":\"Malformed request\"}}"));
    EXPECT_FALSE(vmd4RequestMalformed("{\"apiVersion\":\"1.4\",\"method\":\"setConfiguration\",\"data\":{}}"));
    EXPECT_EQ(readVmd4ApiVersion("{\n  \"apiVersion\": \"1.4\",\n  \"method\": \"getConfiguration\"\n}"), "1.4");
    EXPECT_EQ(readVmd4ApiVersion("{\"method\": \"getConfiguration\"}"), std::nullopt);
    EXPECT_EQ(readVmd4ApiVersion("<html>"), std::nullopt);

    const std::string capabilities =
        "{\"apiVersion\":\"1.4\",\"method\":\"getConfigurationCapabilities\",\"data\":{\"filters\":["
        "{\"type\":\"timeShortLivedLimit\",\"min\":1,\"max\":5,\"default\":2,\"defaultActive\":false},"
        "{\"type\":\"sizePercentage\",\"min\":0,\"max\":100,\"default\":[6,8],\"defaultActive\":true},"
        "{\"type\":\"distanceSwayingObject\",\"min\":0,\"max\":100,\"default\":5,\"defaultActive\":true},"
        "{\"type\":\"speedLimit\",\"min\":0,\"max\":10,\"default\":1,\"defaultActive\":false}]}}";
    Vmd4Capabilities read;
    std::string error;
    ASSERT_TRUE(readVmd4Capabilities(capabilities, read, error)) << error;
    struct Expect { const char* property; bool isBool; bool active; int def; int min; int max; };
    const Expect expected[] = {
        {"timeShortLivedLimitActive", true, false, 0, 0, 0}, {"timeShortLivedLimit", false, true, 2, 1, 5},
        {"sizePercentageActive", true, true, 0, 0, 0},       {"sizePercentageW", false, true, 6, 0, 100},
        {"sizePercentageH", false, true, 8, 0, 100},         {"distanceSwayingObjectActive", true, true, 0, 0, 0},
        {"distanceSwayingObject", false, true, 5, 0, 100},
    };
    ASSERT_EQ(read.properties.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].property);
        const Vmd4Capability& c = read.properties[i];
        EXPECT_EQ(c.property, expected[i].property);
        EXPECT_EQ(c.isBool, expected[i].isBool);
        if (c.isBool) {
            EXPECT_EQ(c.defaultActive, expected[i].active);
        } else {
            EXPECT_EQ(c.defaultValue, expected[i].def);
            EXPECT_EQ(c.min, expected[i].min);
            EXPECT_EQ(c.max, expected[i].max);
        }
    }
    EXPECT_EQ(read.unsupported, std::vector<std::string>{"speedLimit"});

    EXPECT_FALSE(readVmd4Capabilities("{\"apiVersion\":\"1.1\",\"error\":{\"code\":\"2000\",\"message\":"
                                      "\"The requested version of the application is not supported.\"}}",
                                      read, error));
    EXPECT_EQ(error, "The requested version of the application is not supported.");
}

TEST(MotionWindows, ChannelWindowsAreReplacedByOneFullFrameWindow)
{
    const std::string list = "root.Motion.M0.ImageSource=0\nroot.Motion.M0.Name=DefaultWindow\n"
                             "root.Motion.M1.ImageSource=1\r\nMotion.M3.ImageSource=1\n"
                             "root.Motion.M12.ImageSource=10\nroot.Motion.MX.ImageSource=1\n";
    EXPECT_EQ(motionWindowsOfChannel(list, 0), std::vector<std::string>{"Motion.M0"});
    const std::vector<std::string> second{"Motion.M1", "Motion.M3"};
    EXPECT_EQ(motionWindowsOfChannel(list, 1), second);
    EXPECT_EQ(motionWindowsRemoveRequest(second), "/axis-cgi/param.cgi?action=remove&group=Motion.M1,Motion.M3");
    EXPECT_EQ(motionMainWindowRequest(2),
              "/axis-cgi/param.cgi?action=add&group=Motion&template=motion&Motion.M.ImageSource=2"
              "&Motion.M.Left=0&Motion.M.Right=9999&Motion.M.Top=0&Motion.M.Bottom=9999"
              "&Motion.M.WindowType=include&Motion.M.Sensitivity=90&Motion.M.ObjectSize=15&Motion.M.History=90");
}

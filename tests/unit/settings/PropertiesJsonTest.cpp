#include "SettingsTestSupport.h"

#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <json/reader.h>
#include <netkit/params/PropertiesJson.h>

using namespace Orix::GDRV;
using namespace Orix::Utility;

namespace {

boost::property_tree::ptree groupsOf(const std::string& info)
{
    boost::property_tree::ptree tree;
    std::istringstream in(info);
    boost::property_tree::read_info(in, tree);
    return tree;
}

Json::Value parse(const std::string& text)
{
    Json::Value root;
    std::istringstream(text) >> root; // throws on malformed text
    return root;
}

} // namespace

TEST(PropertiesJson, EachKindHasItsDocumentedShape)
{
    const struct {
        const char* name;
        Property property;
        const char* json;
    } cases[] = {
        {"bool", PropertyBool{"backlight", true}, R"({"current":true,"keep":false,"name":"backlight","type":"boolean"})"},
        {"int range", PropertyIntRange{"brightness", 0, 100, 50},
         R"({"current":50,"keep":false,"max":100,"min":0,"name":"brightness","type":"integer"})"},
        {"int enum", PropertyIntEnum{"fps", {15, 25, 30}, 25},
         R"({"current":25,"enum":[15,25,30],"keep":false,"name":"fps","type":"integer"})"},
        {"string enum", PropertyStringEnum{"colorEnabled", {"Black & White", "Color"}, "Color"},
         R"({"current":"Color","enum":["Black & White","Color"],"keep":false,"name":"colorEnabled","type":"string"})"},
        {"read-only string", PropertyString{"model", "M1065-LW"},
         R"({"current":"M1065-LW","keep":true,"name":"model","type":"string"})"},
        {"editable string", PropertyEditableString{"textOverlay", "Main entrance"},
         R"({"current":"Main entrance","keep":false,"name":"textOverlay","type":"string"})"},
        {"double range", PropertyDoubleRange{"gain", 0.0, 1.0, 0.5},
         R"({"current":0.5,"keep":false,"max":1.0,"min":0.0,"name":"gain","type":"number"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(propertyToJson(c.property), parse(c.json));
    }
}

TEST(PropertiesJson, GroupsFollowTheRepositoryAndTheRestGoesLast)
{
    const auto groups = groupsOf(R"(
        image { "" brightness "" contrast "" sharpness }
        exposure { "" exposure }
        dayNight { "" irCutFilter "" brightness }
    )");
    PropertySet set;
    set["contrast"] = PropertyIntRange{"contrast", 0, 100, 40};
    set["brightness"] = PropertyIntRange{"brightness", 0, 100, 50};
    set["irCutFilter"] = PropertyStringEnum{"irCutFilter", {"On", "Off", "Auto"}, "Auto"};
    set["zeta"] = PropertyBool{"zeta", false};
    set["alpha"] = PropertyBool{"alpha", true};

    const Json::Value out = propertiesToJson(set, groups);
    ASSERT_TRUE(out.isArray());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0]["group"].asString(), "image");
    ASSERT_EQ(out[0]["properties"].size(), 2u);
    EXPECT_EQ(out[0]["properties"][0]["name"].asString(), "brightness");
    EXPECT_EQ(out[0]["properties"][1]["name"].asString(), "contrast");
    EXPECT_EQ(out[1]["group"].asString(), "dayNight");
    ASSERT_EQ(out[1]["properties"].size(), 1u);
    EXPECT_EQ(out[1]["properties"][0]["name"].asString(), "irCutFilter");
    EXPECT_EQ(out[2]["group"].asString(), "other");
    ASSERT_EQ(out[2]["properties"].size(), 2u);
    EXPECT_EQ(out[2]["properties"][0]["name"].asString(), "alpha");
    EXPECT_EQ(out[2]["properties"][1]["name"].asString(), "zeta");
}

TEST(PropertiesJson, EmptySetIsAnEmptyArray)
{
    const Json::Value out = propertiesToJson({}, groupsOf(R"(image { "" brightness })"));
    EXPECT_TRUE(out.isArray());
    EXPECT_EQ(out.size(), 0u);
}

TEST(PropertiesJson, CameraTextBecomesValidUtf8)
{
    const std::string bad = "\xEF\xBF\xBD";
    const struct {
        const char* name;
        std::string text;
        std::string json;
    } cases[] = {
        {"ASCII", "Main entrance %F", "Main entrance %F"},
        {"UTF-8 kept", "Inngang \xC3\x98st \xE2\x82\xAC \xF0\x9F\x93\xB7", "Inngang \xC3\x98st \xE2\x82\xAC \xF0\x9F\x93\xB7"},
        {"NUL", std::string("ab\0cd", 5), "ab" + bad + "cd"},
        {"Latin-1 byte", "Gr\xF6n", "Gr" + bad + "n"},
        {"lead byte eats no ASCII", "\xC3(", bad + "("},
        {"cut at the end", "Cam \xE6\x97", "Cam " + bad + bad},
        {"overlong slash", "\xC0\xAF", bad + bad},
        {"surrogate", "\xED\xA0\x80", bad + bad + bad},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", bad + bad + bad + bad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(validUtf8(c.text), c.json);
        // The settings document carries the same text, in a name and a value.
        PropertySet set;
        set[c.text] = PropertyEditableString{c.text, c.text};
        const Json::Value out = parse(writeSettingsJson(propertiesToJson(set, groupsOf(""))));
        EXPECT_EQ(out[0]["properties"][0]["name"].asString(), c.json);
        EXPECT_EQ(out[0]["properties"][0]["current"].asString(), c.json);
    }
}

TEST(PropertiesJson, ShippedRepositoryGroupsEveryVideoProperty)
{
    // Every host name of the video table belongs to exactly one group of the
    // set it is offered in, so that no property of a real camera lands in
    // "other".
    const auto info = SettingsTest::shippedRepository();
    const auto& image = *info->groups.at("VSPropertiesGroups");
    const auto& streaming = *info->groups.at("StreamingPropertiesGroups");
    std::map<std::string, int> seen;
    for (const auto* tree : {&image, &streaming})
        for (const auto& group : *tree)
            for (const auto& member : group.second)
                ++seen[member.second.data()];
    for (const char* name :
         {"brightness", "contrast", "sharpness", "saturation", "whiteBalance", "exposure", "WDR",
          "irCutFilter", "zipStream", "digitalPtz", "led0lightEnabled", "dewarpMode", "codec",
          "transportProtocol", "resolution", "fps", "bitrateControl", "keyFrameInterval",
          "textOverlay", "sensorCaptureMode", "colorEnabled", "imageRotate", "maxFrameSize"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(seen[name], 1);
    }
}

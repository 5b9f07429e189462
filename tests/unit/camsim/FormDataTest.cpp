#include "FormData.h"

#include <gtest/gtest.h>

using Camsim::FormPairs;

TEST(FormData, DecodesPairsAsCgiScriptsDo)
{
    const struct {
        const char* name;
        const char* text;
        FormPairs pairs;
    } cases[] = {
        {"two pairs", "action=list&group=Brand", {{"action", "list"}, {"group", "Brand"}}},
        // The comma a real client escaped in its group list to a 9.80.2.2 camera.
        {"escaped comma", "group=root.Brand%2Croot.Properties.Firmware",
         {{"group", "root.Brand,root.Properties.Firmware"}}},
        {"plus is space", "Image.I0.Text.String=Hello+World%21", {{"Image.I0.Text.String", "Hello World!"}}},
        {"escaped ampersand and equals in a value",
         "StreamProfile.S.Parameters=resolution%3D640x480%26videocodec%3Dh264",
         {{"StreamProfile.S.Parameters", "resolution=640x480&videocodec=h264"}}},
        {"lower-case hex", "a=%2c%3d", {{"a", ",="}}},
        {"empty pieces skipped", "a=1&&b=", {{"a", "1"}, {"b", ""}}},
        {"name without value", "flag&x=2", {{"flag", ""}, {"x", "2"}}},
        {"only the first equals splits", "a=b=c", {{"a", "b=c"}}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pairs = Camsim::parseForm(c.text);
        ASSERT_TRUE(pairs.has_value());
        EXPECT_EQ(*pairs, c.pairs);
    }
}

TEST(FormData, MalformedEscapesAreRefused)
{
    for (const char* text : {"a=%", "a=%4", "a=%G1", "%zz=1", "a=1&b=%-1"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Camsim::parseForm(text).has_value());
    }
}

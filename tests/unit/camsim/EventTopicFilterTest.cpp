// The eventtopic argument: what the driver sends (pieces joined by "|"),
// the documented forms (","-separated, "//." and "/."), and what a camera
// refuses.
#include "EventTopicFilter.h"

#include <gtest/gtest.h>

using namespace Camsim;

TEST(EventTopicFilter, SelectsTopics)
{
    const std::string driver = "onvif:VideoSource/axis:Tampering//.|onvif:VideoAnalytics/axis:MotionDetection//.|"
                               "axis:CameraApplicationPlatform/VMD/Camera1Profile1/.";
    const struct {
        std::string filter;
        const char* topic;
        bool matches;
    } cases[] = {
        {driver, "tns1:VideoSource/tnsaxis:Tampering", true},
        {driver, "tns1:VideoAnalytics/tnsaxis:MotionDetection", true},
        {driver, "tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1", true},
        {driver, "tnsaxis:CameraApplicationPlatform/VMD/Camera1ProfileANY", false},
        {driver, "tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile12", false},
        {driver, "tns1:VideoSource/tnsaxis:TemperatureDetection", false},
        {driver, "tns1:Device/tnsaxis:Tampering/ShockDetected", false}, // same name under another root
        {"onvif:Device/axis:Tampering/ShockDetected//.", "tns1:Device/tnsaxis:Tampering/ShockDetected", true},
        // "//." reaches every level below, "/." one, none without a suffix.
        {"onvif:RuleEngine//.", "tns1:RuleEngine/tnsaxis:VMD3/vmd3_video_1", true},
        {"onvif:RuleEngine/.", "tns1:RuleEngine/tnsaxis:VMD3/vmd3_video_1", false},
        {"axis:CameraApplicationPlatform/VMD/.", "tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1", true},
        {"onvif:Device/axis:IO/Port", "tns1:Device/tnsaxis:IO/Port", true},
        {"onvif:Device/axis:IO/Port", "tns1:Device/tnsaxis:IO/Port/Extra", false},
        // Namespaces: onvif and axis differ; unprefixed names match either.
        {"axis:VideoSource/axis:Tampering//.", "tns1:VideoSource/tnsaxis:Tampering", false},
        {"VideoSource/Tampering//.", "tns1:VideoSource/tnsaxis:Tampering", true},
        {"tns1:VideoSource/tnsaxis:Tampering", "tns1:VideoSource/tnsaxis:Tampering", true},
        // The documented comma form, and the empty filter.
        {"onvif:Device/axis:IO/Port,onvif:VideoSource/axis:Tampering//.", "tns1:VideoSource/tnsaxis:Tampering", true},
        {"", "tnsaxis:Storage/Alert", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter + " / " + c.topic);
        std::string why;
        const auto filter = EventTopicFilter::parse(c.filter, why);
        ASSERT_TRUE(filter) << why;
        EXPECT_EQ(filter->matches(c.topic), c.matches);
    }
    EXPECT_FALSE(EventTopicFilter::nothing().matches("tns1:VideoSource/tnsaxis:Tampering"));
}

TEST(EventTopicFilter, RefusesWhatIsNoTopicExpression)
{
    for (const std::string& expression : std::vector<std::string>{
             "onvif:VideoSource/axis:Tampering//.|", "a||b", "foo:Bar//.", "onvif:/Tampering", "onvif:Video Source",
          "//.", std::string(9000, 'a')}) {
        SCOPED_TRACE(expression.substr(0, 40));
        std::string why;
        EXPECT_FALSE(EventTopicFilter::parse(expression, why));
        EXPECT_FALSE(why.empty());
    }
}

#include "SettingsTestSupport.h"
#include "VideoParameterTable.h"
#include "VideoUpdateBuilder.h"

#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using Orix::Utility::ParamMap;
using Orix::Utility::ParamValue;

namespace {

// Sensor settings of an M3058-style camera that has slow shutter control,
// beside the M1065-LW document.
std::string shutterDefinitions()
{
    return definitions("ImageSource",
                       group("Sensor", parameter("AutoSlowShutter", "off",
                                                 "<bool true=\"on\" false=\"off\" />") +
                                           parameter("BacklightCompensation", "no",
                                                     "<bool true=\"yes\" false=\"no\" />") +
                                           parameter("ManualShutterControl", "Off",
                                                     "<bool true=\"On\" false=\"Off\" />")));
}

struct Channel {
    explicit Channel(std::uint32_t stream = 0, ProfileParameters profile = {},
                     std::set<std::string> ignored = {})
        : logger(std::make_shared<TestSupport::CapturingLogger>()), owner(logger)
    {
        acquired.ignored = ignored;
        acquired.ignoreOsdForProfiles = ignored.count(kIgnoreOsdForProfiles) != 0;
        DefinitionsReader reader(VideoParameterTable::descriptors(),
                                 *shippedRepository()->groups.at("Properties"), ignored, owner);
        if (stream == 1) {
            acquired.profileIndex = 3;
            acquired.profile = profile;
            reader.setProfile(profile);
        }
        EXPECT_EQ(reader.read(readFixture("M1065-LW_9.10.1_listdefinitions_ImageSource.I0.xml"),
                              acquired.properties),
                  Orix::Ok);
        EXPECT_EQ(reader.read(readFixture("C-Bullet-LE_9.80.2.2_listdefinitions_Image.I0.xml"),
                              acquired.properties),
                  Orix::Ok);
        EXPECT_EQ(reader.read(shutterDefinitions(), acquired.properties), Orix::Ok);
        LightInformation lights;
        EXPECT_EQ(LightControl::readInformation(readFixture("light-information_IR.json"), lights, owner),
                  Orix::Ok);
        acquired.lights = lights.lights;
        for (const auto& [name, value] : acquired.properties.values)
            values.setPersistentParam(name, value);
        inputs.stream = stream;
    }

    VideoUpdatePlan apply(const ParamMap& changed)
    {
        values.updateParams(changed);
        inputs.changed = changed;
        inputs.values = &values;
        inputs.acquired = &acquired;
        return VideoUpdateBuilder::build(inputs, owner);
    }

    std::shared_ptr<TestSupport::CapturingLogger> logger;
    Orix::LoggerOwner owner;
    AcquiredVideoSettings acquired;
    Orix::Utility::ParametersContainer values;
    VideoUpdateInputs inputs;
};

const std::string kUpdate = "/axis-cgi/operator/param.cgi?action=update";

} // namespace

TEST(VideoUpdateBuilder, MainStreamChangesBecomeOneUpdateUrl)
{
    struct Case {
        const char* name;
        ParamMap changed;
        std::string url;
        bool newSession;
        bool reboot;
    };
    const Case cases[] = {
        {"int", {{"brightness", 70}}, kUpdate + "&ImageSource.I0.Sensor.Brightness=70", false, false},
        {"int given as text", {{"contrast", std::string("65")}}, kUpdate + "&ImageSource.I0.Sensor.Contrast=65", false, false},
        {"text with spaces", {{"textOverlay", std::string("Main entrance")}},
         kUpdate + "&Image.I0.Text.String=Main+entrance", true, false},
        {"text with query characters", {{"textOverlay", std::string("Gate & Yard %T")}},
         kUpdate + "&Image.I0.Text.String=Gate+%26+Yard+%25T", true, false},
        {"bool as yes/no", {{"imageMirror", true}, {"backlight", false}},
         kUpdate + "&ImageSource.I0.Sensor.BacklightCompensation=no&Image.I0.Appearance.MirrorEnabled=yes",
         true, false},
        {"autoSlowShutter as on/off", {{"autoSlowShutter", true}},
         kUpdate + "&ImageSource.I0.Sensor.AutoSlowShutter=on", false, false},
        {"bool as its definition spells it", {{"manualShutterControl", true}},
         kUpdate + "&ImageSource.I0.Sensor.ManualShutterControl=On", false, false},
        {"digitalPtz as true/false with the lock clause", {{"digitalPtz", false}},
         kUpdate + "&PTZ.ImageSource.I0.PTZEnabled=false&PTZ.Various.V1.Locked=false", false, false},
        {"enum display value to camera value", {{"whiteBalance", std::string("Fixed outdoor 1")}},
         kUpdate + "&ImageSource.I0.Sensor.WhiteBalance=fixed_outdoor1", false, false},
        {"enum camera value accepted", {{"irCutFilter", std::string("no")}},
         kUpdate + "&ImageSource.I0.DayNight.IrCutFilter=no", false, false},
        {"stream enum", {{"bitrateControl", std::string("Maximum bit rate")}},
         kUpdate + "&Image.I0.RateControl.Mode=mbr", true, false},
        {"capture mode asks for a reboot", {{"sensorCaptureMode", std::string("1920x1080 (16:9) 50/60 fps (no WDR)")}},
         kUpdate + "&ImageSource.I0.Sensor.CaptureMode=2", true, true},
        {"transport only sends nothing", {{"transportProtocol", std::string("udp")}}, "", true, false},
        {"codec only sends nothing", {{"codec", std::string("H265")}}, "", true, false},
        {"signal-lost time only", {{"signalLostTimeout", 20}}, "", true, false},
        {"checks see the values after the change", {{"bitrateControl", std::string("Average bit rate")}, {"abrTargetBitRate", 3000}},
         kUpdate + "&Image.I0.RateControl.Mode=abr&Image.I0.RateControl.ABR.TargetBitrate=3000", true, false},
        {"in table order", {{"fps", 15}, {"brightness", 40}, {"zipStream", std::string("Medium")}},
         kUpdate + "&ImageSource.I0.Sensor.Brightness=40&Image.I0.MPEG.ZStrength=20&Image.I0.Stream.FPS=15",
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Channel channel;
        const VideoUpdatePlan plan = channel.apply(c.changed);
        EXPECT_EQ(plan.error, Orix::Ok);
        EXPECT_EQ(plan.updateUrl, c.url);
        EXPECT_EQ(plan.needsNewSession, c.newSession);
        EXPECT_EQ(plan.reboot, c.reboot);
        EXPECT_FALSE(plan.profileRewrite);
        EXPECT_TRUE(plan.lightRequests.empty());
    }
}

TEST(VideoUpdateBuilder, ValuesThatCannotBeWrittenAreLeftOut)
{
    struct Case {
        const char* name;
        ParamMap changed;
        const char* logLine;
    };
    const Case cases[] = {
        {"not read from the camera", {{"noiseReduction", 5}}, "Unknown type '4' is defined for of property 'noiseReduction'"},
        {"not offered with the current rate control", {{"bitRate", 800}}, "Property 'bitRate' skipped by checker"},
        {"MJPEG-only setting on H.264", {{"maxFrameSize", 20000}}, "Property 'maxFrameSize' skipped by checker"},
        {"enum value the camera does not list", {{"whiteBalance", std::string("Purple")}},
         "Property 'whiteBalance' has no value 'Purple'"},
        {"int that is no number", {{"brightness", std::string("bright")}}, "Unexpected property 'brightness'"},
        {"bool that is no bool", {{"imageMirror", std::string("sometimes")}}, "Unexpected property 'imageMirror'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Channel channel;
        const VideoUpdatePlan plan = channel.apply(c.changed);
        EXPECT_EQ(plan.updateUrl, "");
        EXPECT_FALSE(plan.reboot);
        EXPECT_TRUE(channel.logger->contains(c.logLine)) << channel.logger->all();
    }
}

TEST(VideoUpdateBuilder, DigitalPtzLockFollowsTheCameraNumber)
{
    Channel channel;
    channel.inputs.instance = "I2";
    channel.inputs.cameraNumber = 3;
    EXPECT_EQ(channel.apply({{"digitalPtz", true}}).updateUrl,
              kUpdate + "&PTZ.ImageSource.I2.PTZEnabled=true&PTZ.Various.V3.Locked=false");
}

TEST(VideoUpdateBuilder, SecondStreamRewritesItsProfile)
{
    const ProfileParameters mbrProfile{{"videocodec", "h264"},
                                       {"resolution", "640x360"},
                                       {"fps", "25"},
                                       {"videobitratemode", "mbr"}};
    const ProfileParameters cbrProfile{{"videocodec", "h264"},       {"resolution", "640x360"},
                                       {"fps", "25"},                {"videobitratemode", "cbr"},
                                       {"videobitrate", "512"},      {"videobitratepriority", "framerate"}};
    struct Case {
        const char* name;
        ProfileParameters profile;
        std::set<std::string> ignored;
        ParamMap changed;
        std::string url;
    };
    // As a 9.x camera lists a profile made in its web page, with the cap
    // and a Zipstream key the driver does not model.
    const ProfileParameters cameraProfile{{"resolution", "1920x1080"},   {"mirror", "0"},
                                          {"fps", "0"},                  {"videokeyframeinterval", "32"},
                                          {"h264profile", "main"},       {"videomaxbitrate", "2000"},
                                          {"videozstrength", "30"},      {"videocodec", "h264"}};
    const Case cases[] = {
        {"fps merged in place", mbrProfile, {}, {{"fps", 15}},
         kUpdate + "&StreamProfile.S3.Parameters="
                   "videocodec%3dh264%26resolution%3d640x360%26fps%3d15%26videobitratemode%3dmbr"},
        {"unmodelled keys keep their order and values", cameraProfile, {}, {{"compression", 50}},
         kUpdate + "&StreamProfile.S3.Parameters="
                   "resolution%3d1920x1080%26mirror%3d0%26fps%3d0%26videokeyframeinterval%3d32%26h264profile%3dmain"
                   "%26videomaxbitrate%3d2000%26videozstrength%3d30%26videocodec%3dh264%26compression%3d50"},
        {"bit rate goes into the profile, not TargetBitrate", cbrProfile, {"ignoreOsdForProfiles"}, {{"bitRate", 800}},
         kUpdate + "&StreamProfile.S3.Parameters="
                   "videocodec%3dh264%26resolution%3d640x360%26fps%3d25%26videobitratemode%3dcbr%26videobitrate%3d800"
                   "%26videobitratepriority%3dframerate"},
        // Stored percent-encoded in the profile, and escaped once more for
        // the param.cgi query: the camera's one decoding stores "%25F%20...".
        {"overlay text with date codes and query characters", mbrProfile, {},
         {{"textOverlay", std::string("%F #1 a+b & c=d \xC3\x85")}},
         kUpdate + "&StreamProfile.S3.Parameters="
                   "videocodec%3dh264%26resolution%3d640x360%26fps%3d25%26videobitratemode%3dmbr%26textstring%3d"
                   "%2525F%2520%25231%2520a%252Bb%2520%2526%2520c%253Dd%2520%25C3%2585"},
        {"overlay withdrawn on this model is not written", mbrProfile, {"ignoreOsdForProfiles"},
         {{"fps", 10}, {"textOverlay", std::string("Gate")}},
         kUpdate + "&StreamProfile.S3.Parameters="
                   "videocodec%3dh264%26resolution%3d640x360%26fps%3d10%26videobitratemode%3dmbr"},
        {"sensor setting still goes to the channel", mbrProfile, {}, {{"brightness", 30}},
         kUpdate + "&ImageSource.I0.Sensor.Brightness=30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Channel channel(1, c.profile, c.ignored);
        const VideoUpdatePlan plan = channel.apply(c.changed);
        EXPECT_EQ(plan.error, Orix::Ok);
        EXPECT_EQ(plan.updateUrl, c.url);
        EXPECT_EQ(plan.updateUrl.find("TargetBitrate"), std::string::npos);
        const bool rewrite = c.url.find("StreamProfile") != std::string::npos;
        EXPECT_EQ(plan.profileRewrite, rewrite);
        EXPECT_EQ(plan.needsNewSession, rewrite);
    }
}

TEST(VideoUpdateBuilder, SecondStreamWithoutKnownProfileFails)
{
    Channel channel(1, {{"videocodec", "h264"}});
    channel.acquired.profileIndex.reset();
    const VideoUpdatePlan plan = channel.apply({{"fps", 10}});
    EXPECT_EQ(plan.error, Orix::GenericFailure);
    EXPECT_EQ(plan.updateUrl, "");
}

TEST(VideoUpdateBuilder, LightChangesBecomeLightControlPosts)
{
    Channel channel;
    const VideoUpdatePlan plan =
        channel.apply({{"led0lightEnabled", false}, {"led0lightSync", true}, {"led7lightState", true}});
    ASSERT_EQ(plan.lightRequests.size(), 2u);
    EXPECT_EQ(plan.lightRequests[0].uri, "/axis-cgi/lightcontrol.cgi");
    EXPECT_NE(plan.lightRequests[0].body.find("\"method\": \"disableLight\""), std::string::npos);
    EXPECT_NE(plan.lightRequests[1].body.find("\"method\": \"setLightSynchronizeDayNightMode\""),
              std::string::npos);
    EXPECT_TRUE(channel.logger->contains("Couldn't form a valid HTTP POST request for setting led7lightState"));
    EXPECT_EQ(plan.updateUrl, "");
    EXPECT_FALSE(plan.needsNewSession);
}

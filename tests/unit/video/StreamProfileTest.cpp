#include "StreamProfile.h"
#include "support/FakeHost.h"

#include <gtest/gtest.h>

using namespace Vapixcam;

namespace {

// Lines as an M1065-LW on 9.10.1 answers
// "param.cgi?action=list&group=StreamProfile,Properties.Image.I0.Resolution".
const char* const kProfilesWithOurs =
    "root.StreamProfile.MaxGroups=26\n"
    "root.StreamProfile.S0.Description=profile_1_description\n"
    "root.StreamProfile.S0.Name=profile_1\n"
    "root.StreamProfile.S0.Parameters=videocodec=h264\n"
    "root.StreamProfile.S1.Description=\n"
    "root.StreamProfile.S1.Name=Profile101\n"
    "root.StreamProfile.S1.Parameters=videocodec=h264&resolution=640x360&fps=25&videobitratemode=cbr&videobitrate=512\n"
    "root.Properties.Image.I0.Resolution=1920x1080,1280x960,1280x720,1024x768,1024x576,800x600,640x480,640x360,352x240,320x240\n";

const char* const kProfilesWithoutFps =
    "root.StreamProfile.MaxGroups=26\n"
    "root.StreamProfile.S3.Name=Profile101\n"
    "root.StreamProfile.S3.Parameters=videocodec=h264&resolution=640x360&compression=30\n"
    "root.Properties.Image.I0.Resolution=1920x1080,1280x720,640x360\n";

TEST(StreamProfile, NameFollowsChannelAndStream)
{
    EXPECT_EQ(streamProfileName(0, 1), "Profile101");
    EXPECT_EQ(streamProfileName(2, 1), "Profile301");
    EXPECT_EQ(streamProfileName(9, 0), "Profile1000");
}

TEST(StreamProfile, SubStreamResolutionAndBitrate)
{
    const struct {
        std::vector<std::string> list;
        const char* resolution;
        unsigned bitrate;
    } cases[] = {
        {{"1920x1080", "1280x720", "640x360", "320x180"}, "640x360", 512},
        {{"1920x1920", "1280x1280", "640x640"}, "640x640", 512},
        {{"1920x1080", "1280x720", "800x600"}, "1280x720", 943},
        {{"2592x1944", "1920x1080", "1280x960", "800x600"}, "1280x960", 1258},
        {{"QCIF"}, "QCIF", 28},
        {{"1x1"}, "1x1", 512},
        {{}, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resolution);
        EXPECT_EQ(subStreamResolution(c.list), c.resolution);
        EXPECT_EQ(subStreamBitrate(c.resolution), c.bitrate);
    }
}

TEST(StreamProfile, DecidesBetweenNothingUpdateAndCreate)
{
    struct Case {
        const char* name;
        const char* answer;
        StreamProfileInputs inputs;
        bool exists;
        const char* action;
        const char* url;
    };
    StreamProfileInputs main0;
    StreamProfileInputs forced;
    forced.force = true;
    StreamProfileInputs abrJpeg;
    abrJpeg.codec = "MJPEG";
    StreamProfileInputs abr;
    abr.rateControlMode = "abr";
    abr.channel = 2;
    abr.cameraNumber = 3;
    const Case cases[] = {
        {"complete profile needs nothing", kProfilesWithOurs, main0, true, "", ""},
        {"forced rewrite keeps the index", kProfilesWithOurs, forced, true, "update",
         "/axis-cgi/operator/param.cgi?action=update&StreamProfile.S1.Parameters="
         "videocodec%3dh264%26resolution%3d640x360%26fps%3d25%26videobitratemode%3dcbr%26videobitrate%3d512"
         "%26videobitratepriority%3dframerate"},
        {"profile without fps is corrected, its other values kept", kProfilesWithoutFps, main0, true, "update",
         "/axis-cgi/operator/param.cgi?action=update&StreamProfile.S3.Parameters="
         "videocodec%3dh264%26resolution%3d640x360%26compression%3d30%26fps%3d25%26videobitratemode%3dcbr"
         "%26videobitrate%3d512%26videobitratepriority%3dframerate"},
        {"camera error answer creates", "# Error: Error -1 getting param in group 'StreamProfile'\n", main0, false,
         "create",
         "/axis-cgi/param.cgi?action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=Profile101"
         "&StreamProfile.S.Parameters=videocodec%3dh264%26fps%3d25%26videobitratemode%3dcbr%26videobitrate%3d0"
         "%26videobitratepriority%3dframerate"},
        {"other channel's profile does not count", kProfilesWithOurs, abr, false, "create",
         "/axis-cgi/param.cgi?action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=Profile301"
         "&StreamProfile.S.Parameters=videocodec%3dh264%26fps%3d25%26videobitratemode%3dabr%26videoabrtargetbitrate%3d0"},
        {"mjpeg carries no rate settings", "root.StreamProfile.MaxGroups=26\nroot.Properties.Image.I0.Resolution=1280x720,800x600,640x480\n",
         abrJpeg, false, "create",
         "/axis-cgi/param.cgi?action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=Profile101"
         "&StreamProfile.S.Parameters=videocodec%3dmjpeg%26resolution%3d800x600"},
        {"short answer is no profile", "OK\n", main0, false, "create", nullptr},
        {"profile without resolution is complete when the camera lists none",
         "root.StreamProfile.S2.Name=Profile101\nroot.StreamProfile.S2.Parameters=videocodec=h264&fps=25\n",
         main0, true, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto sink = std::make_shared<TestSupport::CapturingLogger>(0);
        Orix::LoggerOwner logger(sink);
        const StreamProfileCheck check = checkStreamProfileForChannel(c.answer, c.inputs, logger);
        EXPECT_EQ(check.exists, c.exists);
        EXPECT_EQ(check.action, c.action);
        if (c.url) {
            EXPECT_EQ(check.requestUrl, c.url);
        }
        if (*c.action) {
            EXPECT_TRUE(sink->contains(" No correct profile for streaming was found. Try to " +
                                       std::string(c.action) + " profile with name " + check.name))
                << sink->all();
        }
    }
}

TEST(StreamProfile, TopologyResolutionsServeCamerasWithoutAPerChannelList)
{
    auto sink = std::make_shared<TestSupport::CapturingLogger>(0);
    Orix::LoggerOwner logger(sink);
    StreamProfileInputs inputs;
    inputs.fallbackResolutions = {"1920x1080", "1280x720", "640x360"};
    const auto check = checkStreamProfileForChannel(
        "root.StreamProfile.S2.Name=Profile101\nroot.StreamProfile.S2.Parameters=videocodec=h264&fps=25\n"
        "# Error: Error -1 getting param in group 'Properties.Image.I0.Resolution'\n",
        inputs, logger);
    EXPECT_EQ(check.resolution, "640x360");
    EXPECT_EQ(check.action, "update");
    EXPECT_FALSE(sink->contains("Can't get a list of supported resolutions"));
}

TEST(StreamProfile, ParameterStringsSplitAtFirstEquals)
{
    const auto parameters = splitProfileParameters("videocodec=h264&text=a=b&&flag&fps=25");
    ASSERT_EQ(parameters.size(), 4u);
    EXPECT_EQ(parameters[1], (std::pair<std::string, std::string>{"text", "a=b"}));
    EXPECT_EQ(parameters[2], (std::pair<std::string, std::string>{"flag", ""}));
    EXPECT_EQ(*findProfileParameter(parameters, "fps"), "25");
    EXPECT_EQ(findProfileParameter(parameters, "resolution"), nullptr);
    EXPECT_EQ(encodeProfileParameters({{"overlay", "a b&c=d"}}), "overlay%3da%2520b%26c%3dd");
    // Values the camera lists already encoded are written back to be stored unchanged.
    EXPECT_EQ(encodeProfileParameters({{"textstring", "Gate%202"}, {"text", "#1+2"}}),
              "textstring%3dGate%25202%26text%3d%231%2B2");
}

} // namespace

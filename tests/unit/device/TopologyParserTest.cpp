#include "Device.h"
#include "TopologyParser.h"
#include "support/FakeHost.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using Vapixcam::Topology;

namespace {

std::string readData(const std::string& name)
{
    std::ifstream in(std::string(VAPIXCAM_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Fixture {
    std::shared_ptr<TestSupport::CapturingLogger> sink = std::make_shared<TestSupport::CapturingLogger>(0);
    Orix::LoggerOwner logger{sink};
};

using Strings = std::vector<std::string>;

TEST(TopologyParser, RealM1065Answer)
{
    Fixture f;
    Topology t;
    Vapixcam::applyTopologyAnswer(readData("vapix/M1065-LW_9.10.1_topology.txt"), t, f.logger);
    EXPECT_EQ(t.product, "M1065-LW");
    EXPECT_EQ(t.firmware, "9.10.1");
    EXPECT_EQ(t.modelKey, "M1065-LW#9");
    EXPECT_EQ(t.videoCodecs, (Strings{"H264", "MJPEG"}));
    EXPECT_EQ(t.audioCodecs, (Strings{"G.726", "G.711"}));
    EXPECT_EQ(t.resolutions.size(), 10u);
    EXPECT_EQ(t.resolutions.front(), "1920x1080");
    EXPECT_EQ(t.videoChannels, 1);
    EXPECT_EQ(t.audioSources, 1);
    EXPECT_EQ(t.inputs, 1);
    EXPECT_EQ(t.outputs, 0);
    EXPECT_TRUE(t.virtualInputs);
    // "CtlQueueing" occurs (even as false): the camera has the control queue.
    EXPECT_TRUE(t.ptzControlQueue);
    EXPECT_EQ(t.rtspPort, 554);
    EXPECT_TRUE(f.sink->contains(" Connected to device M1065-LW/9.10.1"));
    EXPECT_TRUE(f.sink->contains(" Use 554 as RTSP port"));
    EXPECT_TRUE(f.sink->contains(
        " Device has: videoCodecs={H264,MJPEG} audioCodecs={G.726,G.711} channels=1 asChannels=1 "
        "input=1 outputs=0+32v resolutions={1920x1080,1280x960,"));
}

TEST(TopologyParser, FindsKeysAnywhereAndValuesToLineEnd)
{
    const struct {
        const char* body;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"root.Network.RTSP.Port=554\r\nroot.Brand.ProdNbr=P5512\r\n", "Network.RTSP.Port", "554"},
        {"root.Network.RTSP.Port=554\r\nroot.Brand.ProdNbr=P5512\r\n", "Brand.ProdNbr", "P5512"},
        {"root.Brand.ProdNbr=P5512", "Brand.ProdNbr", "P5512"},
        {"root.Brand.ProdNbr=\nroot.X=1", "Brand.ProdNbr", ""},
        {"root.Brand.ProdNbr=P5512\n", "Brand.ProdShortName", std::nullopt},
        {"# Error: Error -1 getting param in group 'PTZ.Various'\n", "PTZ.Various", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(Vapixcam::findParameterValue(c.body, c.key), c.value);
    }
}

TEST(TopologyParser, CodecTablesAreWalkedOnceInTableOrder)
{
    const struct {
        const char* formats;
        Strings video;
    } videoCases[] = {
        {"jpeg,mjpeg", {"MJPEG"}},
        {"jpeg,mjpeg,h264", {"H264", "MJPEG"}},
        {"jpeg,mjpeg,h264,h265", {"H265", "H264", "MJPEG"}},
        {"mpeg4,jpeg", {"MPEG4", "MJPEG"}},
        {"", {}},
        {"av1", {}},
    };
    for (const auto& c : videoCases) {
        SCOPED_TRACE(c.formats);
        EXPECT_EQ(Vapixcam::videoCodecsOf(c.formats), c.video);
    }
    EXPECT_EQ(Vapixcam::audioCodecsOf("g711,g726,axis-mulaw-128"), (Strings{"G.726", "G.711"}));
    EXPECT_EQ(Vapixcam::audioCodecsOf("aac,opus"), Strings{});
}

TEST(TopologyParser, ResolutionsKeepCameraSpellingAndDropUnknownItems)
{
    Fixture f;
    const auto list = Vapixcam::getResolutions(
        "root.Properties.Image.Resolution=1920x1080,FOO,4CIF\r\n", f.logger, "");
    EXPECT_EQ(list, (Strings{"1920x1080", "4CIF"}));
    EXPECT_EQ(f.sink->count(" Device reports unsupported resolution 'FOO'"), 1u);

    EXPECT_EQ(Vapixcam::getResolutions("root.Properties.Image.I1.Resolution=640x480,QCIF\n",
                                       f.logger, "I1"),
              (Strings{"640x480", "QCIF"}));
    EXPECT_TRUE(Vapixcam::getResolutions("root.Brand.ProdNbr=X\n", f.logger, "").empty());
}

TEST(TopologyParser, ResolutionSizes)
{
    const struct {
        const char* item;
        unsigned width;
        unsigned height;
    } cases[] = {
        {"1920x1080", 1920, 1080}, {"4CIF", 768, 576}, {"2CIF", 768, 288}, {"CIF", 384, 288},
        {"QCIF", 192, 144},        {"D1", 0, 0},       {"x1080", 0, 0},     {"1920x", 0, 0},
        {"19a0x1080", 0, 0},       {"cif", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const auto size = Vapixcam::resolutionSize(c.item);
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
    }
}

TEST(TopologyParser, MaximumResolutionPrefersWidestThenLater16By9)
{
    const struct {
        Strings list;
        const char* expected;
    } cases[] = {
        {{}, ""},
        {{"640x480", "1920x1080", "1280x720"}, "1920x1080"},
        {{"1920x1440", "1920x1080"}, "1920x1080"},
        {{"1920x1080", "1920x1440"}, "1920x1080"},
        {{"2592x1944", "2592x1458", "2592x1440"}, "2592x1458"},
        {{"4CIF", "768x432"}, "768x432"},
        {{"CIF", "QCIF"}, "CIF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(Vapixcam::maxResolution(c.list), c.expected);
    }
}

TEST(TopologyParser, FirmwareAndRtspPortRules)
{
    const struct {
        const char* name;
        const char* body;
        const char* modelKey;
        unsigned rtspPort;
        const char* logged;
        bool portRead;
    } cases[] = {
        {"dotted firmware", "root.Brand.ProdNbr=P3245-LVE\nroot.Properties.Firmware.Version=10.2.1\nroot.Network.RTSP.Port=8554\n",
         "P3245-LVE#10", 8554, " Use 8554 as RTSP port", true},
        {"firmware without a dot", "root.Brand.ProdNbr=P3245-LVE\nroot.Properties.Firmware.Version=10\nroot.Network.RTSP.Port=554\n",
         "", 554, " Cannot get major firmware version from '10'", true},
        {"no RTSP port", "root.Brand.ProdNbr=P7214\nroot.Properties.Firmware.Version=5.51.2\n",
         "P7214#5", 554, " Can't get RTSP port from response, default RTPS will be used", false},
        {"RTSP port 0", "root.Brand.ProdNbr=P7214\nroot.Properties.Firmware.Version=5.51.2\nroot.Network.RTSP.Port=0\n",
         "P7214#5", 554, " Can't get RTSP port from response, default RTPS will be used", false},
        {"RTSP port not a number", "root.Brand.ProdNbr=P7214\nroot.Properties.Firmware.Version=5.51.2\nroot.Network.RTSP.Port=rtsp\n",
         "P7214#5", 554, " Can't get RTSP port from response, default RTPS will be used", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        Topology t;
        t.rtspOverHttp = true;
        Vapixcam::applyTopologyAnswer(c.body, t, f.logger);
        EXPECT_EQ(t.modelKey, c.modelKey);
        EXPECT_EQ(t.rtspPort, c.rtspPort);
        EXPECT_EQ(f.sink->count(c.logged), 1u) << f.sink->all();
        // A port read from the camera clears an earlier tunnel decision.
        EXPECT_EQ(t.rtspOverHttp, !c.portRead);
    }
}

TEST(TopologyParser, CountsNoCameraCanHaveFallBackWithALogLine)
{
    const struct {
        const char* name;
        const char* counts;
        std::int32_t channels, audio, inputs, outputs;
        std::size_t complaints;
    } cases[] = {
        {"missing: channels kept, others none", "", 4, 0, 0, 0, 0},
        {"P7214", "root.ImageSource.NbrOfSources=4\nroot.AudioSource.NbrOfSources=1\nroot.Input.NbrOfInputs=4\n"
                  "root.Output.NbrOfOutputs=4\n", 4, 1, 4, 4, 0},
        {"all ones", "root.ImageSource.NbrOfSources=4294967295\nroot.AudioSource.NbrOfSources=4294967295\n", 4, 0, 0, 0, 2},
        {"negative", "root.ImageSource.NbrOfSources=-1\nroot.Input.NbrOfInputs=-3\nroot.Output.NbrOfOutputs=-2147483648\n",
         4, 0, 0, 0, 3},
        {"beyond any camera", "root.ImageSource.NbrOfSources=65\nroot.Input.NbrOfInputs=100000\n", 4, 0, 0, 0, 2},
        // Past the host's 32-bit count; the second fits a long, not an int.
        {"past 32 bits", "root.ImageSource.NbrOfSources=2147483648\nroot.Output.NbrOfOutputs=000000000000003577192789080335277\n",
         4, 0, 0, 0, 2},
        {"not numbers", "root.ImageSource.NbrOfSources=two\nroot.AudioSource.NbrOfSources=1.5\nroot.Output.NbrOfOutputs=\n",
         4, 0, 0, 0, 3},
        {"no image source", "root.ImageSource.NbrOfSources=0\n", 1, 0, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        Topology t;
        t.videoChannels = 4;
        Vapixcam::applyTopologyAnswer(std::string("root.Brand.ProdNbr=X\nroot.Properties.Firmware.Version=1.0\n") +
                                          c.counts,
                                      t, f.logger);
        EXPECT_EQ(t.videoChannels, c.channels);
        EXPECT_EQ(t.audioSources, c.audio);
        EXPECT_EQ(t.inputs, c.inputs);
        EXPECT_EQ(t.outputs, c.outputs);
        EXPECT_EQ(f.sink->count("which no camera has") + f.sink->count("no image source"), c.complaints)
            << f.sink->all();
    }
}

TEST(TopologyParser, OverLongValuesAreDroppedAndTheRestIsUsed)
{
    Fixture f;
    Topology t;
    const std::string longName(15u << 20, 'A');
    const std::string longFirmware(40000, '9'); // within the value bound, beyond a log line
    Vapixcam::applyTopologyAnswer("root.Brand.ProdNbr=" + longName + "\nroot.Properties.Firmware.Version=" +
                                      longFirmware + "\nroot.ImageSource.NbrOfSources=4\nroot.Network.RTSP.Port=8554\n",
                                  t, f.logger);
    EXPECT_EQ(t.product, "");
    EXPECT_EQ(t.videoChannels, 4);
    EXPECT_EQ(t.rtspPort, 8554);
    EXPECT_TRUE(f.sink->contains(" Device answered 15728640 bytes for 'Brand.ProdNbr', more than any value holds"))
        << f.sink->all().substr(0, 2000);
    // The firmware is quoted in a log line, which is cut.
    EXPECT_TRUE(f.sink->contains(" more bytes not logged]"));
    EXPECT_LT(f.sink->all().size(), 64u * 1024u);
}

TEST(TopologyParser, UnusableAnswersNameTheirProblem)
{
    const struct {
        unsigned status;
        const char* reason;
        const char* body;
        const char* problem;
    } cases[] = {
        {200, "OK", "root.Brand.ProdNbr=M1065-LW\nroot.Properties.Firmware.Version=9.10.1\n", ""},
        {403, "Forbidden", "<HTML><HEAD><TITLE>403 Forbidden</TITLE></HEAD></HTML>\n", "HTTP 403 Forbidden"},
        {503, "Service Unavailable", "", "HTTP 503 Service Unavailable"},
        {302, "Found", "", "HTTP 302 Found (redirected, parameters are not answered here)"},
        {200, "OK", "\r\n", "empty answer"},
        {200, "OK", "# Error: Error -1 getting param in group 'Brand.ProdNbr'\n",
         "no parameter list in the answer: # Error: Error -1 getting param in group 'Brand.ProdNbr'"},
        {200, "OK", "<html>\x01\xff login</html>", "no parameter list in the answer: <html>?? login</html>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        EXPECT_EQ(Vapixcam::topologyAnswerProblem(c.status, c.reason, c.body), c.problem);
    }
}

} // namespace

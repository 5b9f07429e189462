#include <netkit/sdp/SdpError.h>
#include <netkit/rtsp/RtspUrl.h>
#include <netkit/sdp/SdpSession.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using TestSupport::dataPath;
using TestSupport::readFile;

namespace {

struct Track {
    SdpMediaKind kind;
    int payloadType;
    const char* encoding;
    std::uint32_t clockRate;
    std::uint32_t channels;
    const char* controlUrl; // resolved against the fixture's Content-Base
    double framerate;       // 0: no a=framerate
};

} // namespace

TEST(SdpSession, ParsesTheAxisCameraAnswers)
{
    struct Case {
        const char* file;
        const char* contentBase;
        const char* sessionControl;
        bool rangeIsNow;
        std::vector<Track> tracks;
    };
    const Case cases[] = {
        {"sdp/axis_gstreamer_h264_aac.sdp", "rtsp://hostname/axis-media/media.amp/",
         "rtsp://hostname/axis-media/media.amp?audio=1&video=1", true,
         {{SdpMediaKind::video, 96, "H264", 90000, 0,
           "rtsp://hostname/axis-media/media.amp/stream=0?audio=1&video=1", 25.0},
          {SdpMediaKind::audio, 97, "MPEG4-GENERIC", 16000, 1,
           "rtsp://hostname/axis-media/media.amp/stream=1?audio=1&video=1", 0}}},
        {"sdp/axis_gstreamer_h264_2015.sdp", "rtsp://192.168.0.3/axis-media/media.amp/",
         "rtsp://192.168.0.3/axis-media/media.amp?resolution=176x144&fps=1", true,
         {{SdpMediaKind::video, 96, "H264", 90000, 0,
           "rtsp://192.168.0.3/axis-media/media.amp/stream=0?resolution=176x144&fps=1", 1.0}}},
        {"sdp/axis_gstreamer_h264_pcmu.sdp", "rtsp://192.168.0.90/axis-media/media.amp/",
         "rtsp://192.168.0.90/axis-media/media.amp?audio=1", true,
         {{SdpMediaKind::video, 96, "H264", 90000, 0,
           "rtsp://192.168.0.90/axis-media/media.amp/stream=0?audio=1", 25.0},
          {SdpMediaKind::audio, 0, "PCMU", 8000, 0,
           "rtsp://192.168.0.90/axis-media/media.amp/stream=1?audio=1", 0}}},
        {"sdp/axis_5x_h264_aac.sdp", "rtsp://172.25.100.128:554/axis-media/media.amp/",
         "rtsp://172.25.100.128:554/axis-media/media.amp?audio=1", false,
         {{SdpMediaKind::video, 96, "H264", 90000, 0,
           "rtsp://172.25.100.128:554/axis-media/media.amp/trackID=1?audio=1", 30.0},
          {SdpMediaKind::audio, 97, "mpeg4-generic", 16000, 1,
           "rtsp://172.25.100.128:554/axis-media/media.amp/trackID=2?audio=1", 0}}},
        {"sdp/axis_gstreamer_metadata.sdp", "rtsp://127.0.0.1/axis-media/media.amp/",
         "rtsp://127.0.0.1/axis-media/media.amp?video=0&audio=0&event=on", true,
         {{SdpMediaKind::application, 98, "vnd.onvif.metadata", 90000, 0,
           "rtsp://127.0.0.1/axis-media/media.amp/stream=0?video=0&audio=0&event=on", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        SdpSession sdp;
        ASSERT_FALSE(parseSdp(readFile(dataPath(c.file)), sdp));
        EXPECT_EQ(sdp.control, c.sessionControl);
        ASSERT_TRUE(sdp.range.has_value());
        EXPECT_EQ(sdp.range->startIsNow, c.rangeIsNow);
        ASSERT_EQ(sdp.media.size(), c.tracks.size());
        for (std::size_t i = 0; i < c.tracks.size(); ++i) {
            SCOPED_TRACE("track " + std::to_string(i));
            const SdpMedia& m = sdp.media[i];
            const Track& t = c.tracks[i];
            EXPECT_EQ(m.kind, t.kind);
            EXPECT_EQ(m.port, 0);
            EXPECT_EQ(m.protocol, "RTP/AVP");
            ASSERT_EQ(m.payloadType(), std::optional<std::uint8_t>(t.payloadType));
            const auto map = m.rtpmap(std::uint8_t(t.payloadType));
            ASSERT_TRUE(map.has_value());
            EXPECT_EQ(map->encoding, t.encoding);
            EXPECT_EQ(map->clockRate, t.clockRate);
            EXPECT_EQ(map->channels, t.channels);
            EXPECT_EQ(rtsp::resolveControlUrl(c.contentBase, m.control), t.controlUrl);
            if (t.framerate > 0) {
                ASSERT_TRUE(m.framerate.has_value());
                EXPECT_DOUBLE_EQ(*m.framerate, t.framerate);
            } else {
                EXPECT_FALSE(m.framerate.has_value());
            }
        }
    }
}

TEST(SdpSession, KeepsBandwidthAndUnknownAttributes)
{
    SdpSession sdp;
    ASSERT_FALSE(parseSdp(readFile(dataPath("sdp/axis_gstreamer_h264_aac.sdp")), sdp));
    ASSERT_EQ(sdp.media.size(), 2u);
    EXPECT_EQ(sdp.media[0].bandwidthKbps, std::optional<std::uint32_t>(50000));
    EXPECT_EQ(sdp.media[1].bandwidthKbps, std::optional<std::uint32_t>(32));
    const SdpAttribute* transform = sdp.media[0].attribute("transform");
    ASSERT_NE(transform, nullptr);
    EXPECT_EQ(transform->value,
              "1.000000,0.000000,0.000000;0.000000,0.750000,0.000000;0.000000,0.000000,1.000000");
    ASSERT_NE(sdp.attribute("type"), nullptr);
    EXPECT_EQ(sdp.attribute("type")->value, "broadcast");
    EXPECT_EQ(sdp.sessionName, "Session streamed with GStreamer");
    EXPECT_EQ(sdp.origin, "- 18315797286303868614 1 IN IP4 127.0.0.1");
}

TEST(SdpSession, StaticPayloadTypeWithoutRtpmapUsesTheRfc3551Table)
{
    // FFmpeg's description of an MJPEG stream: "m=video <port> RTP/AVP 26" and nothing else.
    SdpSession sdp;
    ASSERT_FALSE(parseSdp(readFile(dataPath("rtp/jpeg_testsrc.sdp")), sdp));
    ASSERT_EQ(sdp.media.size(), 1u);
    EXPECT_EQ(sdp.media[0].port, 42898);
    const auto map = sdp.media[0].rtpmap(26);
    ASSERT_TRUE(map.has_value());
    EXPECT_EQ(map->encoding, "JPEG");
    EXPECT_EQ(map->clockRate, 90000u);
    EXPECT_FALSE(sdp.media[0].rtpmap(96).has_value());
}

TEST(SdpSession, ReadsDimensionsFramerateAndPlaybackRange)
{
    // An edge-storage playback answer: clock range per media, x-dimensions.
    const std::string text =
        "v=0\r\n"
        "o=- 1 1 IN IP4 192.168.0.90\r\n"
        "s=Media Presentation\r\n"
        "t=0 0\r\n"
        "a=range:clock=20240621T071725Z-20240621T071817Z\r\n"
        "m=video 0 RTP/AVP/TCP 96\r\n"
        "a=rtpmap:96 H265/90000\r\n"
        "a=x-dimensions:1920,1080\r\n"
        "a=framerate:30.000000\r\n"
        "a=control:trackID=1\r\n"
        "m=audio 0 RTP/AVP 98\r\n"
        "a=rtpmap:98 G726-32/8000\r\n"
        "a=control:trackID=2\r\n";
    SdpSession sdp;
    ASSERT_FALSE(parseSdp(text, sdp));
    ASSERT_TRUE(sdp.range.has_value());
    EXPECT_EQ(sdp.range->kind, SdpRange::Kind::clock);
    EXPECT_EQ(sdp.range->startUtcMicros, std::optional<std::int64_t>(1718954245000000));
    EXPECT_EQ(sdp.range->endUtcMicros, std::optional<std::int64_t>(1718954297000000));
    ASSERT_EQ(sdp.media.size(), 2u);
    EXPECT_EQ(sdp.media[0].protocol, "RTP/AVP/TCP");
    ASSERT_TRUE(sdp.media[0].dimensions.has_value());
    EXPECT_EQ(sdp.media[0].dimensions->first, 1920u);
    EXPECT_EQ(sdp.media[0].dimensions->second, 1080u);
    EXPECT_DOUBLE_EQ(sdp.media[0].framerate.value_or(0), 30.0);
    EXPECT_EQ(sdp.media[1].rtpmap(98)->encoding, "G726-32");
}

TEST(SdpSession, ToleratesLfLineEndsBlankLinesAndBadAttributeValues)
{
    const std::string text =
        "v=0\n"
        "o=- 0 0 IN IP4 127.0.0.1\n"
        "\n"
        "s=No Name\n"
        "m=video 5004/2 RTP/AVP 96 97\n"
        "a=rtpmap:96 H264\n"          // no clock rate: no typed rtpmap
        "a=rtpmap:97 H264/90000\n"
        "a=framerate:fast\n"
        "a=x-dimensions:1920\n"
        "a=range:npt=later\n"
        "a=recvonly\n";
    SdpSession sdp;
    ASSERT_FALSE(parseSdp(text, sdp));
    ASSERT_EQ(sdp.media.size(), 1u);
    const SdpMedia& m = sdp.media[0];
    EXPECT_EQ(m.port, 5004);
    EXPECT_EQ(m.portCount, 2);
    EXPECT_EQ(m.formats, (std::vector<std::string>{"96", "97"}));
    EXPECT_FALSE(m.rtpmap(96).has_value());
    EXPECT_TRUE(m.rtpmap(97).has_value());
    EXPECT_FALSE(m.framerate.has_value());
    EXPECT_FALSE(m.dimensions.has_value());
    EXPECT_FALSE(m.range.has_value());
    ASSERT_NE(m.attribute("recvonly"), nullptr);
    EXPECT_EQ(m.attribute("recvonly")->value, "");
    EXPECT_EQ(m.attributes.size(), 6u);
}

TEST(SdpSession, RejectsWhatIsNoSessionDescription)
{
    struct Case {
        const char* name;
        std::string text;
        SdpError error;
    };
    std::string tooManyLines = "v=0\r\n";
    for (int i = 0; i < 2000; ++i)
        tooManyLines += "a=x\r\n";
    std::string tooManyMedia = "v=0\r\n";
    for (int i = 0; i < 33; ++i)
        tooManyMedia += "m=audio 0 RTP/AVP 0\r\n";
    const Case cases[] = {
        {"empty body", "", SdpError::notSdp},
        {"only blank lines", "\r\n\r\n", SdpError::notSdp},
        {"HTML error page", "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\r\n", SdpError::notSdp},
        {"version 1", "v=1\r\ns=x\r\n", SdpError::notSdp},
        {"session name first", "s=x\r\nv=0\r\n", SdpError::notSdp},
        {"over 64 KiB", "v=0\r\n" + std::string(64 * 1024, 'a'), SdpError::tooLarge},
        {"over 2000 lines", tooManyLines, SdpError::tooLarge},
        {"33 media", tooManyMedia, SdpError::tooLarge},
        {"line without '='", "v=0\r\no=- 0 0 IN IP4 h\r\ngarbage\r\n", SdpError::malformedLine},
        {"upper-case type", "v=0\r\nM=video 0 RTP/AVP 96\r\n", SdpError::malformedLine},
        {"media without format", "v=0\r\nm=video 0 RTP/AVP\r\n", SdpError::malformedMedia},
        {"media port not a number", "v=0\r\nm=video abc RTP/AVP 96\r\n", SdpError::malformedMedia},
        {"media port over 65535", "v=0\r\nm=video 70000 RTP/AVP 96\r\n", SdpError::malformedMedia},
        {"media port count 0", "v=0\r\nm=video 0/0 RTP/AVP 96\r\n", SdpError::malformedMedia},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SdpSession sdp;
        EXPECT_EQ(parseSdp(c.text, sdp), make_error_code(c.error));
    }
}

#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/rtp/G726Depacketizer.h>
#include <netkit/sdp/SdpError.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

TEST(DepacketizerFactory, ChoosesTheDepacketizerOfEveryCameraTrack)
{
    const struct {
        const char* file;
        std::size_t track;
        Codec codec;
        std::uint32_t clockRate, channels;
        std::string config; // hex
    } cases[] = {
        {"sdp/axis_gstreamer_h264_aac.sdp", 0, Codec::h264, 90000, 0,
         "00 00 00 01 67 4d 00 29 e2 90 0f 00 44 fc b8 0b 70 10 10 1a 41 e2 44 54 00 00 00 01 68 ee 3c 80"},
        {"sdp/axis_gstreamer_h264_aac.sdp", 1, Codec::aac, 16000, 1, "14 08"},
        {"sdp/axis_5x_h264_aac.sdp", 1, Codec::aac, 16000, 1, "14 08"},
        {"sdp/axis_gstreamer_h264_pcmu.sdp", 0, Codec::h264, 90000, 0, "00 00 00 01 68 ee 3c 80"},
        {"sdp/axis_gstreamer_h264_pcmu.sdp", 1, Codec::pcmu, 8000, 1, ""},
        {"sdp/axis_gstreamer_metadata.sdp", 0, Codec::metadata, 90000, 0, ""},
        {"rtp/jpeg_testsrc.sdp", 0, Codec::jpeg, 90000, 0, ""},
        {"rtp/hevc_testsrc.sdp", 0, Codec::h265, 90000, 0, "00 00 00 01 40 01 0c 01 ff ff 01 60 00 00 03 00 90 00 00 03 00 00 03 00 3c ba 02 40"},
        {"rtp/aac_sine.sdp", 0, Codec::aac, 16000, 1, "14 08 56 e5 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " track " + std::to_string(c.track));
        SdpSession sdp;
        ASSERT_FALSE(parseSdp(readFile(dataPath(c.file)), sdp));
        boost::system::error_code ec;
        const auto depacketizer = createDepacketizer(sdp.media.at(c.track), &ec);
        ASSERT_NE(depacketizer, nullptr) << ec.message();
        EXPECT_FALSE(ec);
        EXPECT_EQ(depacketizer->parameters().codec, c.codec);
        EXPECT_EQ(depacketizer->parameters().clockRate, c.clockRate);
        EXPECT_EQ(depacketizer->parameters().channels, c.channels);
        const std::string config = hex(depacketizer->parameters().config, 256);
        if (c.codec == Codec::h265)
            EXPECT_EQ(config.substr(0, c.config.size()), c.config); // VPS first, then SPS and PPS
        else
            EXPECT_EQ(config, c.config);
    }
}

TEST(DepacketizerFactory, ReadsEncodingNamesAndRefusesTheRest)
{
    const struct {
        const char* rtpmap;
        const char* fmtp; // "" for none
        std::optional<Codec> codec;
        boost::system::error_code error;
        std::uint32_t bitrate = 0;
    } cases[] = {
        {"G726-32/8000", "", Codec::g726, {}, 32000},
        {"g726-24/8000", "", Codec::g726, {}, 24000},
        {"AAL2-G726-40/8000", "", Codec::g726, {}, 40000},
        {"G726-33/8000", "", std::nullopt, RtpError::unsupportedFormat},
        {"PCMA/8000", "", Codec::pcma, {}},
        {"MP4V-ES/90000", "profile-level-id=1;config=000001B0", Codec::mpeg4, {}},
        {"MP4V-ES/90000", "config=0001B", std::nullopt, SdpError::malformedValue},
        {"VND.ONVIF.METADATA/90000", "", Codec::metadata, {}},
        {"x-onvif-metadata/90000", "", Codec::metadata, {}},
        {"H264/90000", "packetization-mode=2", std::nullopt, RtpError::unsupportedPacketization},
        {"H265/90000", "sprop-max-don-diff=2", std::nullopt, RtpError::unsupportedPacketization},
        {"mpeg4-generic/48000/2", "mode=CELP-cbr;sizelength=6", std::nullopt, RtpError::unsupportedFormat},
        {"mpeg4-generic/48000/2", "mode=AAC-hbr", std::nullopt, RtpError::unsupportedFormat},
        {"VP8/90000", "", std::nullopt, RtpError::unsupportedFormat},
        {"H264", "", std::nullopt, RtpError::unsupportedFormat}, // rtpmap without clock rate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rtpmap) + " " + c.fmtp);
        std::string text = "v=0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 " + std::string(c.rtpmap) + "\r\n";
        if (*c.fmtp)
            text += "a=fmtp:96 " + std::string(c.fmtp) + "\r\n";
        SdpSession sdp;
        ASSERT_FALSE(parseSdp(text, sdp));
        boost::system::error_code ec;
        const auto depacketizer = createDepacketizer(sdp.media[0], &ec);
        EXPECT_EQ(ec, c.error);
        if (!c.codec) {
            EXPECT_EQ(depacketizer, nullptr);
            continue;
        }
        ASSERT_NE(depacketizer, nullptr);
        EXPECT_EQ(depacketizer->parameters().codec, *c.codec);
        if (c.bitrate) {
            EXPECT_EQ(depacketizer->parameters().bitrate, c.bitrate);
        }
    }
}

#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpFmtp.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using TestSupport::dataPath;
using TestSupport::fromHex;
using TestSupport::readFile;

namespace {

SdpSession load(const std::string& file)
{
    SdpSession sdp;
    EXPECT_FALSE(parseSdp(readFile(dataPath(file)), sdp)) << file;
    return sdp;
}

} // namespace

TEST(SdpFmtp, DecodesH264ParameterSetsOfCameraAnswers)
{
    struct Case {
        const char* file;
        bool valid;
        std::uint32_t profileLevelId;
        std::vector<std::string> sets; // hex
    };
    const Case cases[] = {
        {"sdp/axis_gstreamer_h264_aac.sdp", true, 0x4d0029,
         {"674d0029e2900f0044fcb80b7010101a41e24454", "68ee3c80"}},
        {"sdp/axis_gstreamer_h264_2015.sdp", true, 0x4d0029,
         {"674d0029e290589d80b7010101a41e244540", "68ee3c80"}},
        {"sdp/axis_5x_h264_aac.sdp", true, 0x420029,
         {"67420029e2900a00b7602dc040406907891150", "68ce3c80"}},
        // The publishers replaced the SPS with "blabla=": the PPS still counts.
        {"sdp/axis_gstreamer_h264_pcmu.sdp", false, 0x4d0029, {"68ee3c80"}},
        {"rtp/h264_testsrc.sdp", true, 0x64000d,
         {"6764000dacb40a0fd808800000030080000019478a1550", "68ef0fcb"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const SdpSession sdp = load(c.file);
        H264Format format;
        const auto ec = readH264Format(sdp.media.at(0), format);
        EXPECT_EQ(!ec, c.valid) << ec.message();
        EXPECT_EQ(format.packetizationMode, 1);
        EXPECT_EQ(format.profileLevelId, std::optional<std::uint32_t>(c.profileLevelId));
        ASSERT_EQ(format.parameterSets.size(), c.sets.size());
        for (std::size_t i = 0; i < c.sets.size(); ++i)
            EXPECT_EQ(format.parameterSets[i], fromHex(c.sets[i]));
    }
}

TEST(SdpFmtp, ReadsAacLayoutInEitherSpelling)
{
    struct Case {
        const char* file;
        int track;
        std::string config;
    };
    const Case cases[] = {
        {"sdp/axis_gstreamer_h264_aac.sdp", 1, "1408"},
        {"sdp/axis_5x_h264_aac.sdp", 1, "1408"}, // "sizeLength=13; indexLength=3; ...;" with spaces
        {"rtp/aac_sine.sdp", 0, "140856e500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const SdpSession sdp = load(c.file);
        AacFormat format;
        ASSERT_FALSE(readAacFormat(sdp.media.at(std::size_t(c.track)), format));
        EXPECT_EQ(format.mode, "AAC-hbr");
        EXPECT_EQ(format.sizeLength, 13);
        EXPECT_EQ(format.indexLength, 3);
        EXPECT_EQ(format.indexDeltaLength, 3);
        EXPECT_EQ(format.config, fromHex(c.config));
    }
}

TEST(SdpFmtp, DecodesH265AndMpeg4Configuration)
{
    const SdpSession hevc = load("rtp/hevc_testsrc.sdp");
    H265Format h265;
    ASSERT_FALSE(readH265Format(hevc.media.at(0), h265));
    ASSERT_EQ(h265.vps.size(), 1u);
    ASSERT_EQ(h265.sps.size(), 1u);
    ASSERT_EQ(h265.pps.size(), 1u);
    EXPECT_EQ(h265.vps[0], fromHex("40010c01ffff01600000030090000003000003003cba0240"));
    EXPECT_EQ(h265.pps[0], fromHex("4401c172b46240"));
    EXPECT_EQ(h265.sps[0][0], 0x42); // NAL type 33
    EXPECT_EQ(h265.maxDonDiff, 0);

    const SdpSession mp4v = load("rtp/mp4v_testsrc.sdp");
    Mpeg4Format mpeg4;
    ASSERT_FALSE(readMpeg4Format(mp4v.media.at(0), mpeg4));
    EXPECT_EQ(mpeg4.profileLevelId, std::optional<int>(1));
    ASSERT_GE(mpeg4.config.size(), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(mpeg4.config.begin(), mpeg4.config.begin() + 5),
              fromHex("000001b001"));
}

TEST(SdpFmtp, RejectsValuesThatDoNotDecode)
{
    struct Case {
        const char* name;
        std::string rtpmap;
        std::string fmtp;
        int kind; // 0 H.264, 1 AAC, 2 MPEG-4
    };
    const Case cases[] = {
        {"base64 with a space inside", "H264/90000", "sprop-parameter-sets=Z00A KeKQ,aO48gA==", 0},
        {"base64 of impossible length", "H264/90000", "sprop-parameter-sets=Z,aO48gA==", 0},
        {"profile-level-id of 2 bytes", "H264/90000", "profile-level-id=4d00", 0},
        {"packetization mode 7", "H264/90000", "packetization-mode=7", 0},
        {"AAC config odd hex", "mpeg4-generic/16000/1", "mode=AAC-hbr;config=140", 1},
        {"AAC sizelength negative", "mpeg4-generic/16000/1", "mode=AAC-hbr;sizelength=-13", 1},
        {"MPEG-4 config not hex", "MP4V-ES/90000", "config=000001zz", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SdpSession sdp;
        ASSERT_FALSE(parseSdp("v=0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 " + c.rtpmap +
                                  "\r\na=fmtp:96 " + c.fmtp + "\r\n",
                              sdp));
        boost::system::error_code ec;
        if (c.kind == 0) {
            H264Format f;
            ec = readH264Format(sdp.media[0], f);
        } else if (c.kind == 1) {
            AacFormat f;
            ec = readAacFormat(sdp.media[0], f);
        } else {
            Mpeg4Format f;
            ec = readMpeg4Format(sdp.media[0], f);
        }
        EXPECT_EQ(ec, make_error_code(SdpError::malformedValue));
    }
}

#include <netkit/rtp/H265Depacketizer.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;
using Errors = std::vector<boost::system::error_code>;

namespace {

Bytes p(std::uint16_t seq, std::uint32_t ts, bool marker, const char* payloadHex)
{
    return rtp(seq, ts, marker, fromHex(payloadHex));
}

struct Expected {
    std::string annexB;
    bool key;
    std::uint32_t timestamp;
};

// NAL unit headers (RFC 7798 section 1.1.4): type << 1, then layer 0 / TID 1.
//   VPS 40 01, SPS 42 01, PPS 44 01, IDR_W_RADL 26 01, CRA 2a 01, TRAIL_R 02 01,
//   AP 60 01, FU 62 01, PACI 64 01.
const std::string kSets = "00 00 00 01 40 01 0c 01  00 00 00 01 42 01 01 01  00 00 00 01 44 01 c1  ";

} // namespace

TEST(H265Depacketizer, AssemblesAccessUnitsAndDropsDamagedOnes)
{
    const Expected next = {"00 00 00 01 26 01 cc", true, 3000};
    const Bytes idr = p(2, 3000, true, "26 01 cc");
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<Expected> frames;
        std::uint64_t dropped = 0, skipped = 0;
        Errors errors = {};
        bool sdpSets = false;
    } cases[] = {
        {"AP with VPS, SPS, PPS, then FU of an IDR",
         {p(1, 0, false, "60 01  00 04 40 01 0c 01  00 04 42 01 01 01  00 03 44 01 c1"), p(2, 0, false, "62 01 93 af 01"),
          p(3, 0, false, "62 01 13 02"), p(4, 0, true, "62 01 53 03")},
         {{kSets + "00 00 00 01 26 01 af 01 02 03", true, 0}}},
        {"SDP sets in front of a CRA without them, not in front of the next picture",
         {p(1, 0, true, "2a 01 aa"), p(2, 3000, true, "02 01 bb")},
         {{kSets + "00 00 00 01 2a 01 aa", true, 0}, {"00 00 00 01 02 01 bb", false, 3000}}, 0, 0, {}, true},
        {"FU keeps layer and temporal id from the payload header",
         {p(1, 0, true, "26 01 aa"), p(2, 3000, false, "62 03 81 01"), p(3, 3000, true, "62 03 41 02")},
         {{"00 00 00 01 26 01 aa", true, 0}, {"00 00 00 01 02 03 01 02", false, 3000}}},
        {"pictures before the first IRAP are skipped", {p(1, 0, true, "02 01 bb"), idr}, {next}, 0, 1},
        {"FU without its start (a session joined mid-frame)", {p(1, 0, false, "62 01 13 02"), idr}, {next}, 0, 1, {RtpError::missingFragment}},
        {"FU with start and end bits", {p(1, 0, true, "62 01 d3 02"), idr}, {next}, 0, 0, {RtpError::malformedPayload}},
        {"FU start without end, then a new timestamp", {p(1, 0, false, "62 01 93 02"), idr}, {next}, 0, 1},
        {"AP with a single unit", {p(1, 0, true, "60 01 00 03 26 01 aa"), idr}, {next}, 0, 0, {RtpError::malformedPayload}},
        {"AP with a length past the end, no parameter set kept", {p(1, 0, true, "60 01 00 04 40 01 0c 01 00 09 42 01"), idr},
         {next}, 0, 0, {RtpError::malformedPayload}},
        {"PACI is refused", {p(1, 0, true, "64 01 00 00 26 01"), idr}, {next}, 0, 0, {RtpError::unsupportedPacketization}},
        {"payload shorter than its header", {p(1, 0, true, "26"), idr}, {next}, 0, 0, {RtpError::malformedPayload}},
        {"a malformed packet after a frame costs no frame",
         {p(1, 0, true, "26 01 aa"), p(2, 1500, true, "26"), p(3, 3000, true, "02 01 bb")},
         {{"00 00 00 01 26 01 aa", true, 0}, {"00 00 00 01 02 01 bb", false, 3000}}, 0, 0, {RtpError::malformedPayload}},
        {"loss inside an FU across the sequence wrap", // 0 lost
         {p(65534, 0, false, "62 01 93 01"), p(65535, 0, false, "62 01 13 02"), p(1, 0, true, "62 01 53 03"),
          p(2, 3000, true, "02 01 bb"), p(3, 6000, true, "2a 01 cc")},
         {{"00 00 00 01 2a 01 cc", true, 6000}}, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<std::uint8_t>> vps, sps, pps;
        if (c.sdpSets) {
            vps.push_back(fromHex("40 01 0c 01"));
            sps.push_back(fromHex("42 01 01 01"));
            pps.push_back(fromHex("44 01 c1"));
        }
        H265Depacketizer depacketizer(vps, sps, pps);
        const Replay r = replay(depacketizer, c.packets);
        ASSERT_EQ(r.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            EXPECT_EQ(hex(r.frames[i].data, 256), hex(fromHex(c.frames[i].annexB), 256));
            EXPECT_EQ(r.frames[i].keyFrame, c.frames[i].key);
            EXPECT_EQ(r.frames[i].rtpTimestamp, c.frames[i].timestamp);
            EXPECT_EQ(r.frames[i].codec, Codec::h265);
        }
        EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
        EXPECT_EQ(depacketizer.stats().framesSkipped, c.skipped);
        EXPECT_EQ(r.errors, c.errors);
    }
}

TEST(H265Depacketizer, ReplaysTheFfmpegCaptureIntoTheEncodersNalUnits)
{
    H265Depacketizer depacketizer({}, {}, {});
    const Replay r = replay(depacketizer, readCapture(dataPath("rtp/hevc_testsrc.rtp")));
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 10u);
    std::vector<Bytes> received;
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        EXPECT_EQ(r.frames[i].keyFrame, i % 5 == 0) << i; // keyint=5
        for (auto& nal : splitAnnexB(r.frames[i].data))
            received.push_back(std::move(nal));
    }
    EXPECT_EQ(received, splitAnnexB(toBytes(readFile(dataPath("rtp/hevc_testsrc.hevc")))));
}

#include <netkit/rtp/H264Depacketizer.h>

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
    std::string annexB; // hex
    bool key;
    std::uint32_t timestamp;
    bool discontinuity = false;
};

struct Case {
    const char* name;
    std::vector<Bytes> packets;
    std::vector<Expected> frames;
    std::uint64_t dropped = 0, skipped = 0;
    Errors errors = {};
    bool sdpSets = false;
};

// The parameter sets of the Axis GStreamer samples (sprop-parameter-sets
// "Z00AKeKQWJ2AtwEBAaQeJEVA,aO48gA==", trimmed SPS), as they go before an IDR.
const std::string kSets = "00 00 00 01 67 4d 00 29 e2 90  00 00 00 01 68 ee 3c 80  ";

void run(const Case& c)
{
    std::vector<std::vector<std::uint8_t>> sets;
    if (c.sdpSets)
        sets = {fromHex("67 4d 00 29 e2 90"), fromHex("68 ee 3c 80")};
    H264Depacketizer depacketizer(sets);
    const Replay r = replay(depacketizer, c.packets);
    ASSERT_EQ(r.frames.size(), c.frames.size());
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(hex(r.frames[i].data, 256), hex(fromHex(c.frames[i].annexB), 256));
        EXPECT_EQ(r.frames[i].keyFrame, c.frames[i].key);
        EXPECT_EQ(r.frames[i].rtpTimestamp, c.frames[i].timestamp);
        EXPECT_EQ(r.frames[i].discontinuity, c.frames[i].discontinuity);
        EXPECT_EQ(r.frames[i].codec, Codec::h264);
    }
    EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
    EXPECT_EQ(depacketizer.stats().framesSkipped, c.skipped);
    EXPECT_EQ(r.errors, c.errors);
}

} // namespace

TEST(H264Depacketizer, AssemblesAccessUnitsFromEachPacketType)
{
    const Case cases[] = {
        {"single NAL units with in-band SPS and PPS",
         {p(1, 3000, false, "67 4d 00 29 e2 90"), p(2, 3000, false, "68 ee 3c 80"), p(3, 3000, true, "65 88 84 00")},
         {{kSets + "00 00 00 01 65 88 84 00", true, 3000}}},
        {"STAP-A with SPS and PPS, then FU-A start, middle, end",
         {p(1, 3000, false, "78 00 06 67 4d 00 29 e2 90 00 04 68 ee 3c 80"), p(2, 3000, false, "7c 85 88 84"),
          p(3, 3000, false, "7c 05 21 22"), p(4, 3000, true, "7c 45 23")},
         {{kSets + "00 00 00 01 65 88 84 21 22 23", true, 3000}}},
        {"FU-A of a P slice keeps NRI from the indicator",
         {p(1, 0, true, "65 88 80"), p(2, 3600, false, "5c 81 9a 01"), p(3, 3600, true, "5c 41 02")},
         {{kSets + "00 00 00 01 65 88 80", true, 0}, {"00 00 00 01 41 9a 01 02", false, 3600}}, 0, 0, {}, true},
        {"several slices of one picture in one access unit",
         {p(1, 0, false, "65 88 80"), p(2, 0, false, "65 b8 00"), p(3, 0, true, "65 c4 00")},
         {{kSets + "00 00 00 01 65 88 80  00 00 00 01 65 b8 00  00 00 00 01 65 c4 00", true, 0}}, 0, 0, {}, true},
        {"a timestamp change without marker ends the access unit",
         {p(1, 0, false, "65 88 80"), p(2, 3600, true, "41 9a 02")},
         {{kSets + "00 00 00 01 65 88 80", true, 0}, {"00 00 00 01 41 9a 02", false, 3600}}, 0, 0, {}, true},
        {"reserved NAL type 30 is ignored", {p(1, 0, false, "7e 01 02"), p(2, 0, true, "65 88")},
         {{"00 00 00 01 65 88", true, 0}}},
        {"SPS and PPS from the stream replace those of the SDP",
         {p(1, 0, false, "78 00 04 67 42 00 1e 00 04 68 ce 3c 80"), p(2, 0, true, "65 88 80"), p(3, 3600, true, "65 88 81")},
         {{"00 00 00 01 67 42 00 1e  00 00 00 01 68 ce 3c 80  00 00 00 01 65 88 80", true, 0},
          {"00 00 00 01 67 42 00 1e  00 00 00 01 68 ce 3c 80  00 00 00 01 65 88 81", true, 3600}}, 0, 0, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run(c);
    }
}

TEST(H264Depacketizer, DropsDamagedAccessUnitsAndWaitsForTheNextIdr)
{
    const Expected next = {"00 00 00 01 65 88", true, 3600};
    const Case cases[] = {
        {"frames before the first IDR are skipped", {p(1, 0, true, "41 9a 00"), p(2, 3600, true, "65 88 80")},
         {{"00 00 00 01 65 88 80", true, 3600}}, 0, 1},
        {"FU-A without its start",
         {p(1, 0, true, "65 88 80"), p(2, 3600, false, "5c 01 aa"), p(3, 3600, true, "5c 41 bb"), p(4, 7200, true, "41 9a"),
          p(5, 10800, true, "65 88 81")},
         {{"00 00 00 01 65 88 80", true, 0}, {"00 00 00 01 65 88 81", true, 10800}}, 2, 0, {RtpError::missingFragment}},
        {"FU-A start without end, then a new timestamp", {p(1, 0, false, "7c 85 aa"), p(2, 3600, true, "65 88 81")},
         {{"00 00 00 01 65 88 81", true, 3600}}, 0, 1},
        {"FU-A start without end, then a single NAL of the same picture",
         {p(1, 0, false, "7c 85 aa"), p(2, 0, true, "65 88 81"), p(3, 3600, true, "65 88 82")},
         {{"00 00 00 01 65 88 82", true, 3600}}, 0, 1, {RtpError::missingFragment}},
        {"FU-A end without start (a session joined mid-frame)", {p(1, 0, false, "7c 45 aa"), p(2, 3600, true, "65 88")}, {next}, 0, 1,
         {RtpError::missingFragment}},
        {"FU-A with both start and end bits", {p(1, 0, true, "7c c5 aa"), p(2, 3600, true, "65 88")}, {next}, 0, 0,
         {RtpError::malformedPayload}},
        {"FU-A of two bytes", {p(1, 0, true, "7c 85")}, {}, 0, 0, {RtpError::malformedPayload}},
        {"STAP-A with a length past the packet end",
         {p(1, 0, true, "78 00 04 67 4d 00 29 00 09 68 ee"), p(2, 3600, true, "65 88")}, {next}, 0, 0,
         {RtpError::malformedPayload}},
        {"STAP-A with a zero-size unit", {p(1, 0, true, "78 00 00 00 02 65 88")}, {}, 0, 0, {RtpError::malformedPayload}},
        {"STAP-A with a dangling length byte", {p(1, 0, true, "78 00 02 65 88 00")}, {}, 0, 0, {RtpError::malformedPayload}},
        {"STAP-B (interleaved mode) is refused", {p(1, 0, true, "79 00 01 00 02 65 88")}, {}, 0, 0,
         {RtpError::unsupportedPacketization}},
        {"empty payload", {p(1, 0, true, ""), p(2, 3600, true, "65 88")}, {next}, 0, 0, {RtpError::malformedPayload}},
        {"a malformed packet between frames is dropped alone",
         {p(1, 0, true, "65 88 80"), p(2, 1800, true, "78 00 09 67"), p(3, 3600, true, "41 9a 02")},
         {{"00 00 00 01 65 88 80", true, 0}, {"00 00 00 01 41 9a 02", false, 3600}}, 0, 0, {RtpError::malformedPayload}},
        {"loss inside an FU-A across the sequence wrap", // 0 lost
         {p(65533, 0, true, "65 88 80"), p(65534, 3600, false, "7c 85 aa"), p(65535, 3600, false, "7c 05 bb"),
          p(1, 3600, true, "7c 45 cc"), p(2, 7200, true, "41 9a"), p(3, 10800, true, "65 88 81")},
         {{"00 00 00 01 65 88 80", true, 0}, {"00 00 00 01 65 88 81", true, 10800, true}}, 2, 0},
        {"loss of a whole P frame between access units", // 11 lost
         {p(10, 0, true, "65 88 80"), p(12, 7200, true, "41 9a 03"), p(13, 10800, true, "65 88 81")},
         {{"00 00 00 01 65 88 80", true, 0}, {"00 00 00 01 65 88 81", true, 10800, true}}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run(c);
    }
}

TEST(H264Depacketizer, BoundsResetTheAccessUnit)
{
    DepacketizerLimits small, fewUnits, fewFragments;
    small.maxFrameBytes = 16;
    fewUnits.maxUnitsPerFrame = 2;
    fewFragments.maxFragments = 3;
    const struct {
        const char* name;
        DepacketizerLimits limits;
        std::vector<Bytes> packets;
        RtpError error;
    } cases[] = {
        {"access unit over the byte bound", small,
         {p(1, 0, false, "7c 85 01 02 03 04 05 06"), p(2, 0, false, "7c 05 07 08 09 0a"), p(3, 0, false, "7c 05 0b 0c"),
          p(4, 0, true, "7c 45 0d")}, RtpError::frameTooLarge},
        {"too many NAL units", fewUnits, {p(1, 0, false, "65 01"), p(2, 0, false, "65 02"), p(3, 0, true, "65 03")},
         RtpError::tooManyUnits},
        {"too many fragments", fewFragments,
         {p(1, 0, false, "7c 85 01"), p(2, 0, false, "7c 05 02"), p(3, 0, false, "7c 05 03"), p(4, 0, false, "7c 05 04"),
          p(5, 0, true, "7c 45 05")}, RtpError::tooManyFragments},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        H264Depacketizer depacketizer({}, c.limits);
        auto packets = c.packets;
        packets.push_back(p(std::uint16_t(packets.size() + 1), 3600, true, "65 88")); // the next IDR still comes through
        const Replay r = replay(depacketizer, packets);
        // One error for the packet that crossed the bound; the rest of the
        // access unit is discarded quietly.
        EXPECT_EQ(r.errors, Errors{c.error});
        // Before the stream's first frame it counts as skipped, not lost.
        EXPECT_EQ(depacketizer.stats().framesSkipped, 1u);
        ASSERT_EQ(r.frames.size(), 1u);
        EXPECT_EQ(hex(r.frames[0].data), "00 00 00 01 65 88");
    }
}

TEST(H264Depacketizer, ReplaysTheFfmpegCaptureIntoTheEncodersNalUnits)
{
    H264Depacketizer depacketizer;
    const auto packets = readCapture(dataPath("rtp/h264_testsrc.rtp"));
    ASSERT_EQ(packets.size(), 16u);
    const Replay r = replay(depacketizer, packets);
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 10u); // -frames:v 10
    std::vector<Bytes> received;
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.frames[i].keyFrame, i % 5 == 0);                                 // -g 5
        EXPECT_EQ(r.frames[i].rtpTimestamp - r.frames[0].rtpTimestamp, 3600u * i); // 25 fps at 90 kHz
        for (auto& nal : splitAnnexB(r.frames[i].data))
            received.push_back(std::move(nal));
    }
    EXPECT_EQ(received, splitAnnexB(toBytes(readFile(dataPath("rtp/h264_testsrc.h264")))));
    EXPECT_EQ(depacketizer.state(), H264Depacketizer::State::streaming);
}

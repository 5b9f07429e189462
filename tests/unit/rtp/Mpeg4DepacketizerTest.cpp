#include <netkit/rtp/Mpeg4Depacketizer.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

namespace {

Bytes p(std::uint16_t seq, std::uint32_t ts, bool marker, const char* payloadHex)
{
    return rtp(seq, ts, marker, fromHex(payloadHex));
}

// VOP start code 00 00 01 b6; the next two bits are vop_coding_type: 00 I, 01 P.
const char* const kConfig = "00 00 01 b0 01 00 00 01 b5 89 13 00 00 01 00 00 00 01 20 00 c4";

} // namespace

TEST(Mpeg4Depacketizer, ReassemblesVopsAndPutsTheConfigBeforeTheFirstIVop)
{
    struct Expected {
        std::string data;
        bool key;
        std::uint32_t timestamp;
    };
    const std::string config = std::string(kConfig) + " ";
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<Expected> frames;
        std::uint64_t dropped, skipped;
        std::size_t maxFrameBytes = 0; // 0: the default, with the SDP config; else no config
        std::vector<boost::system::error_code> errors = {};
    } cases[] = {
        {"I-VOP in two packets gets the SDP config, the P-VOP does not",
         {p(1, 0, false, "00 00 01 b6 10 aa"), p(2, 0, true, "bb cc"), p(3, 3600, true, "00 00 01 b6 50 dd")},
         {{config + "00 00 01 b6 10 aa bb cc", true, 0}, {"00 00 01 b6 50 dd", false, 3600}}, 0, 0},
        {"a stream carrying its own VOL header gets nothing added", {p(1, 0, true, "00 00 01 b0 01 00 00 01 b6 10 aa")},
         {{"00 00 01 b0 01 00 00 01 b6 10 aa", true, 0}}, 0, 0},
        {"the config goes in front of the first I-VOP only", {p(1, 0, true, "00 00 01 b6 10 aa"), p(2, 3600, true, "00 00 01 b6 10 bb")},
         {{config + "00 00 01 b6 10 aa", true, 0}, {"00 00 01 b6 10 bb", true, 3600}}, 0, 0},
        {"P-VOPs before the first I-VOP are skipped", {p(1, 0, true, "00 00 01 b6 50 aa"), p(2, 3600, true, "00 00 01 b6 10 bb")},
         {{config + "00 00 01 b6 10 bb", true, 3600}}, 0, 1},
        {"loss inside a VOP drops it; delivery resumes at the next I-VOP",
         {p(1, 0, true, "00 00 01 b6 10 aa"), p(2, 3600, false, "00 00 01 b6 50 bb"), p(4, 3600, true, "cc"),
          p(5, 7200, true, "00 00 01 b6 50 dd"), p(6, 10800, true, "00 00 01 b6 10 ee")},
         {{config + "00 00 01 b6 10 aa", true, 0}, {"00 00 01 b6 10 ee", true, 10800}}, 2, 0},
        {"a timestamp change ends a VOP without marker", {p(1, 0, false, "00 00 01 b6 10 aa"), p(2, 3600, true, "00 00 01 b6 50 bb")},
         {{config + "00 00 01 b6 10 aa", true, 0}, {"00 00 01 b6 50 bb", false, 3600}}, 0, 0},
        {"a VOP over the byte bound is dropped",
         {p(1, 0, false, "00 00 01 b6 10 01 02 03"), p(2, 0, true, "04 05"), p(3, 3600, true, "00 00 01 b6 10 06")},
         {{"00 00 01 b6 10 06", true, 3600}}, 1, 0, 8, {RtpError::frameTooLarge}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DepacketizerLimits limits;
        if (c.maxFrameBytes)
            limits.maxFrameBytes = c.maxFrameBytes;
        Mpeg4Depacketizer depacketizer(c.maxFrameBytes ? Bytes{} : fromHex(kConfig), limits);
        const Replay r = replay(depacketizer, c.packets);
        EXPECT_EQ(r.errors, c.errors);
        ASSERT_EQ(r.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(hex(r.frames[i].data, 128), hex(fromHex(c.frames[i].data), 128));
            EXPECT_EQ(r.frames[i].keyFrame, c.frames[i].key);
            EXPECT_EQ(r.frames[i].rtpTimestamp, c.frames[i].timestamp);
        }
        EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
        EXPECT_EQ(depacketizer.stats().framesSkipped, c.skipped);
    }
}

TEST(Mpeg4Depacketizer, ReplaysTheFfmpegCaptureIntoTheEncodersStream)
{
    // The capture's SDP config; the stream itself starts with a GOV header.
    const Bytes config = fromHex("000001B001000001B58913000001000000012000C48D8800CD0A041E1443000001B24C61766335392E33372E313030");
    Mpeg4Depacketizer depacketizer(config);
    const Replay r = replay(depacketizer, readCapture(dataPath("rtp/mp4v_testsrc.rtp")));
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 6u);
    Bytes all;
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.frames[i].keyFrame, i % 3 == 0); // -g 3
        all.insert(all.end(), r.frames[i].data.begin(), r.frames[i].data.end());
    }
    // The encoder's output: the mdat box of the MP4 file (top-level boxes are
    // 32-bit size, 4-character type).
    const Bytes file = toBytes(readFile(dataPath("rtp/mp4v_testsrc.mp4")));
    Bytes mdat;
    for (std::size_t i = 0; i + 8 <= file.size();) {
        const std::size_t size = std::size_t(file[i]) << 24 | std::size_t(file[i + 1]) << 16 |
                                 std::size_t(file[i + 2]) << 8 | file[i + 3];
        ASSERT_GE(size, 8u);
        ASSERT_LE(i + size, file.size());
        if (std::string(file.begin() + std::ptrdiff_t(i + 4), file.begin() + std::ptrdiff_t(i + 8)) == "mdat")
            mdat.assign(file.begin() + std::ptrdiff_t(i + 8), file.begin() + std::ptrdiff_t(i + size));
        i += size;
    }
    ASSERT_FALSE(mdat.empty());
    Bytes expected = config;
    expected.insert(expected.end(), mdat.begin(), mdat.end());
    EXPECT_TRUE(all == expected) << all.size() << " bytes, expected " << expected.size();
}

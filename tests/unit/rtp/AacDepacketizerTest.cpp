#include <netkit/rtp/AacDepacketizer.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

namespace {

Bytes p(std::uint16_t seq, std::uint32_t ts, bool marker, const char* payloadHex)
{
    return rtp(seq, ts, marker, fromHex(payloadHex), 97);
}

} // namespace

// AU headers (RFC 3640 section 3.3.6): 16-bit AU-headers-length in bits, then
// per AU its size and index (delta): AAC-hbr 13 + 3 bits, AAC-lbr 6 + 2 bits.
TEST(AacDepacketizer, SplitsAndJoinsAccessUnits)
{
    struct Expected {
        const char* data;
        std::uint32_t timestamp;
    };
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<Expected> frames;
        std::vector<boost::system::error_code> errors;
        std::uint64_t dropped;
        AacLayout layout = {13, 3, 3};
    } cases[] = {
        {"one AU", {p(1, 16000, true, "00 10 00 18 aa bb cc")}, {{"aa bb cc", 16000}}, {}, 0},
        {"three AUs in one packet, timestamps 1024 apart", {p(1, 16000, true, "00 30 00 18 00 10 00 08 aa bb cc dd ee ff")},
         {{"aa bb cc", 16000}, {"dd ee", 17024}, {"ff", 18048}}, {}, 0},
        {"an empty AU among three is dropped", {p(1, 16000, true, "00 30 00 18 00 00 00 08 aa bb cc dd")},
         {{"aa bb cc", 16000}, {"dd", 18048}}, {}, 1},
        {"AAC-lbr: two AUs of 3 and 1 bytes", {p(1, 0, true, "00 10 0c 04 aa bb cc dd")}, {{"aa bb cc", 0}, {"dd", 1024}},
         {}, 0, {6, 2, 2}},
        {"an AU in three fragments",
         {p(1, 16000, false, "00 10 00 30 01 02"), p(2, 16000, false, "00 10 00 30 03 04"), p(3, 16000, true, "00 10 00 30 05 06")},
         {{"01 02 03 04 05 06", 16000}}, {}, 0},
        {"lost middle fragment drops the AU, the next AU comes through",
         {p(1, 16000, false, "00 10 00 30 01 02"), p(3, 16000, true, "00 10 00 30 05 06"), p(4, 17024, true, "00 10 00 08 07")},
         {{"07", 17024}}, {RtpError::missingFragment}, 1},
        {"fragment followed by a new timestamp", {p(1, 16000, false, "00 10 00 30 01 02"), p(2, 17024, true, "00 10 00 08 07")},
         {{"07", 17024}}, {}, 1},
        {"fragments shorter than announced at the marker",
         {p(1, 16000, false, "00 10 00 30 01 02"), p(2, 16000, true, "00 10 00 30 03 04")}, {}, {RtpError::missingFragment}, 1},
        {"AU sizes beyond the packet", {p(1, 16000, true, "00 20 00 18 00 18 aa bb cc dd")}, {}, {RtpError::malformedPayload}, 2},
        {"AU-headers-length of zero", {p(1, 16000, true, "00 00 aa")}, {}, {RtpError::malformedPayload}, 0},
        {"AU header section past the end", {p(1, 16000, true, "00 40 00 18")}, {}, {RtpError::malformedPayload}, 0},
        {"AU-headers-length not a whole header", {p(1, 16000, true, "00 0c 00 18 aa")}, {}, {RtpError::malformedPayload}, 0},
        {"the last fragment of an AU whose start never came", {p(1, 16000, true, "00 10 00 30 01 02")}, {},
         {RtpError::missingFragment}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AacDepacketizer depacketizer(c.layout, fromHex("1408"), 16000, 1);
        const Replay r = replay(depacketizer, c.packets);
        ASSERT_EQ(r.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(hex(r.frames[i].data), hex(fromHex(c.frames[i].data)));
            EXPECT_EQ(r.frames[i].rtpTimestamp, c.frames[i].timestamp);
            EXPECT_EQ(r.frames[i].codec, Codec::aac);
        }
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
    }
}

TEST(AacDepacketizer, ReplaysTheFfmpegCaptureIntoTheEncodersFrames)
{
    AacDepacketizer depacketizer({13, 3, 3}, fromHex("140856e500"), 16000, 1);
    const Replay r = replay(depacketizer, readCapture(dataPath("rtp/aac_sine.rtp")));
    EXPECT_TRUE(r.errors.empty());
    // The ADTS file of the same encoding: 7-byte headers (no CRC) before each frame.
    const Bytes adts = toBytes(readFile(dataPath("rtp/aac_sine.adts")));
    std::vector<Bytes> encoded;
    for (std::size_t i = 0; i + 7 <= adts.size();) {
        const std::size_t length = std::size_t(adts[i + 3] & 3) << 11 | std::size_t(adts[i + 4]) << 3 | adts[i + 5] >> 5;
        encoded.emplace_back(adts.begin() + std::ptrdiff_t(i + 7), adts.begin() + std::ptrdiff_t(i + length));
        i += length;
    }
    ASSERT_EQ(encoded.size(), 9u);
    ASSERT_EQ(r.frames.size(), 7u); // the muxer does not flush its last packet
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.frames[i].data, encoded[i]);
        EXPECT_EQ(r.frames[i].rtpTimestamp - r.frames[0].rtpTimestamp, 1024u * i);
    }
}

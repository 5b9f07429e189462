#include <netkit/rtp/JpegDepacketizer.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

#include <map>

using namespace Orix::Utility;
using namespace TestSupport;

namespace {

// RFC 2435 section 3.1 main header + optional extra headers + scan bytes.
Bytes jpeg(std::uint16_t seq, std::uint32_t ts, bool marker, std::uint32_t offset, std::uint8_t type,
           std::uint8_t q, std::uint8_t width8, std::uint8_t height8, const std::string& restHex)
{
    Bytes payload = {0, std::uint8_t(offset >> 16), std::uint8_t(offset >> 8), std::uint8_t(offset),
                     type, q, width8, height8};
    const Bytes rest = fromHex(restHex);
    payload.insert(payload.end(), rest.begin(), rest.end());
    return rtp(seq, ts, marker, payload, 26);
}

std::string repeat(const char* byteHex, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += std::string(byteHex) + " ";
    return out;
}

// The marker segments of a JPEG up to SOS, and the scan after it.
struct Segments {
    std::vector<std::pair<std::uint8_t, Bytes>> list; // marker, body without length
    Bytes scan;                                       // entropy-coded data, EOI removed
    bool endsWithEoi = false;
};

Segments walk(const Bytes& jpeg)
{
    Segments s;
    if (jpeg.size() < 4 || jpeg[0] != 0xff || jpeg[1] != 0xd8)
        return s;
    std::size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xff) {
        const std::uint8_t marker = jpeg[i + 1];
        const std::size_t length = std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (length < 2 || i + 2 + length > jpeg.size())
            break;
        s.list.emplace_back(marker, Bytes(jpeg.begin() + std::ptrdiff_t(i + 4),
                                          jpeg.begin() + std::ptrdiff_t(i + 2 + length)));
        i += 2 + length;
        if (marker == 0xda) {
            // In a scan 0xff is followed by 0x00 or RSTn; ff d9 is the end.
            std::size_t j = i;
            while (j + 1 < jpeg.size() && !(jpeg[j] == 0xff && jpeg[j + 1] == 0xd9))
                ++j;
            s.scan.assign(jpeg.begin() + std::ptrdiff_t(i), jpeg.begin() + std::ptrdiff_t(j));
            s.endsWithEoi = j + 2 == jpeg.size();
            break;
        }
    }
    return s;
}

std::vector<std::uint8_t> markersOf(const Segments& s)
{
    std::vector<std::uint8_t> m;
    for (const auto& segment : s.list)
        m.push_back(segment.first);
    return m;
}

const Bytes* segment(const Segments& s, std::uint8_t marker, int nth = 0)
{
    for (const auto& [m, body] : s.list)
        if (m == marker && nth-- == 0)
            return &body;
    return nullptr;
}

} // namespace

TEST(JpegDepacketizer, QualityTablesMatchTheJpegStandardAndIjgOutput)
{
    struct Case {
        int q;
        const char* luma16;   // the first 16 values in zigzag order
        const char* chroma16;
    };
    const Case cases[] = {
        // Q 50: JPEG Annex K tables K.1 and K.2 unscaled.
        {50, "10 0b 0c 0e 0c 0a 10 0e 0d 0e 12 11 10 13 18 28", "11 12 12 18 15 18 2f 1a 1a 2f 63 42 38 42 63 63"},
        // Q 75: the DQT libjpeg writes at its default quality.
        {75, "08 06 06 07 06 05 08 07 07 07 09 09 08 0a 0c 14", "09 09 09 0c 0b 0c 18 0d 0d 18 32 21 1c 21 32 32"},
        // Out-of-range Q is clamped to 1..99; Q 1 saturates at 255.
        {0, "ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff", "ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.q);
        std::uint8_t luma[64], chroma[64];
        JpegDepacketizer::tablesForQuality(c.q, luma, chroma);
        EXPECT_EQ(hex(Bytes(luma, luma + 16)), hex(fromHex(c.luma16)));
        EXPECT_EQ(hex(Bytes(chroma, chroma + 16)), hex(fromHex(c.chroma16)));
    }
}

TEST(JpegDepacketizer, RebuildsHeadersFromThePayloadHeader)
{
    const std::vector<std::uint8_t> twoTables = {0xdb, 0xdb, 0xc0, 0xc4, 0xc4, 0xc4, 0xc4, 0xda};
    const char* const sof420 = "08 00 10 00 28 03 00 22 00 01 11 01 02 11 01"; // 40x16
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<std::uint8_t> markers;
        const char* sof;              // SOF0 body
        const char* dri;              // DRI body, "" when absent
        std::vector<const char*> dqt; // first 5 bytes of each DQT body
        const char* scan;
    } cases[] = {
        {"type 1 (4:2:0), Q 50, two fragments",
         {jpeg(1, 9000, false, 0, 1, 50, 5, 2, "11 22 33 44"), jpeg(2, 9000, true, 4, 1, 50, 5, 2, "55 66 ff d9")},
         twoTables, sof420, "", {"00 10 0b 0c 0e", "01 11 12 12 18"}, "11 22 33 44 55 66"},
        {"type 0 (4:2:2) without EOI in the scan", {jpeg(1, 9000, true, 0, 0, 75, 80, 60, "aa bb")}, twoTables,
         "08 01 e0 02 80 03 00 21 00 01 11 01 02 11 01", "", {"00 08 06 06 07", "01 09 09 09 0c"}, "aa bb"},
        {"type 65 with restart markers every 4 MCUs", {jpeg(1, 9000, true, 0, 65, 50, 5, 2, "00 04 ff ff 11 22")},
         {0xdb, 0xdb, 0xdd, 0xc0, 0xc4, 0xc4, 0xc4, 0xc4, 0xda}, sof420, "00 04", {"00 10 0b 0c 0e", "01 11 12 12 18"}, "11 22"},
        {"Q 255 with two 8-bit tables in band",
         {jpeg(1, 9000, true, 0, 1, 255, 5, 2, "00 00 00 80  01 02 " + repeat("05", 62) + repeat("07", 64) + "99")},
         twoTables, sof420, "", {"00 01 02 05 05", "01 07 07 07 07"}, "99"},
        {"Q 255 with one table: chroma uses it too",
         {jpeg(1, 9000, true, 0, 1, 255, 5, 2, "00 00 00 40 " + repeat("03", 64) + "99")},
         {0xdb, 0xc0, 0xc4, 0xc4, 0xc4, 0xc4, 0xda}, "08 00 10 00 28 03 00 22 00 01 11 00 02 11 00", "", {"00 03 03 03 03"},
         "99"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JpegDepacketizer depacketizer;
        const Replay r = replay(depacketizer, c.packets);
        EXPECT_TRUE(r.errors.empty());
        ASSERT_EQ(r.frames.size(), 1u);
        EXPECT_TRUE(r.frames[0].keyFrame);
        EXPECT_EQ(r.frames[0].rtpTimestamp, 9000u);
        const Segments s = walk(r.frames[0].data);
        EXPECT_EQ(markersOf(s), c.markers);
        ASSERT_NE(segment(s, 0xc0), nullptr);
        EXPECT_EQ(hex(*segment(s, 0xc0)), hex(fromHex(c.sof)));
        if (*c.dri) {
            ASSERT_NE(segment(s, 0xdd), nullptr);
            EXPECT_EQ(hex(*segment(s, 0xdd)), hex(fromHex(c.dri)));
        }
        for (std::size_t i = 0; i < c.dqt.size(); ++i) {
            const Bytes* dqt = segment(s, 0xdb, int(i));
            ASSERT_NE(dqt, nullptr);
            EXPECT_EQ(dqt->size(), 65u);
            EXPECT_EQ(hex(Bytes(dqt->begin(), dqt->begin() + 5)), hex(fromHex(c.dqt[i])));
        }
        // Huffman tables: the four standard ones, classes and ids 00 10 01 11.
        const int huffmanIds[] = {0x00, 0x10, 0x01, 0x11};
        for (int i = 0; i < 4; ++i) {
            ASSERT_NE(segment(s, 0xc4, i), nullptr);
            EXPECT_EQ((*segment(s, 0xc4, i))[0], huffmanIds[i]);
        }
        EXPECT_EQ(hex(*segment(s, 0xda)), "03 00 00 01 11 02 11 00 3f 00");
        EXPECT_EQ(hex(s.scan), hex(fromHex(c.scan)));
        EXPECT_TRUE(s.endsWithEoi);
    }
}

TEST(JpegDepacketizer, DropsBrokenFramesAndKeepsTheNext)
{
    using E = RtpError;
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<boost::system::error_code> errors;
        std::uint64_t dropped;
    } cases[] = {
        {"fragment offset gap", {jpeg(1, 9000, false, 0, 1, 50, 5, 2, "11 22"), jpeg(2, 9000, true, 5, 1, 50, 5, 2, "33")},
         {E::missingFragment}, 1},
        {"fragment without its start",
         {jpeg(1, 9000, false, 4, 1, 50, 5, 2, "11 22"), jpeg(2, 9000, true, 6, 1, 50, 5, 2, "33")}, {E::missingFragment}, 0},
        {"lost middle packet", {jpeg(1, 9000, false, 0, 1, 50, 5, 2, "11 22"), jpeg(3, 9000, true, 4, 1, 50, 5, 2, "33")}, {}, 1},
        {"frame without marker, then the next frame", {jpeg(1, 9000, false, 0, 1, 50, 5, 2, "11 22")}, {}, 1},
        {"width 0 without an extension", {jpeg(1, 9000, true, 0, 1, 50, 0, 2, "11")}, {E::unsupportedFormat}, 0},
        {"type 2 is not defined", {jpeg(1, 9000, true, 0, 2, 50, 5, 2, "11")}, {E::unsupportedFormat}, 0},
        {"Q 0 is reserved", {jpeg(1, 9000, true, 0, 1, 0, 5, 2, "11")}, {E::malformedPayload}, 0},
        {"Q 255 without tables", {jpeg(1, 9000, true, 0, 1, 255, 5, 2, "00 00 00 00 11")}, {E::missingTables}, 0},
        {"Q 200 without tables and none seen before", {jpeg(1, 9000, true, 0, 1, 200, 5, 2, "00 00 00 00 11")},
         {E::missingTables}, 0},
        {"table length past the end", {jpeg(1, 9000, true, 0, 1, 255, 5, 2, "00 00 00 80 01 02 03")}, {E::malformedPayload}, 0},
        {"table length not a whole table", {jpeg(1, 9000, true, 0, 1, 255, 5, 2, "00 00 00 03 01 02 03 11")},
         {E::malformedPayload}, 0},
        {"restart header cut", {jpeg(1, 9000, true, 0, 65, 50, 5, 2, "00")}, {E::malformedPayload}, 0},
        {"payload shorter than the main header", {rtp(1, 9000, true, fromHex("00 00 00 00 01 32"), 26)}, {E::malformedPayload}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JpegDepacketizer depacketizer;
        auto packets = c.packets;
        packets.push_back(jpeg(50, 18000, true, 0, 1, 50, 5, 2, "77"));
        const Replay r = replay(depacketizer, packets);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
        ASSERT_EQ(r.frames.size(), 1u);
        EXPECT_EQ(r.frames[0].rtpTimestamp, 18000u);
        EXPECT_EQ(hex(walk(r.frames[0].data).scan), "77");
    }
}

TEST(JpegDepacketizer, ReusesInBandTablesOfTheSameQ)
{
    const std::string tables = "00 00 00 80 " + repeat("0a", 128);
    JpegDepacketizer depacketizer;
    const Replay r = replay(depacketizer, {jpeg(1, 0, true, 0, 1, 200, 5, 2, tables + "11"),
                                           jpeg(2, 3600, true, 0, 1, 200, 5, 2, "00 00 00 00 22")});
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 2u);
    const Segments second = walk(r.frames[1].data);
    ASSERT_NE(segment(second, 0xdb, 1), nullptr);
    EXPECT_EQ(hex(Bytes(segment(second, 0xdb, 1)->begin(), segment(second, 0xdb, 1)->begin() + 3)),
              "01 0a 0a");
    EXPECT_EQ(hex(second.scan), "22");
}

TEST(JpegDepacketizer, TakesLargeDimensionsFromTheOnvifExtension)
{
    // 3840x2160 does not fit the 8-bit fields: the camera sends 0 and a SOF0
    // segment in a 0xFFD8 header extension.
    Bytes packet = fromHex("90 9a 00 01 00 00 23 28 00 00 00 01  ff d8 00 05"
                           "  ff c0 00 11 08 08 70 0f 00 03 01 22 00 02 11 01 03 11 01 00"
                           "  00 00 00 00 01 32 00 00 55 ff d9");
    JpegDepacketizer depacketizer;
    const Replay r = replay(depacketizer, {packet});
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(hex(*segment(walk(r.frames[0].data), 0xc0)).substr(0, 14), "08 08 70 0f 00");
    EXPECT_EQ(depacketizer.parameters().width, 3840u);
    EXPECT_EQ(depacketizer.parameters().height, 2160u);
}

TEST(JpegDepacketizer, ReplaysTheFfmpegCaptureIntoTheEncodersScans)
{
    JpegDepacketizer depacketizer;
    const Replay r = replay(depacketizer, readCapture(dataPath("rtp/jpeg_testsrc.rtp")));
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 3u);

    // The encoder's own files, one after the other.
    const Bytes file = toBytes(readFile(dataPath("rtp/jpeg_testsrc.mjpeg")));
    std::vector<Segments> encoded;
    for (std::size_t i = 0; i + 3 < file.size();) {
        const Segments s = walk(Bytes(file.begin() + std::ptrdiff_t(i), file.end()));
        encoded.push_back(s);
        std::size_t next = i + 2;
        while (next + 2 < file.size() && !(file[next] == 0xff && file[next + 1] == 0xd8 && file[next + 2] == 0xff))
            ++next;
        i = next + 2 < file.size() ? next : file.size();
    }
    ASSERT_EQ(encoded.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Segments got = walk(r.frames[i].data);
        EXPECT_EQ(got.scan, encoded[i].scan);
        ASSERT_NE(segment(got, 0xdb), nullptr);
        ASSERT_NE(segment(encoded[i], 0xdb), nullptr);
        EXPECT_EQ(*segment(got, 0xdb), *segment(encoded[i], 0xdb));
        EXPECT_EQ(hex(*segment(got, 0xc0)).substr(0, 14), "08 00 f0 01 40"); // 320x240
    }
}

// Which camera answers `vapixcam snapshot` takes for a whole JPEG: the
// marker walk from SOI to the scan, the size from the frame header, and the
// end-of-image check that catches a cut answer.
#include "SnapshotCommand.h"

#include <gtest/gtest.h>

using namespace VapixcamCli;

namespace {

std::string segment(unsigned char marker, const std::string& payload)
{
    const std::size_t length = payload.size() + 2;
    return std::string{'\xff', static_cast<char>(marker), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xff)} +
           payload;
}

std::string frameHeader(unsigned char marker, unsigned width, unsigned height)
{
    std::string p{8, static_cast<char>(height >> 8), static_cast<char>(height & 0xff),
                  static_cast<char>(width >> 8), static_cast<char>(width & 0xff), 3};
    for (char id = 1; id <= 3; ++id)
        p += std::string{id, id == 1 ? '\x22' : '\x11', id == 1 ? '\0' : '\1'};
    return segment(marker, p);
}

const std::string kSoi("\xff\xd8", 2);
const std::string kEoi("\xff\xd9", 2);
// JFIF header, a quantisation table, a Huffman table as an Axis camera sends
// them before the frame header (the DHT marker C4 sits among the SOF
// markers and carries no size).
const std::string kApp0 = segment(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
const std::string kDqt = segment(0xDB, std::string(65, '\x10'));
const std::string kDht = segment(0xC4, std::string("\x00\x00\x01\x05\x01\x01\x01\x01\x01\x01", 10) + std::string(19, '\0'));
const std::string kSos = segment(0xDA, std::string("\x03\x01\x00\x02\x11\x03\x11\x00\x3f\x00", 10));
const std::string kScan("\x12\x34\xff\x00\x56", 5); // 0xff stuffed as in entropy-coded data

struct Case {
    const char* name;
    std::string bytes;
    unsigned width; // 0: refused
    const char* reason;
};

} // namespace

TEST(SnapshotJpeg, WholePicturesAndCutOnes)
{
    const std::string whole = kSoi + kApp0 + kDqt + kDht + frameHeader(0xC0, 640, 360) + kSos + kScan + kEoi;
    const Case cases[] = {
        {"baseline as a camera sends it", whole, 640, ""},
        {"progressive frame header", kSoi + kDqt + frameHeader(0xC2, 1920, 1080) + kSos + kScan + kEoi, 1920, ""},
        {"fill bytes before a marker", kSoi + std::string("\xff\xff", 2) + frameHeader(0xC0, 640, 360) + kSos + kScan + kEoi, 640, ""},
        {"cut inside the scan", whole.substr(0, whole.size() - 4), 0, "cut short"},
        {"cut inside a header", whole.substr(0, 30), 0, "runs past the end"},
        {"cut between two headers", whole.substr(0, 2 + kApp0.size() + 2), 0, "end at byte"},
        {"not a JPEG", "Error: camera=4 does not exist\n", 0, "start-of-image"},
        {"empty", "", 0, "start-of-image"},
        {"only a Huffman table, no frame header", kSoi + kDht + kSos + kScan + kEoi, 0, "no frame header"},
        {"segment length past the end", kSoi + std::string("\xff\xdb\x7f\xff\x00", 5), 0, "runs past the end"},
        {"zero-sized picture", kSoi + frameHeader(0xC0, 0, 360) + kSos + kScan + kEoi, 0, "no frame header"},
        {"EOI right after the scan header bytes", kSoi + frameHeader(0xC0, 64, 48) + segment(0xDA, ""), 0, "cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const auto info = inspectJpeg(c.bytes, error);
        if (c.width == 0) {
            EXPECT_FALSE(info);
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        } else {
            ASSERT_TRUE(info) << error;
            EXPECT_EQ(info->width, c.width);
        }
    }
}

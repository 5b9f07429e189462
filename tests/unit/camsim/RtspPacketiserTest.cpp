// camsim's RTP side, byte for byte against the payload formats: H.264 FU-A
// (RFC 6184 5.8), H.265 FUs (RFC 7798 4.4.3), JPEG main and quantisation
// table headers (RFC 2435 3.1), G.711 mu-law and RTP/RTCP headers (RFC 3550).
#include "MediaClip.h"
#include "MediaPacketiser.h"
#include "MediaRtp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Camsim;

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s += static_cast<char>(b);
    return s;
}

// A NAL unit: header bytes then `size` bytes counting 0, 1, 2, ...
std::string nal(const std::string& header, std::size_t size)
{
    std::string s = header;
    for (std::size_t i = 0; s.size() < size; ++i)
        s += static_cast<char>(i & 0xff);
    return s;
}

std::string hex(const std::string& s, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < count; ++i) {
        if (i)
            out += ' ';
        out += digits[static_cast<unsigned char>(s[i]) >> 4];
        out += digits[static_cast<unsigned char>(s[i]) & 15];
    }
    return out;
}

struct Expected {
    std::string head; // first bytes in hex
    std::size_t size;
    bool marker;
};

void expectPackets(const std::vector<RtpPayload>& got, const std::vector<Expected>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("packet " + std::to_string(i));
        const std::size_t headBytes = (want[i].head.size() + 1) / 3;
        EXPECT_EQ(hex(got[i].bytes, headBytes), want[i].head);
        EXPECT_EQ(got[i].bytes.size(), want[i].size);
        EXPECT_EQ(got[i].marker, want[i].marker);
    }
}

} // namespace

TEST(H264Packetiser, SmallUnitsGoSingleAndLargeOnesAsFuA)
{
    const struct {
        const char* name;
        std::vector<std::string> nals;
        std::vector<Expected> packets;
    } cases[] = {
        {"one small slice", {nal(bytes({0x41, 0x9a}), 600)}, {{"41 9a", 600, true}}},
        {"exactly the limit", {nal(bytes({0x41, 0x9a}), 1400)}, {{"41 9a", 1400, true}}},
        // IDR (NRI 3, type 5) of 3000 bytes: 2999 after the header in 1398-byte pieces.
        {"key frame with parameter sets",
         {nal(bytes({0x67, 0x4d, 0x00, 0x29}), 20), nal(bytes({0x68, 0xee}), 4), nal(bytes({0x65, 0x88}), 3000)},
         {{"67 4d 00 29", 20, false},
          {"68 ee", 4, false},
          {"7c 85 88", 1400, false},
          {"7c 05", 1400, false},
          {"7c 45", 205, true}}},
        // Non-IDR slice with NRI 2: the indicator keeps F and NRI.
        {"one byte over the limit", {nal(bytes({0x41, 0x9a}), 1401)}, {{"5c 81 9a", 1400, false}, {"5c 41", 4, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VideoFrame frame;
        frame.nals = c.nals;
        expectPackets(packetiseH264(frame, 1400), c.packets);
    }
}

TEST(H265Packetiser, SmallUnitsGoSingleAndLargeOnesAsFu)
{
    const struct {
        const char* name;
        std::vector<std::string> nals;
        std::vector<Expected> packets;
    } cases[] = {
        {"parameter sets stay whole",
         {nal(bytes({0x40, 0x01, 0x0c}), 24), nal(bytes({0x42, 0x01, 0x01}), 40), nal(bytes({0x44, 0x01, 0xc1}), 7)},
         {{"40 01 0c", 24, false}, {"42 01 01", 40, false}, {"44 01 c1", 7, true}}},
        // IDR_W_RADL (type 19, TID 1): payload header 62 01, FU header S|19, 19, E|19.
        // 2998 bytes after the two-byte header in 1397-byte pieces.
        {"key picture",
         {nal(bytes({0x26, 0x01, 0xaf}), 3000)},
         {{"62 01 93 af", 1400, false}, {"62 01 13", 1400, false}, {"62 01 53", 207, true}}},
        // TRAIL_R (type 1) with TID 1.
        {"trailing picture", {nal(bytes({0x02, 0x01, 0xd0}), 1500)}, {{"62 01 81 d0", 1400, false}, {"62 01 41", 104, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VideoFrame frame;
        frame.nals = c.nals;
        expectPackets(packetiseH265(frame, 1400), c.packets);
    }
}

TEST(JpegPacketiser, MainHeaderOffsetsAndInBandTables)
{
    JpegPicture picture;
    picture.type = 1;
    picture.width = 1280;
    picture.height = 720;
    picture.quantTables = std::string(64, '\x10') + std::string(64, '\x11');
    picture.scan = nal("", 3000);
    const auto packets = packetiseJpeg(picture, 1400);
    // Type-specific 0, offset, type 1, Q 255, 1280/8 = 0xa0, 720/8 = 0x5a;
    // the first packet adds MBZ 0, precision 0, length 128 and the tables.
    expectPackets(packets, {{"00 00 00 00 01 ff a0 5a 00 00 00 80 10", 1400, false},
                            {"00 00 04 ec 01 ff a0 5a ec ed", 1400, false},
                            {"00 00 0a 5c 01 ff a0 5a", 8 + 348, true}});
    EXPECT_EQ(packets[0].bytes.substr(12, 128), picture.quantTables);
    EXPECT_EQ(packets[0].bytes.substr(140) + packets[1].bytes.substr(8) + packets[2].bytes.substr(8), picture.scan);
}

TEST(MulawCoding, SamplesCodeAsG711)
{
    // Reference values of the ITU-T G.711 / Sun g711.c coder.
    const struct {
        int sample;
        int code;
    } cases[] = {{0, 0xff},     {1, 0xff},       {-1, 0x7e},     {100, 0xf2},   {-100, 0x72}, {1000, 0xce},
                 {-1000, 0x4e}, {8000, 0xa0},    {-8000, 0x20},  {32767, 0x80}, {-32768, 0x00}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        EXPECT_EQ(linearToMulaw(static_cast<std::int16_t>(c.sample)), c.code);
    }
    const std::string tone = mulawTone(440, 0.25);
    ASSERT_EQ(tone.size(), 8000u);
    EXPECT_EQ(static_cast<unsigned char>(tone[0]), 0xff); // sin(0)
}

TEST(RtpPackets, HeaderSenderReportAndInterleavedFraming)
{
    EXPECT_EQ(hex(rtpPacket(96, true, 0x1234, 0xdeadbeef, 0x01020304, "ab"), 14),
              "80 e0 12 34 de ad be ef 01 02 03 04 61 62");
    EXPECT_EQ(hex(rtpPacket(0, false, 65535, 0, 7, ""), 12), "80 00 ff ff 00 00 00 00 00 00 00 07");

    // 1970-01-01 is NTP second 2208988800 (0x83aa7e80); half a second is 0x80000000.
    EXPECT_EQ(ntpFromUnixMicros(0), 0x83aa7e8000000000ull);
    EXPECT_EQ(ntpFromUnixMicros(1500000), 0x83aa7e8180000000ull);

    const std::string sr = rtcpSenderReport(0x11223344, 0x83aa7e8180000000ull, 90000, 10, 12000, "camsim");
    ASSERT_EQ(sr.size(), 48u);
    EXPECT_EQ(hex(sr, 28), "80 c8 00 06 11 22 33 44 83 aa 7e 81 80 00 00 00 00 01 5f 90 00 00 00 0a 00 00 2e e0");
    // SDES: one chunk, CNAME "camsim", END, padding to 32 bits.
    EXPECT_EQ(hex(sr.substr(28), 20), "81 ca 00 04 11 22 33 44 01 06 63 61 6d 73 69 6d 00 00 00 00");

    EXPECT_EQ(hex(interleavedFrame(3, "xyz"), 7), "24 03 00 03 78 79 7a");
}

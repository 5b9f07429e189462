#include <netkit/rtsp/RtcpReports.h>

#include <gtest/gtest.h>

#include <string>

using namespace Orix::Utility::rtsp;

namespace {

std::string rtp(std::uint16_t seq)
{
    std::string p("\x80\x60\x00\x00\x90\x39\x2a\x2f\x31\x54\x60\xda", 12);
    p[2] = static_cast<char>(seq >> 8);
    p[3] = static_cast<char>(seq & 0xff);
    return p;
}

const std::uint8_t* bytes(const std::string& s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string hex(const std::string& s)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

TEST(RtcpReports, InspectsCompoundPackets)
{
    struct Case {
        const char* name;
        std::string packet;
        bool valid, bye, sr;
        std::uint32_t ntpMiddle;
    };
    const std::string sr("\x80\xc8\x00\x06\x31\x54\x60\xda\xe2\x7a\x4b\x2e\x8a\x3d\x70\xa3\x90\x39\x2a\x2f\x00\x00\x00\x02\x00\x00\x00\x1b", 28);
    const std::string bye("\x81\xcb\x00\x01\x31\x54\x60\xda", 8);
    const std::string emptyRr("\x80\xc9\x00\x01\x31\x54\x60\xda", 8);
    const Case cases[] = {
        {"sender report", sr, true, false, true, 0x4b2e8a3d},
        {"receiver report then bye", emptyRr + bye, true, true, false, 0},
        {"sender report then bye", sr + bye, true, true, true, 0x4b2e8a3d},
        {"rtp is not rtcp", rtp(7), false, false, false, 0},
        {"length beyond the packet", std::string("\x81\xcb\x00\x09\x31\x54\x60\xda", 8), false, false, false, 0},
        {"bye hidden behind a broken part", emptyRr + std::string("\x40\xcb\x00\x01", 4) + bye, true, false, false, 0},
        {"empty", std::string(), false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RtcpSummary s = inspectRtcp(bytes(c.packet), c.packet.size());
        EXPECT_EQ(s.valid, c.valid);
        EXPECT_EQ(s.bye, c.bye);
        EXPECT_EQ(s.senderReport, c.sr);
        EXPECT_EQ(s.srNtpMiddle, c.ntpMiddle);
    }
}

TEST(RtcpReports, ReceiverReportCountsLossAcrossTheWrap)
{
    ReceptionStats stats;
    const auto t0 = std::chrono::steady_clock::time_point(std::chrono::seconds(1000));
    // 65534, 65535, (0 lost), 1; 65535 again is a duplicate and changes nothing.
    for (std::uint16_t seq : {65534, 65535, 1, 65535}) {
        std::string p = rtp(seq);
        stats.onRtp(bytes(p), p.size());
    }
    stats.onSenderReport(0x4b2e8a3d, t0);
    std::string report = stats.receiverReport(0x01020304, "vapixcam@127.0.0.1", t0 + std::chrono::milliseconds(500));
    // RFC 3550 A.3 counts the duplicate as received: 4 of 4 expected, no
    // loss; LSR is the SR's middle NTP bits, DLSR 0.5 s = 0x8000/65536 s.
    EXPECT_EQ(hex(report),
              "81c90007" "01020304"
              "315460da" "00000000" "00010001" "00000000" "4b2e8a3d" "00008000"
              "81ca0007" "01020304" "0112" "766170697863616d403132372e302e302e31" "00000000");
}

TEST(RtcpReports, ReceiverReportShowsLoss)
{
    ReceptionStats stats;
    for (std::uint16_t seq : {65534, 65535, 1}) {
        std::string p = rtp(seq);
        stats.onRtp(bytes(p), p.size());
    }
    std::string report = stats.receiverReport(0x01020304, "c", std::chrono::steady_clock::time_point{});
    // Expected 65534..65537 (4), received 3: fraction 1/4 = 64/256, one lost,
    // extended highest sequence 0x00010001; no SR yet, so LSR and DLSR are 0.
    EXPECT_EQ(hex(report.substr(0, 32)),
              "81c90007" "01020304" "315460da" "40000001" "00010001" "00000000" "00000000" "00000000");
    // The next interval saw nothing new: no fresh loss.
    report = stats.receiverReport(0x01020304, "c", std::chrono::steady_clock::time_point{});
    EXPECT_EQ(hex(report.substr(12, 4)), "00000001");
}

TEST(RtcpReports, ReportWithoutMediaHasNoBlock)
{
    ReceptionStats stats;
    std::string report = stats.receiverReport(0xdeadbeef, "ab", std::chrono::steady_clock::time_point{});
    EXPECT_EQ(hex(report), "80c90001" "deadbeef" "81ca0003" "deadbeef" "0102" "6162" "00000000");
}

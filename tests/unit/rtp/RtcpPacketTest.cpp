#include <netkit/rtp/RtcpPacket.h>
#include <netkit/rtp/RtpError.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using TestSupport::Bytes;
using TestSupport::fromHex;
using TestSupport::hex;

namespace {

boost::system::error_code parse(const Bytes& b, SenderReport& sr)
{
    return parseSenderReport(ByteSpan(b.data(), b.size()), sr);
}

// FFmpeg's first sender report of the H.264 capture.
const std::string kFfmpegSr = "80 c8 00 06 2b 2d 5e 80 ee be e5 f7 69 37 4b c6 43 d8 ef be 00 00 00 00 00 00 00 00";
// A receiver report without blocks, as sent before any packet arrived.
const std::string kEmptyRr = "80 c9 00 01 00 00 00 07 ";

} // namespace

TEST(RtcpPacket, ReadsTheSenderReportOfACompound)
{
    const struct {
        const char* name;
        std::string hex;
        boost::system::error_code error;
    } cases[] = {
        {"SR alone", kFfmpegSr, {}},
        {"SR after an RR", kEmptyRr + kFfmpegSr, {}},
        {"SR followed by SDES", kFfmpegSr + " 81 ca 00 02 2b 2d 5e 80 01 02 41 42", {}},
        {"empty", "", RtpError::truncatedPacket},
        {"RR only", kEmptyRr, RtpError::notSenderReport},
        {"length past the end", "80 c8 00 07" + kFfmpegSr.substr(11), RtpError::truncatedPacket},
        {"SR body too short", "80 c8 00 02 2b 2d 5e 80 ee be e5 f7", RtpError::truncatedPacket},
        {"version 1", "40" + kFfmpegSr.substr(2), RtpError::badVersion},
        {"trailing partial header", kEmptyRr + " 80 c8", RtpError::truncatedPacket},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SenderReport sr;
        ASSERT_EQ(parse(fromHex(c.hex), sr), c.error);
        if (c.error)
            continue;
        EXPECT_EQ(sr.ssrc, 0x2b2d5e80u);
        EXPECT_EQ(sr.ntpTimestamp, 0xeebee5f769374bc6ull);
        EXPECT_EQ(sr.rtpTimestamp, 0x43d8efbeu);
        EXPECT_EQ(sr.packetCount, 0u);
        EXPECT_EQ(sr.octetCount, 0u);
        EXPECT_EQ(sr.compactNtp(), 0xe5f76937u);
    }
    // The capture file holds the same bytes.
    EXPECT_EQ(TestSupport::readCapture(TestSupport::dataPath("rtp/h264_testsrc.rtcp")), std::vector<Bytes>{fromHex(kFfmpegSr)});
}

TEST(RtcpPacket, BuildsReceiverReportWithCname)
{
    ReportBlock block;
    block.sourceSsrc = 0x2b2d5e80;
    block.fractionLost = 51;
    block.cumulativeLost = 2;
    block.extendedHighestSequence = 0x000104f9;
    block.jitter = 17;
    block.lastSenderReport = 0xe5f76937;
    block.delaySinceLastReport = 0x00018000; // 1.5 s
    const auto withLoss = [block](std::int32_t lost) {
        ReportBlock b = block;
        b.cumulativeLost = lost;
        return b;
    };
    const std::string rest = "00 01 04 f9 00 00 00 11 e5 f7 69 37 00 01 80 00  81 ca 00 02 00 00 00 07 01 00 00 00";
    const struct {
        const char* name;
        std::optional<ReportBlock> block;
        std::string cname;
        std::string hex;
    } cases[] = {
        {"no block", std::nullopt, "vx", "80 c9 00 01 00 00 00 07  81 ca 00 03 00 00 00 07 01 02 76 78 00 00 00 00"},
        {"one block", block, "vapixcam",
         "81 c9 00 07 00 00 00 07  2b 2d 5e 80 33 00 00 02 00 01 04 f9 00 00 00 11 e5 f7 69 37 00 01 80 00"
         "  81 ca 00 04 00 00 00 07 01 08 76 61 70 69 78 63 61 6d 00 00"},
        // Duplicates can make it negative (RFC 3550 section 6.4.1).
        {"negative cumulative loss", withLoss(-1), "", "81 c9 00 07 00 00 00 07  2b 2d 5e 80 33 ff ff ff " + rest},
        {"cumulative loss clamped to 24 bits", withLoss(0x7fffffff), "", "81 c9 00 07 00 00 00 07  2b 2d 5e 80 33 7f ff ff " + rest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(hex(buildReceiverReport(7, c.block, c.cname), 200), hex(fromHex(c.hex), 200));
    }
}

TEST(RtpWallClock, MapsRtpTimestampsThroughTheSenderReport)
{
    SenderReport sr;
    ASSERT_FALSE(parse(fromHex(kFfmpegSr), sr));
    // NTP 0xeebee5f7.69374bc6: 1796499319 s after 1970 plus 410999 us.
    const std::int64_t anchor = 1796499319LL * 1000000 + 410999;
    const struct {
        const char* name;
        std::uint32_t rtp;
        std::int64_t micros;
    } cases[] = {
        {"at the report", 0x43d8efbe, anchor},
        {"one second later", 0x43d8efbe + 90000, anchor + 1000000},
        {"half a second earlier", 0x43d8efbe - 45000, anchor - 500000},
        {"one tick later", 0x43d8efbe + 9, anchor + 100},
    };
    RtpWallClock clock(90000);
    EXPECT_FALSE(clock.unixMicros(0x43d8efbe).has_value()); // no report yet
    clock.update(sr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(clock.unixMicros(c.rtp), std::optional<std::int64_t>(c.micros));
    }
    // Across the 32-bit wrap of the RTP clock: 512 ticks later.
    sr.rtpTimestamp = 0xffffff00;
    clock.update(sr);
    EXPECT_EQ(clock.unixMicros(0x00000100), std::optional<std::int64_t>(anchor + 5688));
}

TEST(RtcpPacket, SummarizesCompoundPackets)
{
    const std::string sr = "80 c8 00 06 31 54 60 da e2 7a 4b 2e 8a 3d 70 a3 90 39 2a 2f 00 00 00 02 00 00 00 1b ";
    const std::string bye = "81 cb 00 01 31 54 60 da ";
    const std::string emptyRr = "80 c9 00 01 31 54 60 da ";
    const struct {
        const char* name;
        std::string packet;
        bool valid, bye, sr;
        std::uint32_t ntpMiddle;
    } cases[] = {
        {"sender report", sr, true, false, true, 0x4b2e8a3d},
        {"receiver report then bye", emptyRr + bye, true, true, false, 0},
        {"sender report then bye", sr + bye, true, true, true, 0x4b2e8a3d},
        {"rtp is not rtcp", "80 60 00 07 90 39 2a 2f 31 54 60 da", false, false, false, 0},
        {"length beyond the packet", "81 cb 00 09 31 54 60 da", false, false, false, 0},
        {"bye hidden behind a broken part", emptyRr + "40 cb 00 01 " + bye, true, false, false, 0},
        {"empty", "", false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes packet = fromHex(c.packet);
        const RtcpSummary s = summarizeRtcp(ByteSpan(packet.data(), packet.size()));
        EXPECT_EQ(s.valid, c.valid);
        EXPECT_EQ(s.bye, c.bye);
        EXPECT_EQ(s.senderReport, c.sr);
        EXPECT_EQ(s.srNtpMiddle, c.ntpMiddle);
    }
}

TEST(ReceptionStats, ReceiverReportsCountLossAcrossTheWrapAsRfc3550AppendixA3)
{
    const auto rtp = [](std::uint16_t seq) {
        return Bytes{0x80, 0x60, std::uint8_t(seq >> 8), std::uint8_t(seq), 0x90, 0x39, 0x2a, 0x2f, 0x31, 0x54, 0x60, 0xda};
    };
    const auto t0 = std::chrono::steady_clock::time_point(std::chrono::seconds(1000));
    const struct {
        const char* name;
        std::vector<std::uint16_t> sequences;
        bool senderReport;
        const char* report; // RR and its block, hex
    } cases[] = {
        // A duplicate counts as received: 4 of 4 expected, no loss; LSR is the
        // SR's middle NTP bits, DLSR 0.5 s = 0x8000/65536 s.
        {"duplicate after the wrap", {65534, 65535, 1, 65535}, true,
         "81c90007 01020304 315460da 00000000 00010001 00000000 4b2e8a3d 00008000"},
        // 65534..65537 expected, 3 received: fraction 64/256, one lost.
        {"one lost across the wrap", {65534, 65535, 1}, false,
         "81c90007 01020304 315460da 40000001 00010001 00000000 00000000 00000000"},
        {"nothing received yet", {}, false, "80c90001 01020304"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReceptionStats stats;
        for (const std::uint16_t seq : c.sequences) {
            const Bytes packet = rtp(seq);
            stats.onRtp(ByteSpan(packet.data(), packet.size()));
        }
        if (c.senderReport)
            stats.onSenderReport(0x4b2e8a3d, t0);
        const Bytes report = stats.receiverReport(0x01020304, "c", t0 + std::chrono::milliseconds(500));
        const Bytes expected = fromHex(c.report);
        ASSERT_GE(report.size(), expected.size());
        EXPECT_EQ(hex(Bytes(report.begin(), report.begin() + expected.size())), hex(expected));
    }
}

#include <netkit/rtp/RtcpPacket.h>
#include "rtp/BigEndian.h"
#include <netkit/rtp/RtpError.h>

#include <algorithm>

namespace Orix::Utility {

namespace {

constexpr std::uint8_t kSenderReport = 200;
constexpr std::uint8_t kReceiverReport = 201;
constexpr std::uint8_t kSourceDescription = 202;
constexpr std::uint8_t kBye = 203;
constexpr std::uint8_t kCname = 1;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xffff);
}

} // namespace

boost::system::error_code parseSenderReport(ByteSpan compound, SenderReport& out)
{
    ByteReader reader(compound);
    if (reader.remaining() < 4)
        return RtpError::truncatedPacket;
    while (reader.remaining() > 0) {
        std::uint8_t first = 0, type = 0;
        std::uint16_t words = 0;
        if (!reader.u8(first) || !reader.u8(type) || !reader.u16(words))
            return RtpError::truncatedPacket;
        if (first >> 6 != 2)
            return RtpError::badVersion;
        ByteSpan body;
        if (!reader.bytes(4u * words, body))
            return RtpError::truncatedPacket;
        if (type != kSenderReport)
            continue;
        ByteReader sr(body);
        std::uint32_t ntpHigh = 0, ntpLow = 0;
        if (!sr.u32(out.ssrc) || !sr.u32(ntpHigh) || !sr.u32(ntpLow) || !sr.u32(out.rtpTimestamp) ||
            !sr.u32(out.packetCount) || !sr.u32(out.octetCount))
            return RtpError::truncatedPacket;
        out.ntpTimestamp = std::uint64_t(ntpHigh) << 32 | ntpLow;
        return {};
    }
    return RtpError::notSenderReport;
}

std::vector<std::uint8_t> buildReceiverReport(std::uint32_t receiverSsrc,
                                              const std::optional<ReportBlock>& block,
                                              const std::string& cname)
{
    std::vector<std::uint8_t> out;
    // RR: header, reporter SSRC, 0 or 1 report block of 6 words.
    out.push_back(std::uint8_t(0x80 | (block ? 1 : 0)));
    out.push_back(kReceiverReport);
    put16(out, block ? 7 : 1);
    put32(out, receiverSsrc);
    if (block) {
        put32(out, block->sourceSsrc);
        const std::int32_t lost = std::clamp<std::int32_t>(block->cumulativeLost, -0x800000, 0x7fffff);
        put32(out, std::uint32_t(block->fractionLost) << 24 | (std::uint32_t(lost) & 0xffffff));
        put32(out, block->extendedHighestSequence);
        put32(out, block->jitter);
        put32(out, block->lastSenderReport);
        put32(out, block->delaySinceLastReport);
    }
    // SDES: one chunk, CNAME item, END, padded to a 32-bit boundary.
    const std::size_t nameLength = std::min<std::size_t>(cname.size(), 255);
    const std::size_t chunkBytes = 4 + 2 + nameLength + 1;
    const std::size_t paddedBytes = (chunkBytes + 3) / 4 * 4;
    out.push_back(0x81);
    out.push_back(kSourceDescription);
    put16(out, std::uint32_t(paddedBytes / 4));
    put32(out, receiverSsrc);
    out.push_back(kCname);
    out.push_back(std::uint8_t(nameLength));
    out.insert(out.end(), cname.begin(), cname.begin() + static_cast<std::ptrdiff_t>(nameLength));
    out.insert(out.end(), paddedBytes - chunkBytes + 1, 0);
    return out;
}

std::optional<std::int64_t> RtpWallClock::unixMicros(std::uint32_t rtpTimestamp) const
{
    if (!synchronised())
        return std::nullopt;
    const std::int64_t ticks = static_cast<std::int32_t>(rtpTimestamp - anchor_->rtpTimestamp);
    const std::int64_t seconds = std::int64_t(anchor_->ntpTimestamp >> 32) -
                                 std::int64_t(kNtpUnixOffsetSeconds);
    const std::int64_t fractionMicros =
        static_cast<std::int64_t>(((anchor_->ntpTimestamp & 0xffffffffu) * 1000000u) >> 32);
    return seconds * 1000000 + fractionMicros + ticks * 1000000 / std::int64_t(clockRate_);
}

RtcpSummary summarizeRtcp(ByteSpan compound)
{
    RtcpSummary summary;
    ByteReader reader(compound);
    while (reader.remaining() >= 4) {
        std::uint8_t first = 0, type = 0;
        std::uint16_t words = 0;
        ByteSpan body;
        reader.u8(first);
        reader.u8(type);
        reader.u16(words);
        if (first >> 6 != 2 || type < 192 || type > 223 || !reader.bytes(4u * words, body))
            break;
        summary.valid = true;
        if (type == kBye)
            summary.bye = true;
        ByteReader sr(body);
        std::uint32_t ntpHigh = 0, ntpLow = 0;
        if (type == kSenderReport && sr.u32(summary.srSsrc) && sr.u32(ntpHigh) && sr.u32(ntpLow)) {
            summary.senderReport = true;
            summary.srNtpMiddle = (ntpHigh << 16) | (ntpLow >> 16);
        }
    }
    return summary;
}

void ReceptionStats::onRtp(ByteSpan packet)
{
    ByteReader reader(packet);
    std::uint8_t first = 0, second = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0, ssrc = 0;
    if (!reader.u8(first) || !reader.u8(second) || !reader.u16(sequence) || !reader.u32(timestamp) ||
        !reader.u32(ssrc) || first >> 6 != 2)
        return;
    if (ssrc_ != ssrc) {
        ssrc_ = ssrc;
        sequence_ = SequenceTracker();
    }
    sequence_.observe(sequence);
}

void ReceptionStats::onSenderReport(std::uint32_t ntpMiddle, std::chrono::steady_clock::time_point arrival)
{
    lastSr_ = ntpMiddle;
    lastSrArrival_ = arrival;
}

std::vector<std::uint8_t> ReceptionStats::receiverReport(std::uint32_t ourSsrc, const std::string& cname,
                                                         std::chrono::steady_clock::time_point now)
{
    std::optional<ReportBlock> block;
    if (ssrc_) {
        const auto loss = sequence_.lossReport();
        block.emplace();
        block->sourceSsrc = *ssrc_;
        block->fractionLost = loss.fractionLost;
        block->cumulativeLost = static_cast<std::int32_t>(std::clamp<std::int64_t>(loss.cumulativeLost, -0x800000, 0x7fffff));
        block->extendedHighestSequence = sequence_.extendedHighest();
        block->lastSenderReport = lastSr_;
        if (lastSr_ != 0) {
            const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(now - lastSrArrival_).count();
            block->delaySinceLastReport = static_cast<std::uint32_t>(waited * 65536 / 1000000);
        }
    }
    return buildReceiverReport(ourSsrc, block, cname);
}

} // namespace Orix::Utility

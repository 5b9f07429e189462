#include <netkit/rtsp/RtcpReports.h>

#include <algorithm>

namespace Orix::Utility::rtsp {
namespace {

std::uint32_t read32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

void put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>((v >> 8) & 0xff);
    out += static_cast<char>(v & 0xff);
}

void put32(std::string& out, std::uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xffff);
}

} // namespace

RtcpSummary inspectRtcp(const std::uint8_t* data, std::size_t size)
{
    RtcpSummary summary;
    std::size_t offset = 0;
    while (offset + 4 <= size) {
        const std::uint8_t* p = data + offset;
        if ((p[0] >> 6) != 2)
            break;
        std::uint8_t type = p[1];
        std::size_t length = (std::size_t(p[2]) << 8 | p[3]) * 4 + 4;
        if (offset + length > size || type < 192 || type > 223)
            break;
        summary.valid = true;
        if (type == 203)
            summary.bye = true;
        if (type == 200 && length >= 28) {
            summary.senderReport = true;
            summary.srSsrc = read32(p + 4);
            summary.srNtpMiddle = (read32(p + 8) << 16) | (read32(p + 12) >> 16);
        }
        offset += length;
    }
    return summary;
}

void ReceptionStats::onRtp(const std::uint8_t* data, std::size_t size)
{
    if (size < 12 || (data[0] >> 6) != 2)
        return;
    std::uint16_t seq = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    std::uint32_t ssrc = read32(data + 8);
    if (!haveSource_ || ssrc != ssrc_) {
        haveSource_ = true;
        ssrc_ = ssrc;
        maxSeq_ = seq;
        cycles_ = 0;
        baseSeq_ = seq;
        received_ = 0;
        expectedPrior_ = receivedPrior_ = 0;
    }
    // RFC 3550 A.1: a forward step below half the sequence space advances
    // the maximum; wrapping past 65535 counts a cycle.
    std::uint16_t delta = static_cast<std::uint16_t>(seq - maxSeq_);
    if (delta != 0 && delta < 0x8000) {
        if (seq < maxSeq_)
            cycles_ += 65536;
        maxSeq_ = seq;
    }
    ++received_;
}

void ReceptionStats::onSenderReport(std::uint32_t ntpMiddle, std::chrono::steady_clock::time_point arrival)
{
    lastSr_ = ntpMiddle;
    lastSrArrival_ = arrival;
}

std::string ReceptionStats::receiverReport(std::uint32_t ourSsrc, const std::string& cname,
                                           std::chrono::steady_clock::time_point now)
{
    std::string out;
    const std::uint32_t blocks = haveSource_ ? 1 : 0;
    out += static_cast<char>(0x80 | blocks);
    out += static_cast<char>(201);
    put16(out, 1 + 6 * blocks);
    put32(out, ourSsrc);
    if (haveSource_) {
        // RFC 3550 A.3.
        std::uint64_t extendedMax = std::uint64_t(cycles_) + maxSeq_;
        std::uint64_t expected = extendedMax - baseSeq_ + 1;
        std::int64_t lost = static_cast<std::int64_t>(expected) - static_cast<std::int64_t>(received_);
        lost = std::clamp<std::int64_t>(lost, -0x800000, 0x7fffff);
        std::uint64_t expectedInterval = expected - expectedPrior_;
        std::uint64_t receivedInterval = received_ - receivedPrior_;
        expectedPrior_ = expected;
        receivedPrior_ = received_;
        std::int64_t lostInterval = static_cast<std::int64_t>(expectedInterval) - static_cast<std::int64_t>(receivedInterval);
        std::uint32_t fraction = 0;
        if (expectedInterval != 0 && lostInterval > 0)
            fraction = static_cast<std::uint32_t>((lostInterval << 8) / static_cast<std::int64_t>(expectedInterval));
        put32(out, ssrc_);
        put32(out, (std::min<std::uint32_t>(fraction, 255) << 24) | (static_cast<std::uint32_t>(lost) & 0xffffff));
        put32(out, static_cast<std::uint32_t>(extendedMax));
        put32(out, 0); // interarrival jitter: not tracked here
        put32(out, lastSr_);
        std::uint32_t dlsr = 0;
        if (lastSr_ != 0) {
            auto waited = std::chrono::duration_cast<std::chrono::microseconds>(now - lastSrArrival_).count();
            dlsr = static_cast<std::uint32_t>(waited * 65536 / 1000000);
        }
        put32(out, dlsr);
    }
    // SDES with a CNAME item, padded to a 32-bit boundary (RFC 3550 §6.5).
    std::string name = cname.substr(0, 255);
    std::size_t chunk = 4 + 2 + name.size() + 1;
    chunk = (chunk + 3) & ~std::size_t(3);
    out += static_cast<char>(0x81);
    out += static_cast<char>(202);
    put16(out, static_cast<std::uint32_t>(chunk / 4));
    put32(out, ourSsrc);
    out += static_cast<char>(1);
    out += static_cast<char>(name.size());
    out += name;
    out.append(chunk - 4 - 2 - name.size(), '\0');
    return out;
}

} // namespace Orix::Utility::rtsp

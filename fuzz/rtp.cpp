// RTP and RTCP packets as they arrive on a track's sockets or interleaved
// channels, and the sequence tracker that orders them.
//
// Input: a byte of options (reordering window or not, the clock rate), then
// records (2-byte length, bytes); each record is read as an RTP packet and as
// an RTCP compound packet.
//
// Checks: the payload and header extension of a parsed packet lie inside the
// packet, after its header; a sender report found in a compound packet maps
// RTP time onto wall time without overflow; a receiver report we build walks
// cleanly as a compound packet; the tracker accounts for every packet it was
// given and releases packets in sequence order, every gap reported.
#include "FuzzSupport.h"

#include <netkit/rtp/RtcpPacket.h>
#include <netkit/rtp/RtpError.h>
#include <netkit/rtp/RtpPacket.h>
#include <netkit/rtp/SequenceTracker.h>

using namespace Orix::Utility;

namespace {

struct Order {
    bool started = false;
    std::uint16_t last = 0;

    void released(std::uint16_t sequence, std::uint32_t lostBefore, bool discontinuity)
    {
        if (lostBefore > 0)
            FUZZ_CHECK(discontinuity);
        if (started && !discontinuity)
            FUZZ_CHECK(sequence == static_cast<std::uint16_t>(last + 1));
        if (started && lostBefore > 0)
            FUZZ_CHECK(sequence == static_cast<std::uint16_t>(last + 1 + lostBefore));
        started = true;
        last = sequence;
    }
};

void checkAccounting(const SequenceTracker& tracker, std::size_t window)
{
    const SequenceStats& s = tracker.stats();
    FUZZ_CHECK(s.received == s.delivered + s.duplicates + s.late + s.stray + tracker.held());
    FUZZ_CHECK(tracker.held() <= window);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::uint8_t options = input.byte();
    const std::size_t window = (options & 1) ? 32 : 0;
    static const std::uint32_t kClockRates[] = {90000, 8000, 16000, 48000, 1, 0xffffffffu};
    RtpWallClock clock(kClockRates[(options >> 1) % 6]);

    SequenceTracker tracker(window);
    Order order;
    std::uint32_t reportSsrc = 0;
    while (!input.empty()) {
        const std::string_view record = input.record();
        const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(record.data()), record.size());

        RtpPacket packet;
        if (!RtpPacket::parse(bytes, packet)) {
            const auto* begin = bytes.data;
            const auto* end = bytes.data + bytes.size;
            const std::size_t header = 12 + 4u * packet.csrcCount;
            FUZZ_CHECK(packet.payloadType <= 127);
            FUZZ_CHECK(packet.payload.size == 0 ||
                       (packet.payload.data >= begin + header && packet.payload.data + packet.payload.size <= end));
            if (packet.hasExtension) {
                FUZZ_CHECK(packet.extension.size % 4 == 0);
                FUZZ_CHECK(packet.extension.size == 0 ||
                           (packet.extension.data >= begin + header + 4 &&
                            packet.extension.data + packet.extension.size <= end));
                FUZZ_CHECK(packet.payload.size == 0 ||
                           packet.payload.data >= packet.extension.data + packet.extension.size);
            }
            if (window == 0) {
                const auto o = tracker.observe(packet.sequence);
                if (o.verdict == SequenceTracker::Verdict::deliver)
                    order.released(packet.sequence, o.lostBefore, o.discontinuity);
            } else {
                tracker.push(packet.sequence, OwnedRtpPacket(packet, bytes));
            }
            while (auto r = tracker.pop())
                order.released(r->sequence, r->lostBefore, r->discontinuity);
            checkAccounting(tracker, window);
            (void)clock.unixMicros(packet.timestamp);
        }

        SenderReport report;
        if (!parseSenderReport(bytes, report)) {
            clock.update(report);
            reportSsrc = report.ssrc;
        }
    }
    tracker.flush();
    while (auto r = tracker.pop())
        order.released(r->sequence, r->lostBefore, r->discontinuity);
    FUZZ_CHECK(tracker.held() == 0);
    checkAccounting(tracker, window);
    const auto loss = tracker.lossReport();

    ReportBlock block;
    block.sourceSsrc = reportSsrc;
    block.cumulativeLost = static_cast<std::int32_t>(std::min<std::int64_t>(loss.cumulativeLost, 0x7fffffff));
    block.fractionLost = loss.fractionLost;
    block.extendedHighestSequence = tracker.extendedHighest();
    // Any bytes as the CNAME (it is cut at 255).
    const std::string cname(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 300));
    const auto rr = buildReceiverReport(0x1234abcd, block, cname);
    FUZZ_CHECK(rr.size() % 4 == 0);
    SenderReport none;
    FUZZ_CHECK(parseSenderReport(ByteSpan(rr.data(), rr.size()), none) == RtpError::notSenderReport);
    return 0;
}

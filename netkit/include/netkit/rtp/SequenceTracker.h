#pragma once
// Wrap-aware ordering of RTP sequence numbers: the one place that compares them.
#include <netkit/rtp/RtpPacket.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace Orix::Utility {

struct SequenceStats {
    std::uint64_t received = 0;   // every packet handed in
    std::uint64_t delivered = 0;  // packets passed on in order
    std::uint64_t lost = 0;       // sequence numbers skipped over (a late arrival stays counted)
    std::uint64_t duplicates = 0; // a sequence number seen before, dropped
    std::uint64_t late = 0;       // arrived after its gap was given up, dropped
    std::uint64_t reordered = 0;  // held back and then delivered in order
    std::uint64_t resyncs = 0;    // jumps too large to be loss: the sequence restarted
    std::uint64_t stray = 0;      // far from the sequence and not followed by its successor, dropped
};

// Tracks one SSRC's sequence numbers.
//
// Without a reordering window (interleaved TCP, where packets cannot be
// reordered) call observe() for every packet; the answer says whether to pass
// it on and how many packets were lost before it.
//
// With a window (UDP), push() owned packets and pop() them back: a packet ahead
// of the expected one is held until the gap fills or more than `window` packets
// wait; then the gap is given up and counted as loss. flush() releases
// everything held (end of stream, or a quiet period noticed by the caller).
//
// A packet far from the expected number (more than kMaxUnconfirmedJump ahead,
// or more than kMaxMisorder behind) is dropped on probation (RFC 3550
// appendix A.1): a stray packet with a random number costs only itself. When
// the next packet follows it, the sequence really moved: within kMaxDropout
// ahead the packets in between count as loss, beyond that (or behind) it is a
// restarted sequence, delivered as a discontinuity without counting loss.
class SequenceTracker {
public:
    static constexpr std::uint32_t kMaxDropout = 3000;
    static constexpr std::uint32_t kMaxMisorder = 100;
    static constexpr std::uint32_t kMaxUnconfirmedJump = 64;

    explicit SequenceTracker(std::size_t window = 0) : window_(window) {}

    enum class Verdict { deliver, duplicate, late, stray };
    struct Observation {
        Verdict verdict = Verdict::deliver;
        std::uint32_t lostBefore = 0;   // packets missing just before this one
        bool discontinuity = false;     // loss or a restarted sequence before this one
    };
    Observation observe(std::uint16_t sequence);

    struct Released {
        OwnedRtpPacket packet;
        std::uint16_t sequence = 0;
        std::uint32_t lostBefore = 0;
        bool discontinuity = false;
    };
    void push(std::uint16_t sequence, OwnedRtpPacket packet);
    std::optional<Released> pop();
    void flush();
    std::size_t held() const { return held_.size(); }

    const SequenceStats& stats() const { return stats_; }
    bool started() const { return started_; }
    // The highest sequence number delivered, extended with the wrap count
    // (RFC 3550 "extended highest sequence number received").
    std::uint32_t extendedHighest() const { return static_cast<std::uint32_t>(next_ - 1); }

    // Loss figures for a reception report (RFC 3550 appendix A.3): the fraction
    // lost since the previous call (8-bit fixed point) and the cumulative loss.
    struct LossReport {
        std::uint8_t fractionLost = 0;
        std::int64_t cumulativeLost = 0;
    };
    LossReport lossReport();

private:
    // The 64-bit extended number of a 16-bit sequence, the one closest to `near`.
    static std::int64_t extend(std::uint16_t sequence, std::int64_t near);
    // Where a packet goes relative to the expected number: `ahead` is set
    // for the packets to take in (loss counted for a confirmed jump), the
    // verdict says what to drop. Restarts the run for a confirmed far jump.
    Verdict classify(std::uint16_t sequence, std::int64_t& extended, bool& restarted);
    bool seenRecently(std::int64_t extended) const;
    void markSeen(std::int64_t extended);
    void restartAt(std::int64_t extended);
    void releaseFrom(std::int64_t extended, OwnedRtpPacket packet, bool discontinuity);
    void releaseConsecutive();
    void giveUpGap();

    struct Held {
        std::int64_t extended;
        OwnedRtpPacket packet;
    };

    std::size_t window_;
    bool started_ = false;
    std::int64_t next_ = 0;     // the extended number expected next
    std::uint64_t history_ = 0; // bit i set: next_ - 1 - i was delivered
    std::optional<std::uint16_t> probation_; // the number that confirms a far jump
    std::uint64_t expectedPrior_ = 0;
    std::uint64_t receivedPrior_ = 0;
    std::deque<Held> held_;     // sorted by extended number
    std::deque<Released> released_;
    SequenceStats stats_;
};

} // namespace Orix::Utility

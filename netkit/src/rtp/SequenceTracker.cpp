#include <netkit/rtp/SequenceTracker.h>

#include <algorithm>

namespace Orix::Utility {

std::int64_t SequenceTracker::extend(std::uint16_t sequence, std::int64_t near)
{
    // The signed 16-bit distance is the wrap-aware difference: 65535 → 0 is +1.
    const auto delta = static_cast<std::int16_t>(static_cast<std::uint16_t>(sequence - static_cast<std::uint16_t>(near)));
    return near + delta;
}

bool SequenceTracker::seenRecently(std::int64_t extended) const
{
    const std::int64_t back = next_ - 1 - extended;
    return back >= 0 && back < 64 && (history_ >> back & 1u);
}

void SequenceTracker::markSeen(std::int64_t extended)
{
    // `extended` is the new highest delivered number.
    const std::int64_t shift = extended - (next_ - 1);
    history_ = shift >= 64 ? 0 : history_ << shift;
    history_ |= 1u;
    next_ = extended + 1;
}

void SequenceTracker::restartAt(std::int64_t extended)
{
    ++stats_.resyncs;
    history_ = 0;
    next_ = extended; // markSeen then sets bit 0 and moves past it
}

SequenceTracker::Verdict SequenceTracker::classify(std::uint16_t sequence, std::int64_t& extended,
                                                   bool& restarted)
{
    restarted = false;
    if (!started_) {
        started_ = true;
        next_ = sequence;
    }
    extended = extend(sequence, next_);
    const std::int64_t ahead = extended - next_;
    const bool confirming = probation_ && *probation_ == sequence;
    probation_.reset();
    if (ahead < 0 && -ahead <= std::int64_t(kMaxMisorder)) {
        if (seenRecently(extended)) {
            ++stats_.duplicates;
            return Verdict::duplicate;
        }
        ++stats_.late;
        return Verdict::late;
    }
    if (ahead >= 0 && ahead <= std::int64_t(kMaxUnconfirmedJump))
        return Verdict::deliver;
    if (!confirming) {
        ++stats_.stray;
        probation_ = static_cast<std::uint16_t>(sequence + 1);
        return Verdict::stray;
    }
    if (ahead < 0 || ahead > std::int64_t(kMaxDropout)) {
        restarted = true;
        return Verdict::deliver;
    }
    return Verdict::deliver; // a confirmed jump: the gap is loss
}

SequenceTracker::Observation SequenceTracker::observe(std::uint16_t sequence)
{
    ++stats_.received;
    Observation result;
    std::int64_t extended = 0;
    bool restarted = false;
    result.verdict = classify(sequence, extended, restarted);
    if (result.verdict != Verdict::deliver)
        return result;
    if (restarted) {
        restartAt(extended);
        result.discontinuity = true;
    } else if (extended > next_) {
        const std::int64_t ahead = extended - next_;
        result.lostBefore = static_cast<std::uint32_t>(ahead);
        result.discontinuity = true;
        stats_.lost += std::uint64_t(ahead);
    }
    markSeen(extended);
    ++stats_.delivered;
    return result;
}

void SequenceTracker::releaseFrom(std::int64_t extended, OwnedRtpPacket packet,
                                  bool discontinuity)
{
    Released r;
    r.sequence = static_cast<std::uint16_t>(extended);
    r.packet = std::move(packet);
    const std::int64_t gap = extended - next_;
    if (gap > 0) {
        r.lostBefore = static_cast<std::uint32_t>(gap);
        stats_.lost += std::uint64_t(gap);
        discontinuity = true;
    }
    r.discontinuity = discontinuity;
    markSeen(extended);
    ++stats_.delivered;
    released_.push_back(std::move(r));
}

void SequenceTracker::releaseConsecutive()
{
    while (!held_.empty() && held_.front().extended == next_) {
        ++stats_.reordered;
        releaseFrom(held_.front().extended, std::move(held_.front().packet), false);
        held_.pop_front();
    }
}

void SequenceTracker::giveUpGap()
{
    // The oldest held packet goes out with the gap before it counted as loss.
    Held first = std::move(held_.front());
    held_.pop_front();
    ++stats_.reordered;
    releaseFrom(first.extended, std::move(first.packet), true);
    releaseConsecutive();
}

void SequenceTracker::push(std::uint16_t sequence, OwnedRtpPacket packet)
{
    if (window_ == 0) {
        const Observation o = observe(sequence);
        if (o.verdict == Verdict::deliver)
            released_.push_back({std::move(packet), sequence, o.lostBefore, o.discontinuity});
        return;
    }
    ++stats_.received;
    std::int64_t extended = 0;
    bool restarted = false;
    if (classify(sequence, extended, restarted) != Verdict::deliver)
        return;
    if (restarted) {
        // A restarted sequence: what is held belongs to the old run.
        while (!held_.empty())
            giveUpGap();
        restartAt(extended);
        releaseFrom(extended, std::move(packet), true);
        return;
    }
    if (extended - next_ > std::int64_t(kMaxUnconfirmedJump)) {
        // A confirmed jump: what is held comes first, the rest of the gap is loss.
        while (!held_.empty())
            giveUpGap();
        releaseFrom(extended, std::move(packet), true);
        return;
    }
    const auto at = std::lower_bound(held_.begin(), held_.end(), extended,
                                     [](const Held& h, std::int64_t e) { return h.extended < e; });
    if (at != held_.end() && at->extended == extended) {
        ++stats_.duplicates;
        return;
    }
    if (extended == next_) {
        releaseFrom(extended, std::move(packet), false);
        releaseConsecutive();
        return;
    }
    held_.insert(at, Held{extended, std::move(packet)});
    while (held_.size() > window_)
        giveUpGap();
}

std::optional<SequenceTracker::Released> SequenceTracker::pop()
{
    if (released_.empty())
        return std::nullopt;
    Released r = std::move(released_.front());
    released_.pop_front();
    return r;
}

void SequenceTracker::flush()
{
    while (!held_.empty())
        giveUpGap();
}

SequenceTracker::LossReport SequenceTracker::lossReport()
{
    // RFC 3550 appendix A.3, with "expected" as delivered + lost over every run
    // and late or duplicated arrivals counted as received, as the RFC counts them.
    const std::uint64_t expected = stats_.delivered + stats_.lost;
    const std::uint64_t received = stats_.delivered + stats_.late + stats_.duplicates;
    const std::uint64_t expectedInterval = expected - expectedPrior_;
    const std::uint64_t receivedInterval = received - receivedPrior_;
    expectedPrior_ = expected;
    receivedPrior_ = received;
    LossReport report;
    report.cumulativeLost = std::int64_t(expected) - std::int64_t(received);
    if (expectedInterval > 0 && expectedInterval > receivedInterval)
        report.fractionLost =
            std::uint8_t(((expectedInterval - receivedInterval) << 8) / expectedInterval);
    return report;
}

} // namespace Orix::Utility

#pragma once
// Host times for the frames of a played-back recording, rebuilt from RTP
// time: the stream's first timestamp is the start time, and every later one
// lies as many milliseconds after it as its RTP ticks say. Used instead of
// the sender reports, whose wall clock is the camera's when it sends, not
// when it recorded.
#include <cstdint>

namespace Orix::Utility {

// Milliseconds of `ticks` RTP ticks at clockRate Hz, truncated; 0 for a
// clock rate of 0.
std::uint64_t rtpTime2VeltoTime(std::uint64_t ticks, std::uint32_t clockRate);

class PreciseTimestampGenerator {
public:
    // startTime: host time (ms since 1970) of the first timestamp seen.
    PreciseTimestampGenerator(std::uint64_t startTime, std::uint32_t clockRate)
        : startTime_(startTime), clockRate_(clockRate)
    {
    }

    // The host time of RTP timestamp t. Timestamps are compared wrap-aware
    // (RFC 3550 section 5.1): one that goes forward adds its ticks, even
    // across 2^32; one that repeats or goes back adds nothing, so times never
    // decrease.
    std::uint64_t operator()(std::uint32_t t);

private:
    std::uint64_t startTime_;
    std::uint32_t clockRate_;
    bool started_ = false; // 0 is a timestamp like any other
    std::uint32_t last_ = 0;
    std::uint64_t ticks_ = 0;
};

} // namespace Orix::Utility

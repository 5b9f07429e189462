#pragma once
// The interface every codec's depacketizer implements.
#include <netkit/rtp/Frame.h>
#include <netkit/rtp/RtpError.h>
#include <netkit/rtp/RtpPacket.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace Orix::Utility {

struct DepacketizerLimits {
    std::size_t maxFrameBytes = 8 << 20;   // video; audio and metadata depacketizers lower it
    std::size_t maxUnitsPerFrame = 1024;   // NAL units per access unit, AUs per packet
    std::size_t maxFragments = 4096;       // pending fragments of one NAL unit, JPEG frame or AU
    std::size_t maxQueuedFrames = 64;      // frames waiting for pull()
};

struct DepacketizerStats {
    std::uint64_t packets = 0;        // packets pushed
    std::uint64_t framesOut = 0;      // frames made available to pull()
    // Frames discarded as incomplete, malformed or too large, or while
    // waiting for a key frame after such a fault: what the host lost.
    std::uint64_t framesDropped = 0;
    // Frames discarded before the stream's first frame when nothing was
    // lost: a session joined mid-frame or between key frames.
    std::uint64_t framesSkipped = 0;
    std::uint64_t packetsLost = 0;    // as reported through lost()
    std::uint64_t errors = 0;         // push() calls that returned an error
};

// Turns the packets of one RTP stream, in sequence order, into frames.
//
// Packets come from a SequenceTracker: push() each delivered packet, and call
// lost() first when the tracker reports a gap. Completed frames queue up for
// pull(). A push() that returns an error has already dropped whatever the
// packet damaged and counted it; the caller logs and carries on with the next
// packet. Not thread-safe; call from one thread.
class Depacketizer {
public:
    explicit Depacketizer(CodecParameters parameters, DepacketizerLimits limits = {})
        : parameters_(std::move(parameters)), limits_(limits)
    {
    }
    virtual ~Depacketizer() = default;
    Depacketizer(const Depacketizer&) = delete;
    Depacketizer& operator=(const Depacketizer&) = delete;

    // Consumes one packet; may complete zero or more frames.
    boost::system::error_code push(const RtpPacket& packet);
    // `count` packets are missing before the next push.
    void lost(std::uint32_t count);
    // The next completed frame, oldest first.
    std::optional<Frame> pull();
    // Forgets partial frames and queued frames; the next frame starts afresh
    // (video waits for a key frame again).
    void reset();

    const CodecParameters& parameters() const { return parameters_; }
    const DepacketizerStats& stats() const { return stats_; }
    const DepacketizerLimits& limits() const { return limits_; }

protected:
    virtual boost::system::error_code doPush(const RtpPacket& packet) = 0;
    virtual void doLost() = 0;
    virtual void doReset() = 0;

    // Queues a finished frame (drops the oldest with a count when the caller
    // does not pull).
    void emit(Frame frame);
    // A frame discarded as damaged.
    void countDropped() { ++stats_.framesDropped; }
    // A frame skipped while waiting for a key frame, or the partial frame a
    // stream joined mid-frame: lost once the stream has delivered a frame or
    // lost a packet; before that, the remains of joining a running stream.
    void countSkipped()
    {
        if (joining())
            ++stats_.framesSkipped;
        else
            ++stats_.framesDropped;
    }
    bool joining() const { return stats_.framesOut == 0 && stats_.packetsLost == 0; }
    // Set by lost(); the next emitted frame carries the discontinuity flag.
    bool pendingDiscontinuity_ = false;

    CodecParameters parameters_;
    DepacketizerLimits limits_;

private:
    DepacketizerStats stats_;
    std::deque<Frame> ready_;
};

} // namespace Orix::Utility

#pragma once
// The receive path of one RTP track: each packet parsed once, checked
// against the track's payload type and source (SSRC), ordered by a sequence
// tracker (with a reordering window on UDP), depacketised into frames that
// carry host time (from RTCP sender reports when the camera sends them, else
// the arrival time), handed to a sink.
//
// The stream locks to the first SSRC it sees. Packets of another SSRC are
// dropped and counted, unless that SSRC goes on for kSsrcConfirmPackets in a
// row: then the camera restarted its stream, and the filter follows it (the
// held packets replayed, the partial frame of the old source dropped, the
// tracker and the RTCP clock started afresh, a notice logged).
#include <functional>
#include <memory>
#include <netkit/rtp/Depacketizer.h>
#include <netkit/rtp/RtcpPacket.h>
#include <netkit/rtp/RtpTrackSink.h>
#include <netkit/rtp/SequenceTracker.h>
#include <netkit/sdp/SdpSession.h>
#include <netkit/util/Logging.h>

#include <optional>
#include <vector>

namespace Orix::Utility {

class RtpStreamFilter final : public RtpTrackSink {
public:
    using FrameSink = std::function<void(const Frame&)>;

    // reorder: hold up to kReorderWindow packets to put UDP arrivals in order.
    RtpStreamFilter(std::unique_ptr<Depacketizer> depacketizer, bool reorder, LoggerPtr logger,
                    FrameSink sink);

    // Host time of a frame from its RTP timestamp, instead of the sender
    // reports (a recording played back). Set before the first packet.
    using TimestampGenerator = std::function<std::uint64_t(std::uint32_t rtpTimestamp)>;
    void setTimeStampGenerator(TimestampGenerator generator) { generator_ = std::move(generator); }

    void onRtpPacket(const std::uint8_t* data, std::size_t size) override;
    void onRtcpPacket(const std::uint8_t* data, std::size_t size) override;

    struct Statistics {
        std::uint64_t malformedPackets = 0;
        std::uint64_t foreignPackets = 0; // another payload type or SSRC than the track's
        std::uint64_t ssrcChanges = 0;    // the source restarted with a new SSRC
        SequenceStats sequence;           // of the current SSRC
        DepacketizerStats frames;
        // Frames the host did not get because of faults on the way (loss,
        // damage, a wait for the next key frame after them).
        std::uint64_t lostFrames() const { return frames.framesDropped; }
    };
    Statistics statistics() const;

    static constexpr std::size_t kReorderWindow = 32;
    static constexpr std::size_t kSsrcConfirmPackets = 4;

private:
    bool acceptSource(const RtpPacket& packet, ByteSpan bytes);
    void switchSource();
    void sequenced(const RtpPacket& packet, ByteSpan bytes);
    void process(const RtpPacket* packet, std::uint32_t lostBefore);
    void drain();

    std::unique_ptr<Depacketizer> depacketizer_;
    SequenceTracker tracker_;
    bool reorder_;
    LoggerOwner logger_;
    FrameSink sink_;
    TimestampGenerator generator_;
    RtpWallClock clock_;
    std::optional<std::uint8_t> payloadType_;
    std::optional<std::uint32_t> ssrc_;
    std::vector<OwnedRtpPacket> candidate_; // packets of an SSRC that may replace ssrc_
    std::uint64_t malformed_ = 0;
    std::uint64_t foreign_ = 0;
    std::uint64_t ssrcChanges_ = 0;
    bool loggedMalformed_ = false;
};

// The filter for a video track, or null (and an error log line naming the
// track's encoding) when its codec is not one the depacketisers know.
std::shared_ptr<RtpStreamFilter> initializeVideoFilter(const SdpMedia& track, bool reorder,
                                                       LoggerPtr logger,
                                                       RtpStreamFilter::FrameSink sink);

} // namespace Orix::Utility

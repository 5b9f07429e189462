#pragma once
// The receive path of one RTP track: packets from the RTSP client, ordered
// by a sequence tracker (with a reordering window on UDP), depacketised into
// frames that carry host time (from RTCP sender reports when the camera sends
// them, else the arrival time), handed to a sink.
#include <functional>
#include <memory>
#include <netkit/rtp/Depacketizer.h>
#include <netkit/rtp/RtcpPacket.h>
#include <netkit/rtp/SequenceTracker.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/util/Logging.h>

namespace Orix::Utility {

class RtpStreamFilter final : public RtpTrackSink {
public:
    using FrameSink = std::function<void(const Frame&)>;

    // reorder: hold up to kReorderWindow packets to put UDP arrivals in order.
    RtpStreamFilter(std::unique_ptr<Depacketizer> depacketizer, bool reorder, LoggerPtr logger,
                    FrameSink sink);

    void onRtpPacket(const std::uint8_t* data, std::size_t size) override;
    void onRtcpPacket(const std::uint8_t* data, std::size_t size) override;

    struct Statistics {
        std::uint64_t malformedPackets = 0;
        std::uint64_t foreignPackets = 0; // another payload type than the track's
        SequenceStats sequence;
        DepacketizerStats frames;
    };
    Statistics statistics() const;

    static constexpr std::size_t kReorderWindow = 32;

private:
    void process(const std::uint8_t* data, std::size_t size, std::uint32_t lostBefore);
    void drain();

    std::unique_ptr<Depacketizer> depacketizer_;
    SequenceTracker tracker_;
    bool reorder_;
    LoggerOwner logger_;
    FrameSink sink_;
    RtpWallClock clock_;
    std::optional<std::uint8_t> payloadType_;
    std::uint64_t malformed_ = 0;
    std::uint64_t foreign_ = 0;
    bool loggedMalformed_ = false;
};

// The filter for a video track, or null (and a log line) when its codec is
// not one the depacketisers know.
std::shared_ptr<RtpStreamFilter> initializeVideoFilter(const SdpMedia& track, bool reorder,
                                                       LoggerPtr logger,
                                                       RtpStreamFilter::FrameSink sink);

} // namespace Orix::Utility

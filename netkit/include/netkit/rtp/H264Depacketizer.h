#pragma once
// H.264 over RTP (RFC 6184), packetization modes 0 and 1: single NAL unit,
// STAP-A and FU-A packets in, Annex B access units out.
#include <netkit/rtp/Depacketizer.h>

#include <memory>
#include <vector>

namespace Orix::Utility {

class AnnexBAssembler;

// States:
//   waitingForKeyFrame --access unit with an IDR--> streaming
//   streaming --loss, damaged or oversized access unit--> waitingForKeyFrame
// An access unit ends at the marker bit or when the timestamp changes. A
// missing fragment drops the whole access unit. Access units before the first
// IDR (and after a loss, until the next IDR) are skipped, since a decoder cannot
// use them. An IDR without SPS and PPS in band gets the latest known ones
// (from the SDP or earlier in the stream) put in front.
class H264Depacketizer : public Depacketizer {
public:
    enum class State { waitingForKeyFrame, streaming };

    // `parameterSets`: the NAL units of sprop-parameter-sets, in SDP order.
    explicit H264Depacketizer(std::vector<std::vector<std::uint8_t>> parameterSets = {},
                              DepacketizerLimits limits = {});
    ~H264Depacketizer() override;

    State state() const { return state_; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override;
    void doReset() override;

    boost::system::error_code addPayload(ByteSpan payload);
    boost::system::error_code addSingle(ByteSpan nal);
    boost::system::error_code addStapA(ByteSpan payload);
    boost::system::error_code addFuA(ByteSpan payload);
    void noteNal(std::uint8_t type, ByteSpan nal);
    void finishAccessUnit();
    void damage();
    void updateConfig();

    State state_ = State::waitingForKeyFrame;
    std::unique_ptr<AnnexBAssembler> au_;
    bool damaged_ = false;
    bool hasIdr_ = false;
    bool hasSps_ = false;
    bool hasPps_ = false;
    std::vector<std::uint8_t> sps_, pps_;
};

} // namespace Orix::Utility

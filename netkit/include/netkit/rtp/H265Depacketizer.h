#pragma once
// H.265 over RTP (RFC 7798) without DONL: single NAL unit, aggregation (AP,
// type 48) and fragmentation (FU, type 49) packets in, Annex B access units out.
#include <netkit/rtp/Depacketizer.h>

#include <memory>
#include <vector>

namespace Orix::Utility {

class AnnexBAssembler;

// States as H264Depacketizer:
//   waitingForKeyFrame --access unit with an IRAP picture (types 16..23)--> streaming
//   streaming --loss, damaged or oversized access unit--> waitingForKeyFrame
// An IRAP access unit without VPS, SPS and PPS in band gets the latest known
// ones put in front.
class H265Depacketizer : public Depacketizer {
public:
    enum class State { waitingForKeyFrame, streaming };

    H265Depacketizer(std::vector<std::vector<std::uint8_t>> vps,
                     std::vector<std::vector<std::uint8_t>> sps,
                     std::vector<std::vector<std::uint8_t>> pps, DepacketizerLimits limits = {});
    ~H265Depacketizer() override;

    State state() const { return state_; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override;
    void doReset() override;

    boost::system::error_code addPayload(ByteSpan payload);
    boost::system::error_code addAggregation(ByteSpan payload);
    boost::system::error_code addFragment(ByteSpan payload);
    void noteNal(std::uint8_t type, ByteSpan nal);
    void finishAccessUnit();
    void damage();

    State state_ = State::waitingForKeyFrame;
    std::unique_ptr<AnnexBAssembler> au_;
    bool damaged_ = false;
    bool hasIrap_ = false;
    bool hasVps_ = false, hasSps_ = false, hasPps_ = false;
    std::vector<std::uint8_t> vps_, sps_, pps_;
};

} // namespace Orix::Utility

#pragma once
// H.265 over RTP (RFC 7798) without DONL: single NAL unit, aggregation (AP,
// type 48) and fragmentation (FU, type 49) packets in, Annex B access units out.
#include <netkit/rtp/AnnexBDepacketizer.h>

#include <vector>

namespace Orix::Utility {

// States and drops as AnnexBDepacketizer; the key picture is an IRAP picture
// (types 16..23), the parameter sets VPS, SPS and PPS.
class H265Depacketizer : public AnnexBDepacketizer {
public:
    H265Depacketizer(std::vector<std::vector<std::uint8_t>> vps,
                     std::vector<std::vector<std::uint8_t>> sps,
                     std::vector<std::vector<std::uint8_t>> pps, DepacketizerLimits limits = {});
    ~H265Depacketizer() override;

private:
    boost::system::error_code addPayload(ByteSpan payload) override;
    void beginAccessUnit() override { hasVps_ = hasSps_ = hasPps_ = false; }
    std::vector<std::uint8_t> missingParameterSets() const override;

    boost::system::error_code addAggregation(ByteSpan payload);
    boost::system::error_code addFragment(ByteSpan payload);
    void noteNal(std::uint8_t type, ByteSpan nal);

    bool hasVps_ = false, hasSps_ = false, hasPps_ = false;
    std::vector<std::uint8_t> vps_, sps_, pps_;
};

} // namespace Orix::Utility

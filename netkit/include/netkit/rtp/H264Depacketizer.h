#pragma once
// H.264 over RTP (RFC 6184), packetization modes 0 and 1: single NAL unit,
// STAP-A and FU-A packets in, Annex B access units out.
#include <netkit/rtp/AnnexBDepacketizer.h>

#include <vector>

namespace Orix::Utility {

// States and drops as AnnexBDepacketizer; the key picture is an IDR slice
// (type 5), the parameter sets SPS and PPS (from the SDP or the stream).
class H264Depacketizer : public AnnexBDepacketizer {
public:
    // `parameterSets`: the NAL units of sprop-parameter-sets, in SDP order.
    explicit H264Depacketizer(std::vector<std::vector<std::uint8_t>> parameterSets = {},
                              DepacketizerLimits limits = {});
    ~H264Depacketizer() override;

private:
    boost::system::error_code addPayload(ByteSpan payload) override;
    void beginAccessUnit() override { hasSps_ = hasPps_ = false; }
    std::vector<std::uint8_t> missingParameterSets() const override;

    boost::system::error_code addSingle(ByteSpan nal);
    boost::system::error_code addStapA(ByteSpan payload);
    boost::system::error_code addFuA(ByteSpan payload);
    void noteNal(std::uint8_t type, ByteSpan nal);
    void updateConfig();

    bool hasSps_ = false;
    bool hasPps_ = false;
    std::vector<std::uint8_t> sps_, pps_;
};

} // namespace Orix::Utility

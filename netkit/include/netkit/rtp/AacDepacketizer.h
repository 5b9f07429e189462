#pragma once
// AAC over RTP, mpeg4-generic (RFC 3640) in AAC-hbr and AAC-lbr modes: an AU
// header section, then one or more access units, or one fragment of an access
// unit larger than a packet. Raw access units out (no ADTS header).
#include <netkit/rtp/Depacketizer.h>

#include <vector>

namespace Orix::Utility {

struct AacLayout {
    int sizeLength = 13;      // AAC-hbr: 13, 3, 3; AAC-lbr: 6, 2, 2
    int indexLength = 3;
    int indexDeltaLength = 3;
};

// States:
//   idle --packet whose only AU is larger than its data--> fragment
//   fragment --packet completing the AU (marker)--> idle (frame out)
//   fragment --loss, new timestamp, size mismatch--> idle (AU dropped)
// Several complete AUs in one packet become several frames, the n-th with the
// timestamp + n * 1024 (samples per AAC frame).
class AacDepacketizer : public Depacketizer {
public:
    enum class State { idle, fragment };

    AacDepacketizer(AacLayout layout, std::vector<std::uint8_t> config, std::uint32_t clockRate,
                    std::uint32_t channels, DepacketizerLimits limits = {});

    State state() const { return state_; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override;
    void doReset() override;

    void dropFragment();

    AacLayout layout_;
    State state_ = State::idle;
    std::uint32_t timestamp_ = 0;
    std::size_t expectedSize_ = 0;
    std::size_t fragments_ = 0;
    std::vector<std::uint8_t> pending_;
};

} // namespace Orix::Utility

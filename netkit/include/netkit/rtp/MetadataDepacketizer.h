#pragma once
// The ONVIF/Axis metadata track (vnd.onvif.metadata): XML documents split over
// packets, each ending at the marker bit.
#include <netkit/rtp/Depacketizer.h>

#include <vector>

namespace Orix::Utility {

// States:
//   idle --packet--> collecting --marker--> idle (document out)
//   collecting --loss, new timestamp or bound exceeded--> idle (document dropped)
//   discarding --marker--> idle
// After a loss, packets up to the next marker belong to a broken document and
// are dropped with it. A new timestamp without a marker drops the unfinished
// document.
class MetadataDepacketizer : public Depacketizer {
public:
    enum class State { idle, collecting, discarding };

    explicit MetadataDepacketizer(DepacketizerLimits limits = defaultLimits());

    static DepacketizerLimits defaultLimits();
    State state() const { return state_; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override;
    void doReset() override;

    State state_ = State::idle;
    std::uint32_t timestamp_ = 0;
    std::size_t fragments_ = 0;
    std::vector<std::uint8_t> data_;
};

} // namespace Orix::Utility

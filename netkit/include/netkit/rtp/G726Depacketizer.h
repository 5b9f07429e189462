#pragma once
// G.726 over RTP at 16, 24, 32 or 40 kbit/s (RFC 3551 section 4.5.4): every
// payload a frame of packed code words.
#include <netkit/rtp/Depacketizer.h>

namespace Orix::Utility {

// "G726-32" packs code words from the least significant bit up (RFC 3551);
// "AAL2-G726-32" from the most significant bit down (ITU-T I.366.2). The frame
// keeps the wire packing; `packing()` tells the decoder which one it is.
class G726Depacketizer : public Depacketizer {
public:
    enum class Packing { rtp, aal2 };

    G726Depacketizer(std::uint32_t bitrate, Packing packing, std::uint32_t clockRate = 8000,
                     DepacketizerLimits limits = {});

    Packing packing() const { return packing_; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override {}
    void doReset() override {}

    Packing packing_;
};

} // namespace Orix::Utility

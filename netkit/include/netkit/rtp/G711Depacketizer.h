#pragma once
// G.711 mu-law (PCMU) and A-law (PCMA) over RTP (RFC 3551 section 4.5.14):
// one byte per sample, every payload a frame.
#include <netkit/rtp/Depacketizer.h>

namespace Orix::Utility {

// Stateless apart from the queue: each packet's payload is one frame.
class G711Depacketizer : public Depacketizer {
public:
    // `codec` is Codec::pcmu or Codec::pcma.
    G711Depacketizer(Codec codec, std::uint32_t clockRate = 8000, std::uint32_t channels = 1,
                     DepacketizerLimits limits = {});

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override {}
    void doReset() override {}
};

} // namespace Orix::Utility

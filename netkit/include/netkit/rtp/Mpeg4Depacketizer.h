#pragma once
// MPEG-4 Visual (ISO/IEC 14496-2) over RTP (RFC 3016, MP4V-ES): VOPs reassembled up to
// the marker bit; the configuration (VOS/VOL headers) from the SDP goes in
// front of the first I-VOP when the stream does not carry it itself.
#include <netkit/rtp/Depacketizer.h>

#include <vector>

namespace Orix::Utility {

// States:
//   waitingForKeyFrame --frame with an I-VOP--> streaming
//   streaming --loss or oversized frame--> waitingForKeyFrame
class Mpeg4Depacketizer : public Depacketizer {
public:
    enum class State { waitingForKeyFrame, streaming };

    explicit Mpeg4Depacketizer(std::vector<std::uint8_t> config = {}, DepacketizerLimits limits = {});

    State state() const { return state_; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override;
    void doReset() override;

    void finishFrame();

    State state_ = State::waitingForKeyFrame;
    bool open_ = false;
    bool damaged_ = false;
    bool configSent_ = false;
    std::uint32_t timestamp_ = 0;
    std::size_t fragments_ = 0;
    std::vector<std::uint8_t> data_;
};

} // namespace Orix::Utility

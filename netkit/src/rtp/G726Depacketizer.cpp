#include <netkit/rtp/G726Depacketizer.h>

namespace Orix::Utility {

G726Depacketizer::G726Depacketizer(std::uint32_t bitrate, Packing packing, std::uint32_t clockRate,
                                   DepacketizerLimits limits)
    : Depacketizer(CodecParameters{Codec::g726, clockRate, 1, bitrate, 0, 0, {}}, limits),
      packing_(packing)
{
}

boost::system::error_code G726Depacketizer::doPush(const RtpPacket& packet)
{
    if (packet.payload.empty())
        return RtpError::malformedPayload;
    if (packet.payload.size > limits_.maxFrameBytes) {
        countDropped();
        return RtpError::frameTooLarge;
    }
    Frame frame;
    frame.codec = Codec::g726;
    frame.keyFrame = true;
    frame.rtpTimestamp = packet.timestamp;
    frame.data.assign(packet.payload.begin(), packet.payload.end());
    emit(std::move(frame));
    return {};
}

} // namespace Orix::Utility

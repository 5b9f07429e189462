#include <netkit/rtp/G711Depacketizer.h>

namespace Orix::Utility {

G711Depacketizer::G711Depacketizer(Codec codec, std::uint32_t clockRate, std::uint32_t channels,
                                   DepacketizerLimits limits)
    : Depacketizer(CodecParameters{codec, clockRate, channels ? channels : 1, 64000 * (channels ? channels : 1), 0, 0, {}},
                   limits)
{
}

boost::system::error_code G711Depacketizer::doPush(const RtpPacket& packet)
{
    if (packet.payload.empty())
        return RtpError::malformedPayload;
    if (packet.payload.size > limits_.maxFrameBytes) {
        countDropped();
        return RtpError::frameTooLarge;
    }
    Frame frame;
    frame.codec = parameters_.codec;
    frame.keyFrame = true;
    frame.rtpTimestamp = packet.timestamp;
    frame.data.assign(packet.payload.begin(), packet.payload.end());
    emit(std::move(frame));
    return {};
}

} // namespace Orix::Utility

#pragma once
// Where the RTSP client hands one track's packets.
#include <cstddef>
#include <cstdint>

namespace Orix::Utility {

// Receives one track's RTP and RTCP packets, on the client's io_context, in
// arrival order. The bytes are only valid during the call.
class RtpTrackSink {
public:
    virtual ~RtpTrackSink() = default;
    virtual void onRtpPacket(const std::uint8_t* data, std::size_t size) = 0;
    virtual void onRtcpPacket(const std::uint8_t* data, std::size_t size) = 0;
};

} // namespace Orix::Utility

#pragma once
// One RTP packet (RFC 3550 section 5.1), parsed without copying.
#include <netkit/rtp/ByteReader.h>

#include <boost/system/error_code.hpp>

#include <cstdint>
#include <vector>

namespace Orix::Utility {

// The fixed header fields and views into the caller's buffer. A packet is only
// valid as long as the buffer it was parsed from.
struct RtpPacket {
    bool marker = false;
    std::uint8_t payloadType = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::uint8_t csrcCount = 0;
    bool hasExtension = false;
    std::uint16_t extensionProfile = 0; // "defined by profile" field of the header extension
    ByteSpan extension;                 // header extension data, without its 4-byte header
    ByteSpan payload;                   // without padding

    // Parses one packet. Errors: RtpError::truncatedPacket (shorter than the
    // header, CSRC list or extension), badVersion, badPadding. On error `out`
    // is unspecified.
    static boost::system::error_code parse(ByteSpan bytes, RtpPacket& out);
};

// A parsed packet that owns its bytes, for packets held back (reordering).
// The views point into `bytes`' heap buffer, which moving keeps in place.
// An empty one stands for a packet that only occupied its sequence number.
struct OwnedRtpPacket {
    std::vector<std::uint8_t> bytes;
    RtpPacket view;

    OwnedRtpPacket() = default;
    // Copies the bytes `parsed` was parsed from and points the views there.
    OwnedRtpPacket(const RtpPacket& parsed, ByteSpan from);
    OwnedRtpPacket(OwnedRtpPacket&&) = default;
    OwnedRtpPacket& operator=(OwnedRtpPacket&&) = default;
    OwnedRtpPacket(const OwnedRtpPacket&) = delete;
    OwnedRtpPacket& operator=(const OwnedRtpPacket&) = delete;

    bool empty() const { return bytes.empty(); }
};

} // namespace Orix::Utility

#include <netkit/rtp/RtpError.h>
#include <netkit/rtp/RtpPacket.h>

namespace Orix::Utility {

boost::system::error_code RtpPacket::parse(ByteSpan bytes, RtpPacket& out)
{
    ByteReader reader(bytes);
    std::uint8_t first = 0, second = 0;
    if (!reader.u8(first) || !reader.u8(second) || !reader.u16(out.sequence) ||
        !reader.u32(out.timestamp) || !reader.u32(out.ssrc))
        return RtpError::truncatedPacket;
    if (first >> 6 != 2)
        return RtpError::badVersion;
    const bool padding = first & 0x20;
    out.hasExtension = first & 0x10;
    out.csrcCount = first & 0x0f;
    out.marker = second & 0x80;
    out.payloadType = second & 0x7f;
    if (!reader.skip(4u * out.csrcCount))
        return RtpError::truncatedPacket;
    out.extensionProfile = 0;
    out.extension = {};
    if (out.hasExtension) {
        // RFC 3550 section 5.3.1: profile-defined 16 bits, length in 32-bit words.
        std::uint16_t words = 0;
        if (!reader.u16(out.extensionProfile) || !reader.u16(words) ||
            !reader.bytes(4u * words, out.extension))
            return RtpError::truncatedPacket;
    }
    ByteSpan payload = reader.rest();
    if (padding) {
        // The last octet counts the padding octets, itself included.
        if (payload.empty())
            return RtpError::badPadding;
        const std::uint8_t count = payload[payload.size - 1];
        if (count == 0 || count > payload.size)
            return RtpError::badPadding;
        payload.size -= count;
    }
    out.payload = payload;
    return {};
}

OwnedRtpPacket::OwnedRtpPacket(const RtpPacket& parsed, ByteSpan from)
    : bytes(from.begin(), from.end()), view(parsed)
{
    const auto rebase = [&](ByteSpan span) {
        return span.data ? ByteSpan(bytes.data() + (span.data - from.data), span.size) : span;
    };
    view.extension = rebase(parsed.extension);
    view.payload = rebase(parsed.payload);
}

} // namespace Orix::Utility

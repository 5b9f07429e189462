#include "MediaRtp.h"

namespace Camsim {

namespace {

void put8(std::string& s, unsigned v) { s += static_cast<char>(v & 0xff); }

void put16(std::string& s, unsigned v)
{
    put8(s, v >> 8);
    put8(s, v);
}

void put32(std::string& s, std::uint32_t v)
{
    put16(s, v >> 16);
    put16(s, v & 0xffff);
}

} // namespace

std::string rtpPacket(std::uint8_t payloadType, bool marker, std::uint16_t sequence, std::uint32_t timestamp,
                      std::uint32_t ssrc, const std::string& payload)
{
    std::string p;
    p.reserve(12 + payload.size());
    put8(p, 0x80);
    put8(p, (marker ? 0x80 : 0) | (payloadType & 0x7f));
    put16(p, sequence);
    put32(p, timestamp);
    put32(p, ssrc);
    p += payload;
    return p;
}

std::string rtcpSenderReport(std::uint32_t ssrc, std::uint64_t ntp, std::uint32_t rtpTimestamp,
                             std::uint32_t packets, std::uint32_t octets, const std::string& cname)
{
    std::string p;
    put8(p, 0x80); // V=2, P=0, RC=0
    put8(p, 200);
    put16(p, 6); // 28 bytes in 32-bit words minus one
    put32(p, ssrc);
    put32(p, static_cast<std::uint32_t>(ntp >> 32));
    put32(p, static_cast<std::uint32_t>(ntp & 0xffffffffu));
    put32(p, rtpTimestamp);
    put32(p, packets);
    put32(p, octets);

    const std::string name = cname.substr(0, 255);
    // SSRC, CNAME item (type, length, text), END, padded to 32 bits.
    std::size_t itemBytes = 4 + 2 + name.size() + 1;
    const std::size_t padded = (itemBytes + 3) / 4 * 4;
    put8(p, 0x81); // V=2, SC=1
    put8(p, 202);
    put16(p, static_cast<unsigned>(padded / 4));
    put32(p, ssrc);
    put8(p, 1);
    put8(p, static_cast<unsigned>(name.size()));
    p += name;
    for (; itemBytes <= padded; ++itemBytes)
        put8(p, 0);
    return p;
}

std::uint64_t ntpFromUnixMicros(std::int64_t micros)
{
    constexpr std::uint64_t kUnixToNtp = 2208988800ull;
    const std::uint64_t seconds = static_cast<std::uint64_t>(micros / 1000000) + kUnixToNtp;
    const std::uint64_t fraction = (static_cast<std::uint64_t>(micros % 1000000) << 32) / 1000000;
    return (seconds << 32) | fraction;
}

std::string interleavedFrame(std::uint8_t channel, const std::string& data)
{
    std::string f;
    f.reserve(4 + data.size());
    put8(f, '$');
    put8(f, channel);
    put16(f, static_cast<unsigned>(data.size()));
    f += data;
    return f;
}

std::string rtcpBye(std::uint32_t ssrc)
{
    std::string out;
    auto u32 = [&out](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((v >> shift) & 0xff);
    };
    out += static_cast<char>(0x80); // RR, no report blocks (RFC 3550 section 6.4.2)
    out += static_cast<char>(201);
    out += '\0';
    out += static_cast<char>(1);
    u32(ssrc);
    out += static_cast<char>(0x81); // BYE, one source (section 6.6)
    out += static_cast<char>(203);
    out += '\0';
    out += static_cast<char>(1);
    u32(ssrc);
    return out;
}

} // namespace Camsim

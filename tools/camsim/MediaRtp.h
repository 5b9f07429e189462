#pragma once
// RTP packets and RTCP sender reports as camsim sends them (RFC 3550
// sections 5.1, 6.4.1 and 6.5): plain byte strings, no sockets.
#include <cstdint>
#include <string>

namespace Camsim {

// 12-byte header (version 2, no padding, extension or CSRC) + payload.
std::string rtpPacket(std::uint8_t payloadType, bool marker, std::uint16_t sequence, std::uint32_t timestamp,
                      std::uint32_t ssrc, const std::string& payload);

// A compound RTCP packet: SR without report blocks, then SDES with CNAME.
// ntp is the 64-bit NTP time stamp (seconds since 1900 in the high word).
std::string rtcpSenderReport(std::uint32_t ssrc, std::uint64_t ntp, std::uint32_t rtpTimestamp,
                             std::uint32_t packets, std::uint32_t octets, const std::string& cname);

// A compound RTCP packet that ends the stream: an empty receiver report
// (every compound packet begins with a report) and a BYE for ssrc.
std::string rtcpBye(std::uint32_t ssrc);

// NTP time stamp of a wall-clock time given as microseconds since 1970.
std::uint64_t ntpFromUnixMicros(std::int64_t micros);

// "$", channel, 16-bit length, data (RFC 2326 section 10.12). The data must
// be at most 65535 bytes.
std::string interleavedFrame(std::uint8_t channel, const std::string& data);

} // namespace Camsim

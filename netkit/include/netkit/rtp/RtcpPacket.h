#pragma once
// RTCP sender reports in, receiver reports out (RFC 3550 sections 6.4.1, 6.4.2, 6.5).
#include <netkit/rtp/ByteReader.h>

#include <boost/system/error_code.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Orix::Utility {

// The sender-info part of an SR: the sender's wall clock (NTP, seconds since
// 1900 in 32.32 fixed point) at the moment its RTP clock read rtpTimestamp.
struct SenderReport {
    std::uint32_t ssrc = 0;
    std::uint64_t ntpTimestamp = 0;
    std::uint32_t rtpTimestamp = 0;
    std::uint32_t packetCount = 0;
    std::uint32_t octetCount = 0;

    // The middle 32 bits of the NTP timestamp, as echoed in a report block's LSR.
    std::uint32_t compactNtp() const { return static_cast<std::uint32_t>(ntpTimestamp >> 16); }
};

// Finds the sender report in a compound RTCP packet. Errors: RtpError::truncatedPacket
// (a length field past the end), badVersion, notSenderReport (well-formed, no SR).
boost::system::error_code parseSenderReport(ByteSpan compound, SenderReport& out);

// One reception report block (RFC 3550 section 6.4.1).
struct ReportBlock {
    std::uint32_t sourceSsrc = 0;
    std::uint8_t fractionLost = 0;
    std::int32_t cumulativeLost = 0;      // clamped to the signed 24-bit range
    std::uint32_t extendedHighestSequence = 0;
    std::uint32_t jitter = 0;
    std::uint32_t lastSenderReport = 0;   // SenderReport::compactNtp() of the last SR, 0 if none
    std::uint32_t delaySinceLastReport = 0; // in 1/65536 s
};

// A compound packet of one receiver report (with zero or one block) followed by
// an SDES chunk carrying the CNAME, as RFC 3550 section 6.1 requires. The CNAME
// is cut at 255 bytes.
std::vector<std::uint8_t> buildReceiverReport(std::uint32_t receiverSsrc,
                                              const std::optional<ReportBlock>& block,
                                              const std::string& cname);

// Maps RTP timestamps of one source onto the sender's wall clock, anchored at the
// latest sender report.
class RtpWallClock {
public:
    explicit RtpWallClock(std::uint32_t clockRate) : clockRate_(clockRate) {}

    void update(const SenderReport& report) { anchor_ = report; }
    bool synchronised() const { return anchor_.has_value() && clockRate_ != 0; }

    // Microseconds since 1970-01-01 UTC for an RTP timestamp within about half
    // the 32-bit range of the anchor (the difference is taken wrap-aware);
    // nothing before the first sender report.
    std::optional<std::int64_t> unixMicros(std::uint32_t rtpTimestamp) const;

private:
    std::uint32_t clockRate_;
    std::optional<SenderReport> anchor_;
};

// Seconds between 1900-01-01 (NTP era 0) and 1970-01-01.
constexpr std::uint64_t kNtpUnixOffsetSeconds = 2208988800u;

} // namespace Orix::Utility

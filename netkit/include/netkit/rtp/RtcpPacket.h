#pragma once
// RTCP (RFC 3550 section 6): what a compound packet says (sender report,
// BYE), receiver reports out, and the reception statistics they carry.
#include <netkit/rtp/ByteReader.h>
#include <netkit/rtp/SequenceTracker.h>

#include <boost/system/error_code.hpp>

#include <chrono>
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

// What a compound RTCP packet said that a receiver acts on. The walk stops at
// the first malformed part: what follows it is not trusted.
struct RtcpSummary {
    bool valid = false;            // at least one well-formed RTCP header
    bool bye = false;              // a BYE (PT 203) was present
    bool senderReport = false;     // an SR (PT 200) was present
    std::uint32_t srSsrc = 0;
    std::uint32_t srNtpMiddle = 0; // SenderReport::compactNtp() of that SR
};
RtcpSummary summarizeRtcp(ByteSpan compound);

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

// Reception statistics of one media source for receiver reports (RFC 3550
// appendix A.3), its sequence numbers counted by a SequenceTracker; a new
// SSRC starts them afresh.
class ReceptionStats {
public:
    // The RTP packet's fixed header is read; anything shorter is ignored.
    void onRtp(ByteSpan packet);
    void onSenderReport(std::uint32_t ntpMiddle, std::chrono::steady_clock::time_point arrival);

    // One RR with one report block (none before the first packet) and an
    // SDES with the CNAME.
    std::vector<std::uint8_t> receiverReport(std::uint32_t ourSsrc, const std::string& cname,
                                             std::chrono::steady_clock::time_point now);

private:
    std::optional<std::uint32_t> ssrc_;
    SequenceTracker sequence_;
    std::uint32_t lastSr_ = 0;
    std::chrono::steady_clock::time_point lastSrArrival_{};
};

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

#pragma once
// The little RTCP the RTSP client speaks itself (RFC 3550 §6): it notices a
// BYE and a sender report's time, and builds receiver reports for UDP
// sessions so the server sees a live receiver and can measure loss and
// round-trip time.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Orix::Utility::rtsp {

// What a compound RTCP packet said that the client cares about.
struct RtcpSummary {
    bool valid = false;          // at least one well-formed RTCP header
    bool bye = false;            // a BYE (PT 203) was present
    bool senderReport = false;   // an SR (PT 200) was present
    std::uint32_t srSsrc = 0;
    std::uint32_t srNtpMiddle = 0; // middle 32 bits of the SR's NTP time
};
RtcpSummary inspectRtcp(const std::uint8_t* data, std::size_t size);

// Reception statistics of one media source, per RFC 3550 Appendix A.1/A.3.
class ReceptionStats {
public:
    void onRtp(const std::uint8_t* data, std::size_t size);
    void onSenderReport(std::uint32_t ntpMiddle, std::chrono::steady_clock::time_point arrival);

    bool hasSource() const { return haveSource_; }

    // One RR with one report block (or none before the first packet) and an
    // SDES with our CNAME, ready to send.
    std::string receiverReport(std::uint32_t ourSsrc, const std::string& cname,
                               std::chrono::steady_clock::time_point now);

private:
    bool haveSource_ = false;
    std::uint32_t ssrc_ = 0;
    std::uint16_t maxSeq_ = 0;
    std::uint32_t cycles_ = 0;
    std::uint32_t baseSeq_ = 0;
    std::uint64_t received_ = 0;
    std::uint64_t expectedPrior_ = 0;
    std::uint64_t receivedPrior_ = 0;
    std::uint32_t lastSr_ = 0;
    std::chrono::steady_clock::time_point lastSrArrival_{};
};

} // namespace Orix::Utility::rtsp

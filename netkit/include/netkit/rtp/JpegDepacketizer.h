#pragma once
// Motion JPEG over RTP (RFC 2435): rebuilds a complete baseline JPEG (SOI,
// DQT, SOF0, DHT, DRI, SOS, scan, EOI) from the payload headers and scan data.
#include <netkit/rtp/Depacketizer.h>

#include <array>
#include <cstdint>
#include <vector>

namespace Orix::Utility {

// States:
//   idle --fragment offset 0--> collecting --marker--> idle (frame out)
//   collecting --offset gap, loss, bound exceeded, bad header--> discarding (frame dropped)
//   idle --fragment offset > 0--> discarding
//   discarding --marker--> idle;  any --offset 0--> collecting
// A frame without its marker is dropped when the next frame starts.
// Types 0/1 (4:2:2 / 4:2:0) and 64/65 (the same with restart markers) are
// understood. Q 1..99 scales the RFC's example tables; Q 128..255 carries the
// tables in the first packet of a frame (for Q < 255 a frame may leave them out
// and reuse the last ones sent with that Q).
class JpegDepacketizer : public Depacketizer {
public:
    enum class State { idle, collecting, discarding };

    explicit JpegDepacketizer(DepacketizerLimits limits = {});

    State state() const { return state_; }

    // The quantization tables RFC 2435 appendix A derives from Q (1..99), in
    // zigzag order as written into a DQT segment.
    static void tablesForQuality(int q, std::uint8_t luma[64], std::uint8_t chroma[64]);

private:
    boost::system::error_code doPush(const RtpPacket& packet) override;
    void doLost() override;
    void doReset() override;

    boost::system::error_code startFrame(const RtpPacket& packet, ByteReader& reader);
    boost::system::error_code append(ByteSpan data);
    void finishFrame();
    boost::system::error_code drop(RtpError error);
    std::vector<std::uint8_t> buildHeaders() const;

    struct Header {
        std::uint8_t type = 0;
        std::uint8_t q = 0;
        std::uint32_t width = 0, height = 0;
        std::uint16_t restartInterval = 0;
        std::vector<std::uint8_t> tables; // 64 or 128 bytes per table, precision bits below
        std::uint8_t precision = 0;
    };

    State state_ = State::idle;
    std::uint32_t timestamp_ = 0;
    Header header_;
    std::vector<std::uint8_t> scan_; // rebuilt headers, then the scan data
    std::size_t scanStart_ = 0;
    std::size_t lastScanBytes_ = 0;
    std::size_t fragments_ = 0;
    // In-band tables by Q (128..254) for frames that leave them out.
    std::array<std::vector<std::uint8_t>, 128> cachedTables_;
    std::array<std::uint8_t, 128> cachedPrecision_{};
};

} // namespace Orix::Utility

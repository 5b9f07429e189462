#pragma once
// AAC configuration and ADTS framing (ISO/IEC 14496-3 sections 1.6.2.1 and
// 1.A.2): the AudioSpecificConfig an SDP carries, the 7-byte ADTS header,
// and a bounded reader that cuts an ADTS byte stream (an HTTP audio body)
// into raw access units. No sockets, no logging.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace Orix::Utility {

struct AacConfig {
    int objectType = 2;          // 2: AAC LC
    int frequencyIndex = 11;     // 11: 8000 Hz
    int channels = 1;
    std::uint32_t sampleRate() const;
};

// The sampling frequency of an index (0..12), 0 for any other.
std::uint32_t aacSampleRate(int frequencyIndex);
// The index of a sampling frequency; nullopt when it has none.
std::optional<int> aacFrequencyIndex(std::uint32_t sampleRate);

// The first two octets of an AudioSpecificConfig; nullopt when too short or
// when it names an explicit (escaped) frequency or object type.
std::optional<AacConfig> parseAudioSpecificConfig(const std::uint8_t* data, std::size_t size);
std::array<std::uint8_t, 2> audioSpecificConfig(const AacConfig& config);

constexpr std::size_t kAdtsHeaderBytes = 7;
constexpr std::size_t kMaxAdtsFrameBytes = 8191; // 13-bit frame_length

// The header of an access unit of auSize bytes (no CRC, one raw data
// block); nullopt when the frame would exceed kMaxAdtsFrameBytes.
std::optional<std::array<std::uint8_t, kAdtsHeaderBytes>> adtsHeader(const AacConfig& config, std::size_t auSize);

struct AdtsFrame {
    AacConfig config;
    std::vector<std::uint8_t> accessUnit; // raw, header and CRC removed
};

// Feed bytes in any pieces; whole frames come out in order. Bytes that do
// not start a valid header are skipped up to the next sync word and counted;
// at most kMaxAdtsFrameBytes are held, and at most kMaxQueuedFrames frames
// wait for pull() (the oldest is dropped and counted beyond that).
class AdtsReader {
public:
    static constexpr std::size_t kMaxQueuedFrames = 64;

    void push(const std::uint8_t* data, std::size_t size);
    std::optional<AdtsFrame> pull();

    std::uint64_t skippedBytes() const { return skipped_; }
    std::uint64_t droppedFrames() const { return dropped_; }

private:
    void parse();

    std::vector<std::uint8_t> buffer_;
    std::deque<AdtsFrame> ready_;
    std::uint64_t skipped_ = 0;
    std::uint64_t dropped_ = 0;
};

} // namespace Orix::Utility

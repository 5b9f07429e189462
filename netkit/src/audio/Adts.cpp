#include <netkit/audio/Adts.h>

#include <algorithm>

namespace Orix::Utility {

namespace {

constexpr std::array<std::uint32_t, 13> kSampleRates{96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                     22050, 16000, 12000, 11025, 8000,  7350};

struct AdtsHeader {
    AacConfig config;
    std::size_t frameLength = 0;
    std::size_t headerLength = 0;
};

// A header at data (at least kAdtsHeaderBytes), or nullopt when the bytes
// cannot be one: sync word, layer 0, a known frequency, a length that holds
// the header, a single raw data block.
std::optional<AdtsHeader> readHeader(const std::uint8_t* p)
{
    if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0)
        return std::nullopt;
    const bool crc = (p[1] & 0x01) == 0;
    AdtsHeader h;
    h.config.objectType = ((p[2] >> 6) & 0x03) + 1;
    h.config.frequencyIndex = (p[2] >> 2) & 0x0F;
    h.config.channels = ((p[2] & 0x01) << 2) | ((p[3] >> 6) & 0x03);
    h.frameLength = (std::size_t(p[3] & 0x03) << 11) | (std::size_t(p[4]) << 3) | (p[5] >> 5);
    h.headerLength = crc ? 9 : kAdtsHeaderBytes;
    if (aacSampleRate(h.config.frequencyIndex) == 0 || h.frameLength <= h.headerLength || (p[6] & 0x03) != 0)
        return std::nullopt;
    return h;
}

} // namespace

std::uint32_t aacSampleRate(int frequencyIndex)
{
    if (frequencyIndex < 0 || frequencyIndex >= static_cast<int>(kSampleRates.size()))
        return 0;
    return kSampleRates[static_cast<std::size_t>(frequencyIndex)];
}

std::optional<int> aacFrequencyIndex(std::uint32_t sampleRate)
{
    const auto it = std::find(kSampleRates.begin(), kSampleRates.end(), sampleRate);
    if (it == kSampleRates.end())
        return std::nullopt;
    return static_cast<int>(it - kSampleRates.begin());
}

std::uint32_t AacConfig::sampleRate() const
{
    return aacSampleRate(frequencyIndex);
}

std::optional<AacConfig> parseAudioSpecificConfig(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return std::nullopt;
    AacConfig config;
    config.objectType = data[0] >> 3;
    config.frequencyIndex = ((data[0] & 0x07) << 1) | (data[1] >> 7);
    config.channels = (data[1] >> 3) & 0x0F;
    if (config.objectType == 0 || config.objectType == 31 || aacSampleRate(config.frequencyIndex) == 0)
        return std::nullopt;
    return config;
}

std::array<std::uint8_t, 2> audioSpecificConfig(const AacConfig& config)
{
    return {static_cast<std::uint8_t>((config.objectType << 3) | ((config.frequencyIndex >> 1) & 0x07)),
            static_cast<std::uint8_t>(((config.frequencyIndex & 0x01) << 7) | ((config.channels & 0x0F) << 3))};
}

std::optional<std::array<std::uint8_t, kAdtsHeaderBytes>> adtsHeader(const AacConfig& config, std::size_t auSize)
{
    const std::size_t length = auSize + kAdtsHeaderBytes;
    if (length > kMaxAdtsFrameBytes || config.objectType < 1 || config.objectType > 4)
        return std::nullopt;
    const int profile = config.objectType - 1;
    std::array<std::uint8_t, kAdtsHeaderBytes> h{};
    h[0] = 0xFF;
    h[1] = 0xF1; // MPEG-4, layer 0, no CRC
    h[2] = static_cast<std::uint8_t>((profile << 6) | ((config.frequencyIndex & 0x0F) << 2) |
                                     ((config.channels >> 2) & 0x01));
    h[3] = static_cast<std::uint8_t>(((config.channels & 0x03) << 6) | ((length >> 11) & 0x03));
    h[4] = static_cast<std::uint8_t>((length >> 3) & 0xFF);
    h[5] = static_cast<std::uint8_t>(((length & 0x07) << 5) | 0x1F); // buffer fullness 0x7FF: variable rate
    h[6] = 0xFC;
    return h;
}

void AdtsReader::push(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const std::size_t room = kMaxAdtsFrameBytes - buffer_.size();
        const std::size_t take = std::min(room, size);
        buffer_.insert(buffer_.end(), data, data + take);
        data += take;
        size -= take;
        parse();
    }
}

void AdtsReader::parse()
{
    std::size_t at = 0;
    while (buffer_.size() - at >= kAdtsHeaderBytes) {
        const auto header = readHeader(buffer_.data() + at);
        if (!header) {
            ++at;
            ++skipped_;
            continue;
        }
        if (buffer_.size() - at < header->frameLength)
            break;
        AdtsFrame frame;
        frame.config = header->config;
        frame.accessUnit.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(at + header->headerLength),
                                buffer_.begin() + static_cast<std::ptrdiff_t>(at + header->frameLength));
        if (ready_.size() >= kMaxQueuedFrames) {
            ready_.pop_front();
            ++dropped_;
        }
        ready_.push_back(std::move(frame));
        at += header->frameLength;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
}

std::optional<AdtsFrame> AdtsReader::pull()
{
    if (ready_.empty())
        return std::nullopt;
    AdtsFrame frame = std::move(ready_.front());
    ready_.pop_front();
    return frame;
}

} // namespace Orix::Utility

#include "AudioClip.h"

#include "ParamTree.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace Camsim {

namespace {

constexpr unsigned kChunkMillis = 20;
constexpr std::size_t kMaxAudioFileBytes = 4 * 1024 * 1024;
constexpr unsigned kAacSamplesPerFrame = 1024;
constexpr unsigned kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};

std::string value(const ParamTree& tree, const std::string& path)
{
    const Param* p = tree.findParam(path);
    return p ? p->value : std::string();
}

unsigned number(const std::string& text, unsigned fallback)
{
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    return static_cast<unsigned>(std::stoul(text));
}

std::optional<std::string> readFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "no audio clip " + path + " (made by data/media/make_clips.sh)";
        return std::nullopt;
    }
    std::ostringstream out;
    out << in.rdbuf();
    std::string bytes = out.str();
    if (bytes.empty() || bytes.size() > kMaxAudioFileBytes) {
        error = "audio clip " + path + " is empty or too large";
        return std::nullopt;
    }
    return bytes;
}

} // namespace

std::optional<AudioSetting> audioSetting(const ParamTree& tree, unsigned input)
{
    const std::string base = "AudioSource.A" + std::to_string(input) + ".";
    if (!tree.findParam(base + "AudioEncoding"))
        return std::nullopt;
    const std::string encoding = value(tree, base + "AudioEncoding");
    AudioSetting s;
    s.sampleRate = number(value(tree, base + "SampleRate"), 8000);
    s.bitrate = number(value(tree, base + "BitRate"), 0);
    if (encoding == "g711") {
        s.codec = AudioCodec::Mulaw;
        s.sampleRate = 8000;
        s.bitrate = 64000;
    } else if (encoding == "g726") {
        s.codec = AudioCodec::G726;
        s.sampleRate = 8000;
        s.bitrate = s.bitrate == 32000 ? 32000 : 24000;
    } else if (encoding == "aac") {
        s.codec = AudioCodec::Aac;
        if (s.bitrate == 0)
            s.bitrate = 32000;
    } else {
        return std::nullopt;
    }
    return s;
}

bool audioEnabled(const ParamTree& tree, unsigned input)
{
    return value(tree, "Audio.A" + std::to_string(input) + ".Enabled") == "yes";
}

std::string audioContentType(const AudioStream& stream)
{
    switch (stream.codec) {
    case AudioCodec::Mulaw:
        return "audio/basic";
    case AudioCodec::G726:
        return stream.bitrate == 32000 ? "audio/G726-32" : "audio/G726-24";
    case AudioCodec::Aac:
        return "audio/mpeg4-generic";
    }
    return "application/octet-stream";
}

std::vector<std::string> splitAdts(const std::string& bytes, std::string& config, unsigned& sampleRate)
{
    std::vector<std::string> units;
    std::size_t at = 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    while (at + 7 <= bytes.size()) {
        if (byte(at) != 0xFF || (byte(at + 1) & 0xF6) != 0xF0)
            break;
        const std::size_t header = (byte(at + 1) & 0x01) ? 7 : 9;
        const std::size_t length = (std::size_t(byte(at + 3) & 0x03) << 11) | (std::size_t(byte(at + 4)) << 3) |
                                   (byte(at + 5) >> 5);
        if (length <= header || at + length > bytes.size())
            break;
        if (units.empty()) {
            const unsigned objectType = ((byte(at + 2) >> 6) & 0x03) + 1;
            const unsigned index = (byte(at + 2) >> 2) & 0x0F;
            const unsigned channels = ((byte(at + 2) & 0x01) << 2) | (byte(at + 3) >> 6);
            if (index >= sizeof kAacRates / sizeof kAacRates[0])
                break;
            sampleRate = kAacRates[index];
            config.assign({static_cast<char>((objectType << 3) | (index >> 1)),
                           static_cast<char>(((index & 1) << 7) | (channels << 3))});
        }
        units.push_back(bytes.substr(at + header, length - header));
        at += length;
    }
    return units;
}

std::string nextAudioChunk(const AudioStream& stream, std::size_t& position)
{
    if (stream.codec == AudioCodec::Aac) {
        if (stream.accessUnits.empty())
            return {};
        position %= stream.accessUnits.size();
        return stream.accessUnits[position++];
    }
    if (stream.bytes.empty())
        return {};
    const std::size_t size = stream.bitrate / 8 * kChunkMillis / 1000;
    std::string chunk;
    chunk.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        chunk += stream.bytes[(position + i) % stream.bytes.size()];
    position = (position + size) % stream.bytes.size();
    return chunk;
}

std::chrono::nanoseconds audioChunkDuration(const AudioStream& stream)
{
    if (stream.codec == AudioCodec::Aac)
        return std::chrono::nanoseconds(1000000000LL * kAacSamplesPerFrame / std::max(1u, stream.sampleRate));
    return std::chrono::milliseconds(kChunkMillis);
}

std::shared_ptr<const AudioStream> AudioLibrary::stream(const AudioSetting& setting, std::string& error)
{
    std::string name;
    switch (setting.codec) {
    case AudioCodec::Mulaw:
        name = "audio-mulaw-8000.raw";
        break;
    case AudioCodec::G726:
        name = setting.bitrate == 32000 ? "audio-g726-32-8000.raw" : "audio-g726-24-8000.raw";
        break;
    case AudioCodec::Aac:
        name = setting.sampleRate >= 12000 ? "audio-aac-16000.adts" : "audio-aac-8000.adts";
        break;
    }
    const std::string key = name + "@" + std::to_string(setting.bitrate);
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = loaded_.find(key); it != loaded_.end())
        return it->second;
    const auto bytes = readFile(directory_ + "/" + name, error);
    if (!bytes)
        return nullptr;
    auto stream = std::make_shared<AudioStream>();
    stream->codec = setting.codec;
    stream->bitrate = setting.bitrate;
    stream->sampleRate = setting.sampleRate;
    if (setting.codec == AudioCodec::Aac) {
        stream->accessUnits = splitAdts(*bytes, stream->aacConfig, stream->sampleRate);
        if (stream->accessUnits.empty()) {
            error = "audio clip " + name + " holds no ADTS frame";
            return nullptr;
        }
    } else {
        stream->bytes = *bytes;
    }
    loaded_[key] = stream;
    return stream;
}

} // namespace Camsim

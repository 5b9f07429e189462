#include "WavFile.h"

#include "CliError.h"
#include "ExitCode.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace VapixcamCli {

namespace {

void put16(std::string& s, std::uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void put32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t get32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint16_t get16(const std::string& s, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

constexpr std::size_t kMaxWavBytes = 256u * 1024u * 1024u;

} // namespace

std::string wavHeader(std::uint32_t sampleRate, std::uint16_t channels, std::uint32_t dataBytes)
{
    std::string h = "RIFF";
    put32(h, dataBytes == 0xFFFFFFFFu ? 0xFFFFFFFFu : dataBytes + 36);
    h += "WAVEfmt ";
    put32(h, 16);
    put16(h, 1); // PCM
    put16(h, channels);
    put32(h, sampleRate);
    put32(h, sampleRate * channels * 2);
    put16(h, static_cast<std::uint16_t>(channels * 2));
    put16(h, 16);
    h += "data";
    put32(h, dataBytes);
    return h;
}

bool patchWavSizes(const std::string& path, std::uint32_t dataBytes)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file)
        return false;
    std::string riff, data;
    put32(riff, dataBytes + 36);
    put32(data, dataBytes);
    file.seekp(4);
    file.write(riff.data(), 4);
    file.seekp(40);
    file.write(data.data(), 4);
    return static_cast<bool>(file);
}

WavSound readWav(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CliError(kExitUsage, "cannot read " + path);
    std::string bytes;
    bytes.reserve(1024);
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxWavBytes)
            throw CliError(kExitUsage, path + " is larger than 256 MiB");
    }
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        throw CliError(kExitUsage, path + " is not a WAV file");
    std::uint16_t format = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        std::uint64_t size = get32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= bytes.size()) {
            format = get16(bytes, body);
            channels = get16(bytes, body + 2);
            rate = get32(bytes, body + 4);
            bits = get16(bytes, body + 14);
        } else if (id == "data") {
            if (format != 1 || (bits != 16 && bits != 8) || channels < 1 || channels > 2 || rate == 0)
                throw CliError(kExitUsage, path + " is not 8- or 16-bit PCM with one or two channels");
            if (size > bytes.size() - body)
                size = bytes.size() - body; // a stream written with an unknown length
            const std::size_t width = bits / 8u * channels;
            WavSound sound;
            sound.sampleRate = rate;
            for (std::size_t i = body; i + width <= body + size; i += width) {
                int sum = 0;
                for (std::size_t c = 0; c < channels; ++c) {
                    const std::size_t p = i + c * (bits / 8u);
                    sum += bits == 16 ? static_cast<std::int16_t>(get16(bytes, p))
                                      : (static_cast<int>(static_cast<unsigned char>(bytes[p])) - 128) * 256;
                }
                sound.samples.push_back(static_cast<std::int16_t>(sum / channels));
            }
            return sound;
        }
        at = body + static_cast<std::size_t>(size) + (size & 1);
    }
    throw CliError(kExitUsage, path + " has no PCM data");
}

std::vector<std::int16_t> resample(const std::vector<std::int16_t>& samples, std::uint32_t from, std::uint32_t to)
{
    if (from == to || samples.empty() || from == 0 || to == 0)
        return samples;
    const std::size_t count = static_cast<std::size_t>(std::uint64_t(samples.size()) * to / from);
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double position = double(i) * from / to;
        const std::size_t j = static_cast<std::size_t>(position);
        const double f = position - double(j);
        const double a = samples[std::min(j, samples.size() - 1)];
        const double b = samples[std::min(j + 1, samples.size() - 1)];
        out[i] = static_cast<std::int16_t>(a + (b - a) * f);
    }
    return out;
}

} // namespace VapixcamCli

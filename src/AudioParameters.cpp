#include "AudioParameters.h"

#include <netkit/util/TextUtil.h>

#include <map>
#include <utility>

namespace Vapixcam {

using Orix::Utility::text::toLower;
using Orix::Utility::text::trim;

std::optional<ReceivedAudioFormat> receivedAudioFormat(const std::string& contentType)
{
    static const std::map<std::string, ReceivedAudioFormat> table = {
        {"audio/basic", {"G.711", 64000}},   {"audio/32kadpcm", {"G.726", 32000}},
        {"audio/g723", {"G.726", 24000}},    {"audio/g726-32", {"G.726", 32000}},
        {"audio/g726-24", {"G.726", 24000}}, {"audio/mpeg4-generic", {"AAC", 0}},
    };
    const std::string type = toLower(trim(std::string_view(contentType).substr(0, contentType.find(';'))));
    const auto it = table.find(type);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

std::string transmitContentType(const std::string& algorithm, std::uint32_t bitrate, std::uint32_t encoding)
{
    struct Row {
        const char* algorithm;
        std::uint32_t bitrate;
        std::uint32_t encoding;
        const char* contentType;
    };
    static const Row table[] = {
        {"G.711", 64000, 1, "audio/basic"},
        {"G.726", 32000, 1, "audio/G726-32"},
        {"G.726", 24000, 1, "audio/G726-24"},
    };
    for (const auto& row : table) {
        if (algorithm == row.algorithm && bitrate == row.bitrate && encoding == row.encoding)
            return row.contentType;
    }
    return {};
}

std::vector<std::uint32_t> dependentBitrates(const std::string& codec, const std::string& sampleRate)
{
    static const std::map<std::pair<std::string, std::string>, std::vector<std::uint32_t>> table = {
        {{"g711", "8000"}, {64000}},
        {{"g726", "8000"}, {24000, 32000}},
        {{"aac", "8000"}, {8000, 12000, 16000, 24000, 32000}},
        {{"aac", "16000"}, {16000, 24000, 32000, 48000, 64000}},
        {{"aac", "32000"}, {16000, 24000, 32000, 48000, 64000, 128000}},
        {{"aac", "44100"}, {32000, 48000, 64000, 128000}},
        {{"aac", "48000"}, {32000, 48000, 64000, 128000}},
    };
    const auto it = table.find({codec, sampleRate});
    return it == table.end() ? std::vector<std::uint32_t>{} : it->second;
}

std::optional<CodecDefaults> codecDefaults(const std::string& codec)
{
    static const std::map<std::string, CodecDefaults> table = {
        {"g711", {8000, 64000}}, {"g726", {8000, 24000}}, {"aac", {8000, 24000}}};
    const auto it = table.find(codec);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> audioUpdateUrl(std::uint32_t channel, const AudioSettingsChange& change)
{
    const std::string prefix = "&AudioSource.A" + std::to_string(channel) + ".";
    std::string url = "/axis-cgi/operator/param.cgi?action=update";
    if (change.codec) {
        const auto defaults = codecDefaults(*change.codec);
        if (!defaults)
            return std::nullopt;
        url += prefix + "AudioEncoding=" + *change.codec;
        url += prefix + "BitRate=" + std::to_string(defaults->bitrate);
        url += prefix + "SampleRate=" + std::to_string(defaults->sampleRate);
    } else {
        if (change.bitRate)
            url += prefix + "BitRate=" + *change.bitRate;
        if (change.samplerate)
            url += prefix + "SampleRate=" + *change.samplerate;
    }
    const std::pair<const std::optional<std::string>*, const char*> texts[] = {
        {&change.micGain, "InputPreGain"},
        {&change.inputGain, "InputGain"},
        {&change.inputType, "InputType"},
        {&change.audioInputPort, "InputPort"},
        {&change.microphonePowerType, "MicrophonePowerType"},
    };
    for (const auto& [value, name] : texts) {
        if (*value)
            url += prefix + name + "=" + **value;
    }
    if (change.micBalanced)
        url += prefix + "MicrophoneBalanced=" + (*change.micBalanced ? "yes" : "no");
    if (change.micPower)
        url += prefix + "MicrophonePower=" + (*change.micPower ? "yes" : "no");
    return url;
}

std::string enableAudioUrl(std::uint32_t channel)
{
    const std::string n = std::to_string(channel);
    return "/axis-cgi/operator/param.cgi?action=update&root.Audio.A" + n + ".Enabled=yes&AudioSource.A" + n +
           ".AudioSupport=yes";
}

} // namespace Vapixcam

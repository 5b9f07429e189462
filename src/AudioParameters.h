#pragma once
// The fixed tables of the audio channels, as pure functions: what an HTTP
// audio stream's content type carries, which content type a transmitted
// stream gets, the bit rates a codec allows at a sample rate, the defaults
// written with a codec change, and the update request of the audio
// settings. Tables are built once, on first use.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Vapixcam {

// The codec and bit rate of the frames of audio/receive.cgi by its content
// type (parameters after ';' and case ignored). Algorithm "G.711", "G.726"
// or "AAC"; bitrate 0 for AAC (its frames carry their own configuration).
struct ReceivedAudioFormat {
    std::string algorithm;
    std::uint32_t bitrate = 0;
};
std::optional<ReceivedAudioFormat> receivedAudioFormat(const std::string& contentType);

// The content type of audio/transmit.cgi for a first frame's algorithm,
// bit rate and encoding code; empty when no row matches.
std::string transmitContentType(const std::string& algorithm, std::uint32_t bitrate, std::uint32_t encoding);

// Bit rates (bit/s, in order) a codec allows at a sample rate, both as the
// camera spells them ("g711", "g726", "aac"; "8000", ...); empty when the
// pair is not in the table.
std::vector<std::uint32_t> dependentBitrates(const std::string& codec, const std::string& sampleRate);

struct CodecDefaults {
    std::uint32_t sampleRate = 0;
    std::uint32_t bitrate = 0;
};
std::optional<CodecDefaults> codecDefaults(const std::string& codec);

// Host values of a settings change, by host name; unset means unchanged.
struct AudioSettingsChange {
    std::optional<std::string> codec;
    std::optional<std::string> bitRate;
    std::optional<std::string> samplerate;
    std::optional<std::string> micGain;
    std::optional<std::string> inputGain;
    std::optional<std::string> inputType;
    std::optional<std::string> audioInputPort;
    std::optional<std::string> microphonePowerType;
    std::optional<bool> micBalanced;
    std::optional<bool> micPower;
};

// The update request for audio input `channel`, or nullopt when the codec
// has no defaults (the caller logs and fails the apply). Nothing changed
// gives the bare request.
std::optional<std::string> audioUpdateUrl(std::uint32_t channel, const AudioSettingsChange& change);

// "/axis-cgi/operator/param.cgi?action=update&root.Audio.A<n>.Enabled=yes&AudioSource.A<n>.AudioSupport=yes"
std::string enableAudioUrl(std::uint32_t channel);

} // namespace Vapixcam

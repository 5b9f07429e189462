#pragma once
// The sound an audio input of the simulated camera sends: a short clip of a
// known tone per encoder setting, made by data/media/make_clips.sh and
// looped. G.711 and G.726 are continuous coded bytes; AAC is a list of raw
// access units cut out of an ADTS file. Plain bytes, no sockets.
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

class ParamTree;

enum class AudioCodec { Mulaw, G726, Aac };

// The tone in every clip.
constexpr unsigned kAudioToneHz = 800;

struct AudioStream {
    AudioCodec codec = AudioCodec::Mulaw;
    unsigned sampleRate = 8000;
    unsigned bitrate = 64000;
    std::string bytes;                   // Mulaw, G726: the coded loop
    std::vector<std::string> accessUnits; // Aac: raw AUs in order
    std::string aacConfig;               // Aac: AudioSpecificConfig (2 bytes)
};

// What AudioSource.A<n> asks for: its encoding, bit rate and sample rate.
struct AudioSetting {
    AudioCodec codec = AudioCodec::Mulaw;
    unsigned sampleRate = 8000;
    unsigned bitrate = 64000;
};

// The setting of audio input n; nullopt when the camera has no such input
// or its encoding is one camsim does not send (opus).
std::optional<AudioSetting> audioSetting(const ParamTree& tree, unsigned input);
// Whether Audio.A<n>.Enabled is "yes".
bool audioEnabled(const ParamTree& tree, unsigned input);

// Content type of the HTTP receive stream: "audio/basic", "audio/G726-32",
// "audio/G726-24", "audio/mpeg4-generic".
std::string audioContentType(const AudioStream& stream);

// Splits an ADTS file into raw access units; the configuration of the
// first header goes to config. Empty when there is no valid frame.
std::vector<std::string> splitAdts(const std::string& bytes, std::string& config, unsigned& sampleRate);

// One packet's worth of a stream from position on (20 ms of G.711/G.726,
// one AAC access unit), advancing position and looping.
std::string nextAudioChunk(const AudioStream& stream, std::size_t& position);
// The time one chunk lasts.
std::chrono::nanoseconds audioChunkDuration(const AudioStream& stream);

class AudioLibrary {
public:
    explicit AudioLibrary(std::string directory) : directory_(std::move(directory)) {}

    // The clip for a setting (AAC at the nearest rate camsim has); null with
    // error when its file is missing or unusable.
    std::shared_ptr<const AudioStream> stream(const AudioSetting& setting, std::string& error);

private:
    std::string directory_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const AudioStream>> loaded_;
};

} // namespace Camsim

#pragma once
// The host's audio handler for `vapixcam audio`: decodes what the audio
// source delivers to 16-bit PCM and writes it as WAV at the stream's own
// rate. G.711 and G.726 are decoded here; AAC access units are handed to
// ffmpeg (found on PATH), which writes the WAV.
//
// The source calls the handler on its own thread; the command reads the
// counters from its thread through snapshot().
#include "MediaOutput.h"

#include <netkit/audio/G726.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <orix/gdrv/Channels.h>
#include <string>

namespace VapixcamCli {

class ChildProcess;

struct AudioCounters {
    std::string codec;                  // "G.711", "G.726-32", "AAC", ... of the first frame
    std::uint32_t sampleRate = 0;
    std::uint64_t frames = 0;
    std::uint64_t samples = 0;          // decoded (G.711, G.726) or announced (AAC, 1024 a frame)
    std::uint64_t lostFrames = 0;
    std::uint64_t failures = 0;
    std::uint32_t lastFailure = 0;
    std::uint64_t otherFormatFrames = 0; // frames of another format than the first, not written
    bool readerGone = false;
    std::optional<std::chrono::steady_clock::time_point> firstFrameAt;
};

class AudioRecorder final : public Orix::GDRV::IAudioSourceHandler {
public:
    explicit AudioRecorder(std::string outputPath);
    ~AudioRecorder() override;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    void OnAudioFrame(const Orix::IContract* source, const Orix::GDRV::AudioFrame& frame) override;
    void OnStatistic(const Orix::IContract* source, const char* name, double value) override;
    void Failed(const Orix::IContract* source, std::uint32_t result) override;

    AudioCounters snapshot() const;
    // Ends the file (sizes in the header; ffmpeg's decoding for AAC);
    // empty, or why the file could not be written.
    std::string finish();

private:
    void writePcm(const std::int16_t* samples, std::size_t count);

    mutable std::mutex mutex_;
    std::string outputPath_;
    AudioCounters counters_;
    std::string format_; // algorithm/bitrate/encoding of the first frame
    std::unique_ptr<MediaOutput> output_;
    std::unique_ptr<Orix::Utility::G726StreamDecoder> g726_;
    std::string aacPath_;               // ADTS written here for ffmpeg
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> aac_{nullptr, &std::fclose};
    std::uint64_t pcmBytes_ = 0;
};

} // namespace VapixcamCli

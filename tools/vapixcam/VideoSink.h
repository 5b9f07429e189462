#pragma once
// The host's video handler for `vapixcam live`: counts what the video source
// delivers and writes the elementary stream to a file that ffplay and ffmpeg
// play as it is (Annex B access units for H.264/H.265, JPEG after JPEG for
// MJPEG).
//
// The file begins at the first key frame, so that it decodes from its first
// byte; it holds only frames of the first codec seen, so that a codec change
// on the camera cannot mix two streams in one file.
//
// The source calls the handler on the device's I/O thread; a command reads
// the counters from its own thread through snapshot().
#include <chrono>
#include <cstdint>
#include "MediaOutput.h"

#include <memory>
#include <mutex>
#include <optional>
#include <orix/gdrv/Channels.h>
#include <string>

namespace VapixcamCli {

// What the host has observed of one live stream so far.
struct LiveCounters {
    std::string codec;                  // of the first frame
    std::uint64_t frames = 0;
    std::uint64_t keyFrames = 0;
    std::uint64_t bytes = 0;            // frame bytes as delivered
    std::uint64_t lostFrames = 0;       // as the source reports it ("lostFrames")
    std::uint64_t reconnects = 0;       // "reconnects" or sessions restarted after the first
    std::uint64_t failures = 0;         // Failed calls: signal lost
    std::uint32_t lastFailure = 0;      // the result code of the last one
    std::uint64_t framesWritten = 0;
    std::uint64_t otherCodecFrames = 0; // frames of another codec than the first, not written
    bool readerGone = false;            // the output was a pipe whose reader closed it
    std::optional<std::chrono::steady_clock::time_point> firstFrameAt;
};

class VideoSink final : public Orix::GDRV::IVideoSourceHandler {
public:
    // The largest frame that is counted and written; the source bounds its
    // frames far below this, so a larger one means a broken source.
    static constexpr std::uint32_t kMaxFrameBytes = 64u * 1024u * 1024u;

    // outputPath empty: nothing is written; "-": standard output. Throws
    // CliError when the file cannot be created.
    explicit VideoSink(const std::string& outputPath = {});
    ~VideoSink() override;
    VideoSink(const VideoSink&) = delete;
    VideoSink& operator=(const VideoSink&) = delete;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;

    void OnFrame(const Orix::IContract* source, const Orix::GDRV::MediaFrame& frame) override;
    void OnStatistic(const Orix::IContract* source, const char* name, double value) override;
    void OnStreamStarted(const Orix::IContract* source) override;
    void Failed(const Orix::IContract* source, std::uint32_t result) override;

    LiveCounters snapshot() const;

    // Flushes and closes the file; empty when every frame meant for it was
    // written (or its reader went away), else why not (the first write error).
    std::string finish();

private:
    void write(const Orix::GDRV::MediaFrame& frame);

    mutable std::mutex mutex_;
    LiveCounters counters_;
    std::uint64_t streamStarts_ = 0;
    std::uint64_t reportedReconnects_ = 0;
    std::unique_ptr<MediaOutput> output_;
    bool writing_ = false;
};

} // namespace VapixcamCli

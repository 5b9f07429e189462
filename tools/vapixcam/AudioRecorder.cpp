#include "AudioRecorder.h"

#include "ChildProcess.h"
#include "WavFile.h"

#include <netkit/audio/Adts.h>
#include <netkit/audio/G711.h>

#include <cstdlib>
#include <cstring>
#include <orix/IContract.h>
#include <unistd.h>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

namespace {

// ffmpeg as PATH finds it, or empty.
std::string findFfmpeg()
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t at = 0;
    while (at <= dirs.size()) {
        const std::size_t end = dirs.find(':', at);
        const std::string dir = dirs.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::string candidate = (dir.empty() ? "." : dir) + "/ffmpeg";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return {};
}

std::string formatKey(const Orix::GDRV::AudioFrame& f)
{
    return std::string(f.algorithm ? f.algorithm : "") + "/" + std::to_string(f.bitrate) + "/" +
           std::to_string(f.encoding) + "/" + std::to_string(f.sampleRate);
}

} // namespace

AudioRecorder::AudioRecorder(std::string outputPath) : outputPath_(std::move(outputPath)) {}

AudioRecorder::~AudioRecorder()
{
    if (!aacPath_.empty())
        std::remove(aacPath_.c_str());
}

Orix::IContract* AudioRecorder::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* AudioRecorder::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::GDRV::IAudioSourceHandler>(this, name);
}

void AudioRecorder::OnAudioFrame(const Orix::IContract*, const Orix::GDRV::AudioFrame& frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.frames;
    if (!counters_.firstFrameAt) {
        counters_.firstFrameAt = std::chrono::steady_clock::now();
        format_ = formatKey(frame);
        const std::string algorithm = frame.algorithm ? frame.algorithm : "";
        counters_.codec = algorithm == "G.726" ? "G.726-" + std::to_string(frame.bitrate / 1000) : algorithm;
        counters_.sampleRate = frame.sampleRate;
        if (algorithm == "G.726" && Orix::Utility::g726BitsPerSample(frame.bitrate) != 0)
            g726_ = std::make_unique<Orix::Utility::G726StreamDecoder>(
                frame.bitrate, frame.encoding == 2 ? Orix::Utility::G726Packing::aal2
                                                   : Orix::Utility::G726Packing::rfc3551);
        if (algorithm == "AAC") {
            char name[] = "/tmp/vapixcam-audio-XXXXXX";
            const int fd = mkstemp(name);
            if (fd >= 0) {
                aacPath_ = name;
                aac_.reset(fdopen(fd, "wb"));
            }
        } else if (!outputPath_.empty()) {
            output_ = std::make_unique<MediaOutput>(outputPath_);
            const std::string header = wavHeader(frame.sampleRate, 1, 0xFFFFFFFFu);
            output_->write(header.data(), header.size());
        }
    } else if (formatKey(frame) != format_) {
        ++counters_.otherFormatFrames;
        return;
    }
    if (!frame.data || frame.size == 0)
        return;
    const std::string algorithm = frame.algorithm;
    if (algorithm == "G.711") {
        const auto pcm = Orix::Utility::decodeG711(
            frame.encoding == 2 ? Orix::Utility::G711Law::alaw : Orix::Utility::G711Law::mulaw, frame.data, frame.size);
        writePcm(pcm.data(), pcm.size());
    } else if (algorithm == "G.726" && g726_) {
        const auto pcm = g726_->decode(frame.data, frame.size);
        writePcm(pcm.data(), pcm.size());
    } else if (algorithm == "AAC") {
        counters_.samples += 1024;
        const auto config = Orix::Utility::parseAudioSpecificConfig(frame.config, frame.configSize);
        const auto header = config ? Orix::Utility::adtsHeader(*config, frame.size) : std::nullopt;
        if (aac_ && header) {
            std::fwrite(header->data(), 1, header->size(), aac_.get());
            std::fwrite(frame.data, 1, frame.size, aac_.get());
        }
    }
}

void AudioRecorder::writePcm(const std::int16_t* samples, std::size_t count)
{
    counters_.samples += count;
    if (!output_ || counters_.readerGone)
        return;
    // WAV is little-endian, as is every host this tool runs on.
    const auto bytes = count * sizeof(std::int16_t);
    if (output_->write(samples, bytes) == MediaOutput::Result::ReaderGone)
        counters_.readerGone = true;
    else
        pcmBytes_ += bytes;
}

void AudioRecorder::OnStatistic(const Orix::IContract*, const char* name, double value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (name && std::strcmp(name, "lostFrames") == 0)
        counters_.lostFrames = static_cast<std::uint64_t>(value);
}

void AudioRecorder::Failed(const Orix::IContract*, std::uint32_t result)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.failures;
    counters_.lastFailure = result;
}

AudioCounters AudioRecorder::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

std::string AudioRecorder::finish()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (aac_) {
        aac_.reset();
        if (outputPath_.empty())
            return {};
        const std::string ffmpeg = findFfmpeg();
        if (ffmpeg.empty())
            return "AAC is decoded by ffmpeg, which is not on PATH";
        // To standard output through a file of ours: ffmpeg's WAV must be
        // complete before the command ends.
        const bool toStdout = MediaOutput::isStandardOutput(outputPath_);
        const std::string target = toStdout ? aacPath_ + ".wav" : outputPath_;
        ChildProcess child({ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-f", "aac", "-i",
                            aacPath_, "-ac", "1", "-c:a", "pcm_s16le", "-f", "wav", target},
                           ChildProcessOptions{true, {}});
        int status = 0;
        if (!child.wait(std::chrono::seconds(60), status) || status != 0)
            return "ffmpeg could not decode the AAC stream: " + child.stderrText();
        if (!toStdout)
            return {};
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> wav(std::fopen(target.c_str(), "rb"), &std::fclose);
        MediaOutput out(outputPath_);
        char buffer[65536];
        std::size_t n = 0;
        while (wav && (n = std::fread(buffer, 1, sizeof buffer, wav.get())) > 0) {
            if (out.write(buffer, n) != MediaOutput::Result::Written)
                break;
        }
        wav.reset();
        std::remove(target.c_str());
        return out.finish() == MediaOutput::Result::Failed ? out.error() : std::string();
    }
    if (!output_)
        return {};
    const auto result = output_->finish();
    if (result == MediaOutput::Result::Failed)
        return output_->error();
    if (!output_->toStandardOutput() && !patchWavSizes(outputPath_, static_cast<std::uint32_t>(pcmBytes_)))
        return "cannot write the sizes into " + outputPath_;
    return {};
}

} // namespace VapixcamCli

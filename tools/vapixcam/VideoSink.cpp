#include "VideoSink.h"

#include "CliError.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

namespace {

// A counter the source reports as a double: a whole, non-negative number
// below 2^53, anything else is left out.
std::optional<std::uint64_t> counterValue(double value)
{
    if (!std::isfinite(value) || value < 0 || value > 9007199254740992.0)
        return std::nullopt;
    return static_cast<std::uint64_t>(value);
}

} // namespace

VideoSink::VideoSink(const std::string& outputPath)
{
    if (!outputPath.empty())
        output_ = std::make_unique<MediaOutput>(outputPath);
}

VideoSink::~VideoSink() = default;

Orix::IContract* VideoSink::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* VideoSink::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::GDRV::IVideoSourceHandler>(this, name);
}

void VideoSink::OnFrame(const Orix::IContract*, const Orix::GDRV::MediaFrame& frame)
{
    if (frame.data == nullptr || frame.size == 0 || frame.size > kMaxFrameBytes)
        return;
    const std::string codec = frame.codec != nullptr ? frame.codec : "";
    std::lock_guard<std::mutex> lock(mutex_);
    if (!counters_.firstFrameAt) {
        counters_.firstFrameAt = std::chrono::steady_clock::now();
        counters_.codec = codec;
    }
    ++counters_.frames;
    if (frame.keyFrame)
        ++counters_.keyFrames;
    counters_.bytes += frame.size;
    if (codec != counters_.codec) {
        ++counters_.otherCodecFrames;
        return;
    }
    write(frame);
}

void VideoSink::write(const Orix::GDRV::MediaFrame& frame)
{
    if (output_ == nullptr || (!writing_ && !frame.keyFrame))
        return;
    writing_ = true;
    switch (output_->write(frame.data, frame.size)) {
    case MediaOutput::Result::Written: ++counters_.framesWritten; break;
    case MediaOutput::Result::ReaderGone: counters_.readerGone = true; break;
    case MediaOutput::Result::Failed: break;
    }
}

void VideoSink::OnStatistic(const Orix::IContract*, const char* name, double value)
{
    if (name == nullptr)
        return;
    const auto counter = counterValue(value);
    if (!counter)
        return;
    const std::string key = name;
    std::lock_guard<std::mutex> lock(mutex_);
    // Both are running totals since Start.
    if (key == "lostFrames") {
        counters_.lostFrames = *counter;
    } else if (key == "reconnects") {
        reportedReconnects_ = *counter;
        counters_.reconnects = std::max(reportedReconnects_, streamStarts_ > 0 ? streamStarts_ - 1 : 0);
    }
}

void VideoSink::OnStreamStarted(const Orix::IContract*)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++streamStarts_;
    counters_.reconnects = std::max(reportedReconnects_, streamStarts_ - 1);
}

void VideoSink::Failed(const Orix::IContract*, std::uint32_t result)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.failures;
    counters_.lastFailure = result;
}

LiveCounters VideoSink::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

std::string VideoSink::finish()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (output_ == nullptr)
        return {};
    switch (output_->finish()) {
    case MediaOutput::Result::Written: return {};
    case MediaOutput::Result::ReaderGone: counters_.readerGone = true; return {};
    case MediaOutput::Result::Failed: return output_->error();
    }
    return {};
}

} // namespace VapixcamCli

#include "support/FakeHost.h"

namespace TestSupport {

void CapturingLogger::Log(int level, const char* file, int line, const char* function,
                          const char* message)
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back({level, file ? file : "", line, function ? function : "",
                        message ? message : ""});
}

void CapturingLogger::Log(int level, const char* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back({level, "", 0, "", text ? text : ""});
}

std::vector<CapturingLogger::Entry> CapturingLogger::entries() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

std::size_t CapturingLogger::count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (const auto& entry : entries_)
        n += entry.message.find(text) != std::string::npos;
    return n;
}

std::string CapturingLogger::all() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const auto& entry : entries_)
        text += std::to_string(entry.level) + " " + entry.function + ":" + entry.message + "\n";
    return text;
}

void RecordingDeviceHandler::StateChanged(const Orix::IContract*,
                                          Orix::GDRV::ConnectionState state, std::uint32_t result)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changes_.push_back({state, result});
    }
    changed_.notify_all();
}

bool RecordingDeviceHandler::waitFor(Orix::GDRV::ConnectionState state, std::size_t times,
                                     std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        std::size_t seen = 0;
        for (const auto& change : changes_)
            seen += change.state == state;
        return seen >= times;
    });
}

std::vector<RecordingDeviceHandler::Change> RecordingDeviceHandler::changes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}

std::uint32_t RecordingDeviceHandler::lastResult() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_.empty() ? 0 : changes_.back().result;
}

void RecordingParametersHandler::Failed(const Orix::IContract*, std::uint32_t result)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_;
        failure_ = result;
    }
    done_.notify_all();
}

void RecordingParametersHandler::Completed(const Orix::IContract*, const char* json,
                                           std::uint32_t length)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_;
        json_.assign(json, length);
    }
    done_.notify_all();
}

bool RecordingParametersHandler::wait(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, limit, [&] { return calls_ > 0; });
}

int RecordingParametersHandler::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::string RecordingParametersHandler::json() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return json_;
}

std::uint32_t RecordingParametersHandler::failure() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

void RecordingVideoHandler::OnFrame(const Orix::IContract*, const Orix::GDRV::MediaFrame& frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++frames_;
        codec_ = frame.codec ? frame.codec : "";
        if (frame.keyFrame) {
            ++keyFrames_;
            lastKeyFrame_.assign(frame.data, frame.data + frame.size);
        }
    }
    changed_.notify_all();
}

void RecordingVideoHandler::OnStatistic(const Orix::IContract*, const char* name, double value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    statistics_.emplace_back(name ? name : "", value);
}

void RecordingVideoHandler::OnStreamStarted(const Orix::IContract*)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++starts_;
    }
    changed_.notify_all();
}

void RecordingVideoHandler::Failed(const Orix::IContract*, std::uint32_t result)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.push_back(result);
    }
    changed_.notify_all();
}

bool RecordingVideoHandler::waitForFrames(std::size_t frames, std::size_t keyFrames,
                                          std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit,
                             [&] { return frames_ >= frames && keyFrames_ >= keyFrames; });
}

bool RecordingVideoHandler::waitForFailure(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return !failures_.empty(); });
}

std::size_t RecordingVideoHandler::frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::size_t RecordingVideoHandler::keyFrames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return keyFrames_;
}

std::size_t RecordingVideoHandler::starts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
}

std::vector<std::uint32_t> RecordingVideoHandler::failures() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

std::string RecordingVideoHandler::codec() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return codec_;
}

double RecordingVideoHandler::statistic(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    double value = 0;
    for (const auto& [n, v] : statistics_) {
        if (n == name)
            value = v;
    }
    return value;
}

std::vector<std::uint8_t> RecordingVideoHandler::lastKeyFrame() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastKeyFrame_;
}

} // namespace TestSupport

#pragma once
// Host-side fakes: a logger that keeps every message and a device handler
// that records connection states and lets a test wait for one.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <orix/ILogger.h>
#include <orix/gdrv/Channels.h>
#include <orix/gdrv/IDevice.h>
#include <orix/Handlers.h>
#include <string>
#include <vector>

namespace TestSupport {

class CapturingLogger final : public Orix::ILogger {
public:
    explicit CapturingLogger(unsigned level = 0) : level_(level) {}

    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    unsigned GetLogLevel() const override { return level_; }
    void Log(int level, const char* file, int line, const char* function,
             const char* message) override;
    void Log(int level, const char* text) override;

    struct Entry {
        int level;
        std::string file;
        int line;
        std::string function;
        std::string message;
    };
    std::vector<Entry> entries() const;
    // Messages (of any level) that contain text.
    std::size_t count(const std::string& text) const;
    bool contains(const std::string& text) const { return count(text) > 0; }
    std::string all() const;

private:
    unsigned level_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

class RecordingDeviceHandler final : public Orix::GDRV::IDeviceHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void StateChanged(const Orix::IContract* device, Orix::GDRV::ConnectionState state,
                      std::uint32_t result) override;

    struct Change {
        Orix::GDRV::ConnectionState state;
        std::uint32_t result;
    };
    // Waits until a change to `state` has been seen `times` times in all;
    // false after `limit`.
    bool waitFor(Orix::GDRV::ConnectionState state, std::size_t times = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
    std::vector<Change> changes() const;
    std::uint32_t lastResult() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Change> changes_;
};

class RecordingParametersHandler final : public Orix::IDynamicParametersHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Failed(const Orix::IContract*, std::uint32_t result) override;
    void Completed(const Orix::IContract*, const char* json, std::uint32_t length) override;

    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(20));
    int calls() const;
    std::string json() const;
    std::uint32_t failure() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    int calls_ = 0;
    std::string json_;
    std::uint32_t failure_ = 0;
};

// Counts what a video source delivers.
class RecordingVideoHandler final : public Orix::GDRV::IVideoSourceHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void OnFrame(const Orix::IContract* source, const Orix::GDRV::MediaFrame& frame) override;
    void OnStatistic(const Orix::IContract* source, const char* name, double value) override;
    void OnStreamStarted(const Orix::IContract* source) override;
    void Failed(const Orix::IContract* source, std::uint32_t result) override;

    // Waits until `frames` frames (of which `keyFrames` key frames) arrived.
    bool waitForFrames(std::size_t frames, std::size_t keyFrames = 1,
                       std::chrono::milliseconds limit = std::chrono::seconds(30));
    bool waitForFailure(std::chrono::milliseconds limit);
    std::size_t frames() const;
    std::size_t keyFrames() const;
    std::size_t starts() const;
    std::vector<std::uint32_t> failures() const;
    std::string codec() const;
    double statistic(const std::string& name) const;
    // The first bytes of the last key frame (for a JPEG: the SOF0 size).
    std::vector<std::uint8_t> lastKeyFrame() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t frames_ = 0;
    std::size_t keyFrames_ = 0;
    std::size_t starts_ = 0;
    std::vector<std::uint32_t> failures_;
    std::string codec_;
    std::vector<std::pair<std::string, double>> statistics_;
    std::vector<std::uint8_t> lastKeyFrame_;
};

} // namespace TestSupport

#pragma once
// Host-side fakes: a logger that keeps every message and a device handler
// that records connection states and lets a test wait for one.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <orix/ILogger.h>
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

} // namespace TestSupport

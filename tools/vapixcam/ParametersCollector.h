#pragma once
// The host's dynamic-parameters handler: keeps the one answer (a JSON text or
// a failure code) and lets a command wait for it.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <orix/Handlers.h>
#include <string>

namespace VapixcamCli {

class ParametersCollector final : public Orix::IDynamicParametersHandler {
public:
    // Answers larger than this are refused rather than kept.
    static constexpr std::uint32_t kMaxJsonBytes = 16u * 1024u * 1024u;

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    void Failed(const Orix::IContract* source, std::uint32_t result) override;
    void Completed(const Orix::IContract* source, const char* json, std::uint32_t length) override;

    // False when no answer came within the limit.
    bool wait(std::chrono::milliseconds limit);
    bool succeeded() const;
    std::uint32_t failure() const;
    std::string json() const;
    int calls() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    int calls_ = 0;
    bool succeeded_ = false;
    std::uint32_t failure_ = 0;
    std::string json_;
};

} // namespace VapixcamCli

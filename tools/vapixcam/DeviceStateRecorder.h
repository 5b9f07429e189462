#pragma once
// The host's device handler: records every connection state the device
// reports and lets a command wait for the outcome of the first attempt.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <orix/gdrv/IDevice.h>
#include <vector>

namespace VapixcamCli {

class DeviceStateRecorder final : public Orix::GDRV::IDeviceHandler {
public:
    struct Change {
        Orix::GDRV::ConnectionState state;
        std::uint32_t result;
    };

    enum class Outcome { Connected, Failed, TimedOut };

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    void StateChanged(const Orix::IContract* device, Orix::GDRV::ConnectionState state,
                      std::uint32_t result) override;

    // Waits for Connected or the first Failed, whichever comes first; the
    // result code of a failure goes to `failure`.
    Outcome waitForFirstOutcome(std::chrono::milliseconds limit, std::uint32_t& failure);
    std::vector<Change> changes() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Change> changes_;
};

} // namespace VapixcamCli

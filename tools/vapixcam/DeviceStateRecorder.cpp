#include "DeviceStateRecorder.h"

#include <string>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

using Orix::GDRV::ConnectionState;

Orix::IContract* DeviceStateRecorder::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* DeviceStateRecorder::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::GDRV::IDeviceHandler>(this, name);
}

void DeviceStateRecorder::StateChanged(const Orix::IContract*, ConnectionState state,
                                       std::uint32_t result)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changes_.push_back({state, result});
    }
    changed_.notify_all();
}

DeviceStateRecorder::Outcome DeviceStateRecorder::waitForFirstOutcome(
    std::chrono::milliseconds limit, std::uint32_t& failure)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Outcome outcome = Outcome::TimedOut;
    const auto decided = [&] {
        for (const Change& c : changes_) {
            if (c.state == ConnectionState::Connected) {
                outcome = Outcome::Connected;
                return true;
            }
            if (c.state == ConnectionState::Failed) {
                outcome = Outcome::Failed;
                failure = c.result;
                return true;
            }
        }
        return false;
    };
    changed_.wait_for(lock, limit, decided);
    return outcome;
}

std::vector<DeviceStateRecorder::Change> DeviceStateRecorder::changes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}

} // namespace VapixcamCli

#pragma once
// The host's completion handler of ApplySettings for the commands that wait
// for it: keeps the first result and lets the command wait with a limit.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <orix/Handlers.h>
#include <string>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

class ActionWaiter final : public Orix::IAsyncActionHandler {
public:
    Orix::IContract* QueryContract(const char* name) override
    {
        return const_cast<Orix::IContract*>(QueryConstContract(name));
    }
    const Orix::IContract* QueryConstContract(const char* name) const override
    {
        return Orix::Utility::queryContract<Orix::IContract, Orix::IAsyncActionHandler>(this, name);
    }
    void Finished(const Orix::IContract*, std::uint32_t result) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!result_)
                result_ = result;
        }
        done_.notify_all();
    }
    std::optional<std::uint32_t> wait(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait_for(lock, limit, [this] { return result_.has_value(); });
        return result_;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::optional<std::uint32_t> result_;
};

} // namespace VapixcamCli

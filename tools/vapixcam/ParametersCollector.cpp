#include "ParametersCollector.h"

#include <orix/ErrorCodes.h>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

Orix::IContract* ParametersCollector::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* ParametersCollector::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::IDynamicParametersHandler>(this, name);
}

void ParametersCollector::Failed(const Orix::IContract*, std::uint32_t result)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_;
        if (calls_ == 1) {
            succeeded_ = false;
            failure_ = result;
        }
    }
    done_.notify_all();
}

void ParametersCollector::Completed(const Orix::IContract*, const char* json, std::uint32_t length)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_;
        if (calls_ == 1) {
            if (json == nullptr || length > kMaxJsonBytes) {
                succeeded_ = false;
                failure_ = Orix::ProtocolError;
            } else {
                succeeded_ = true;
                json_.assign(json, length);
            }
        }
    }
    done_.notify_all();
}

bool ParametersCollector::wait(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, limit, [this] { return calls_ > 0; });
}

bool ParametersCollector::succeeded() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return succeeded_;
}

std::uint32_t ParametersCollector::failure() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

std::string ParametersCollector::json() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return json_;
}

int ParametersCollector::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

} // namespace VapixcamCli

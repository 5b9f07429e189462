#include <netkit/discovery/GenericAutodetect.h>

#include <netkit/util/Contract.h>
#include <orix/ErrorCodes.h>

#include <algorithm>
#include <cctype>

namespace Orix::Utility {

IContract* IPDeviceDescription::QueryContract(const char* name)
{
    return const_cast<IContract*>(QueryConstContract(name));
}

const IContract* IPDeviceDescription::QueryConstContract(const char* name) const
{
    return queryContract<IContract, GDRV::IIPDeviceDescription>(this, name);
}

GenericAutodetect::GenericAutodetect(GDRV::IAutodetectHandler* handler, GDRV::DriverInfoPtr info,
                                     LoggerPtr logger)
    : LoggerOwner(std::move(logger)), handler_(handler), info_(std::move(info))
{
}

GenericAutodetect::GenericAutodetect(GDRV::DriverInfoPtr info, LoggerPtr logger)
    : LoggerOwner(std::move(logger)), info_(std::move(info))
{
}

GenericAutodetect::~GenericAutodetect()
{
    joinWorker();
}

IContract* GenericAutodetect::QueryContract(const char* name)
{
    return const_cast<IContract*>(QueryConstContract(name));
}

const IContract* GenericAutodetect::QueryConstContract(const char* name) const
{
    return queryContract<IContract, GDRV::IAutodetect>(this, name);
}

std::uint32_t GenericAutodetect::Start(const char* connectionString, const char* /*options*/)
{
    if (connectionString == nullptr)
        return InvalidArgument;
    std::thread previous;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (busy_)
            return AlreadyInState;
        previous = std::move(worker_);
    }
    // The previous detection has ended or was stopped; its worker may still
    // be returning (it needs the lock for that, so it is joined unlocked).
    if (previous.joinable()) {
        if (previous.get_id() == std::this_thread::get_id())
            previous.detach(); // Start from inside the handler
        else
            previous.join();
    }
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (busy_ || worker_.joinable())
        return AlreadyInState; // another Start came in between
    busy_ = true;
    stopRequested_ = false;
    const std::uint64_t generation = ++generation_;
    worker_ = std::thread([this, generation, text = std::string(connectionString)] {
        run(generation, text);
    });
    return Ok;
}

std::uint32_t GenericAutodetect::Stop()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!busy_)
        return AlreadyInState;
    ++generation_; // the running detection's outcome is dropped
    busy_ = false;
    stopRequested_ = true;
    return Ok;
}

void GenericAutodetect::Destroy()
{
    Stop();
    joinWorker();
    delete this;
}

void GenericAutodetect::joinWorker()
{
    std::thread worker;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        worker = std::move(worker_);
    }
    if (!worker.joinable())
        return;
    if (worker.get_id() == std::this_thread::get_id())
        worker.detach(); // from inside the handler (Stop, Start): the worker ends by itself
    else
        worker.join();
}

void GenericAutodetect::run(std::uint64_t generation, std::string connectionString)
{
    IPDeviceDescription description;
    std::uint32_t code = Ok;
    std::string reason;
    try {
        description = doAutodetect(connectionString);
    } catch (const AutodetectException& e) {
        code = e.code();
        reason = e.what();
    } catch (const std::exception& e) {
        code = DeviceNotRecognised;
        reason = e.what();
    }
    // The handler is called under the lock, so Stop either comes first and
    // the outcome is dropped, or waits until the handler has returned.
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (generation != generation_ || !busy_)
        return;
    busy_ = false;
    if (handler_ == nullptr)
        return;
    try {
        if (code == Ok)
            handler_->Detected(this, &description);
        else
            handler_->Failed(this, code, reason.c_str());
    } catch (...) {
        ORIX_LOG(*this, LogError, " Autodetect handler threw an exception");
    }
}

bool GenericAutodetect::checkBrand(const std::string& brand) const
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    if (!info_)
        return false;
    const std::string wanted = lower(brand);
    for (const auto& device : info_->devices)
        for (const auto& model : device.models)
            if (lower(model.vendor) == wanted)
                return true;
    return false;
}

} // namespace Orix::Utility

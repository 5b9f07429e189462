#include <netkit/discovery/AsyncDeviceSearchBase.h>

#include <netkit/util/Contract.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

namespace Orix::Utility {

IContract* IPDeviceSearchResult::QueryContract(const char* name)
{
    return const_cast<IContract*>(QueryConstContract(name));
}

const IContract* IPDeviceSearchResult::QueryConstContract(const char* name) const
{
    return queryContract<IContract, GDRV::IDeviceSearchResult, GDRV::IIPDeviceSearchResult>(this, name);
}

struct AsyncDeviceSearchBase::Core {
    explicit Core(boost::asio::io_context& io) : timer(io) {}
    std::recursive_mutex hookMutex;  // hooks run one at a time
    std::recursive_mutex ownerMutex; // guards owner against Destroy
    AsyncDeviceSearchBase* owner = nullptr;
    std::atomic<bool> running{false};
    std::uint64_t generation = 0; // under hookMutex; a Stop makes older timers harmless
    boost::asio::steady_timer timer;
};

std::recursive_mutex& AsyncDeviceSearchBase::ownerMutex(Core& core)
{
    return core.ownerMutex;
}

AsyncDeviceSearchBase* AsyncDeviceSearchBase::ownerOf(Core& core)
{
    return core.owner;
}

AsyncDeviceSearchBase::AsyncDeviceSearchBase(GDRV::IDeviceSearchHandler* handler, LoggerPtr logger,
                                             std::string driverName)
    : LoggerOwner(std::move(logger)), handler_(handler), driverName_(std::move(driverName)),
      service_(GlobalService::instance()), core_(std::make_shared<Core>(service_->ioContext()))
{
    core_->owner = this;
}

AsyncDeviceSearchBase::~AsyncDeviceSearchBase()
{
    std::lock_guard<std::recursive_mutex> lock(core_->ownerMutex);
    core_->owner = nullptr;
}

IContract* AsyncDeviceSearchBase::QueryContract(const char* name)
{
    return const_cast<IContract*>(QueryConstContract(name));
}

const IContract* AsyncDeviceSearchBase::QueryConstContract(const char* name) const
{
    return queryContract<IContract, GDRV::IDeviceSearch>(this, name);
}

std::uint32_t AsyncDeviceSearchBase::Start()
{
    std::lock_guard<std::recursive_mutex> lock(core_->hookMutex);
    if (core_->running)
        return AlreadyInState;
    ORIX_LOG(*this, LogDebug, " Device search is starting");
    core_->running = true;
    ++core_->generation;
    try {
        prepareBrowsers();
        queryBrowsers();
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Device search cannot start: " << e.what());
    }
    armTimer(core_);
    return Ok;
}

void AsyncDeviceSearchBase::armTimer(const std::shared_ptr<Core>& core)
{
    AsyncDeviceSearchBase* owner = core->owner;
    if (owner == nullptr)
        return;
    core->timer.expires_after(owner->getBroadcastTimeout());
    std::weak_ptr<Core> weak = core;
    const std::uint64_t generation = core->generation;
    core->timer.async_wait([weak, generation](const boost::system::error_code& ec) {
        const auto core = weak.lock();
        if (ec || !core)
            return;
        std::lock_guard<std::recursive_mutex> lock(core->hookMutex);
        if (!core->running || core->generation != generation || core->owner == nullptr)
            return;
        try {
            core->owner->queryBrowsers();
        } catch (const std::exception& e) {
            ORIX_LOG(*core->owner, LogError, " Device search query failed: " << e.what());
        }
        armTimer(core);
    });
}

std::uint32_t AsyncDeviceSearchBase::Stop()
{
    std::lock_guard<std::recursive_mutex> lock(core_->hookMutex);
    if (!core_->running)
        return AlreadyInState;
    core_->running = false;
    ++core_->generation;
    core_->timer.cancel();
    try {
        stopBrowsers();
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Device search stop failed: " << e.what());
    }
    ORIX_LOG(*this, LogDebug, " Device search is stopped");
    return Ok;
}

void AsyncDeviceSearchBase::Destroy()
{
    Stop();
    {
        std::lock_guard<std::recursive_mutex> lock(core_->ownerMutex);
        core_->owner = nullptr;
    }
    delete this;
}

void AsyncDeviceSearchBase::reportResult(const GDRV::IDeviceSearchResult& result)
{
    if (!running() || handler_ == nullptr)
        return;
    try {
        handler_->Found(this, &result);
    } catch (...) {
        ORIX_LOG(*this, LogError, " Search handler threw an exception");
    }
}

bool AsyncDeviceSearchBase::running() const
{
    return core_->running;
}

boost::asio::io_context& AsyncDeviceSearchBase::ioContext()
{
    return service_->ioContext();
}

} // namespace Orix::Utility

#include "IODeviceVirtual.h"

#include "NoSettingsAdjuster.h"

#include "IoAnswers.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <map>
#include <mutex>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/SettingsApply.h>
#include <netkit/util/Contract.h>
#include <netkit/util/ErrorTranslation.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;

constexpr std::chrono::seconds kRequestTimeout{10};

// The result of a virtual-input answer, logged under title.
std::uint32_t virtualInputResult(const Orix::LoggerOwner& log, const std::string& title,
                                 const boost::system::error_code& error, const std::string& body,
                                 const Orix::http::HttpResponse& response, const std::string& request)
{
    if (error) {
        ORIX_LOG(log, LogError,
                 " " << title << " HTTP request is finished with error: " << error.value()
                     << ", message: " << error.message() << ", request: " << request);
        return Orix::Utility::translateSystemError(error);
    }
    if (!Orix::Utility::isSuccessStatus(response.status)) {
        ORIX_LOG(log, LogError,
                 " " << title << " HTTP response has error code: " << response.status
                     << ", reason: " << response.reason << ", request: " << request);
        return Orix::Utility::translateResponseError(response);
    }
    if (body.empty()) {
        ORIX_LOG(log, LogDebug, " " << title << " HTTP responce is empty, request: " << request);
        return Orix::Ok;
    }
    if (const auto refused = virtualInputError(body)) {
        ORIX_LOG(log, LogError,
                 " " << title << " Camera refused " << request << ": ErrorCode " << refused->code
                     << ", ErrorDescription " << refused->description);
        return kVirtualInputRefused;
    }
    return Orix::Ok;
}

} // namespace


// The commands in flight. Runs on the device's I/O context, except cancel,
// which the host's threads call too (under the lock).
class IODeviceVirtual::Core final : public std::enable_shared_from_this<Core>, public Orix::LoggerOwner {
public:
    Core(DeviceServices& device, const Orix::GDRV::IIODevice* self, const Orix::LoggerOwner& log)
        : LoggerOwner(log.getLogger(), log.logPrefix()), device_(device), self_(self)
    {
    }

    void setRelay(const Orix::Utility::AsyncActionCompletionPtr& completion, const std::string& request)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (abandoned_) {
            completion->finish(self_, Orix::Cancelled);
            return;
        }
        const std::uint64_t id = ++nextId_;
        std::weak_ptr<Core> weak = shared_from_this();
        auto handle = Orix::http::asyncGetEx(
            device_.connectionInfo(), request, device_.ioContext(), std::chrono::milliseconds(kRequestTimeout),
            [weak, id, request](const boost::system::error_code& error, const std::string& body,
                                       const Orix::http::HttpResponse& response) {
                if (auto self = weak.lock())
                    self->finished(id, virtualInputResult(*self, "set relay", error, body, response, request));
            });
        pending_[id] = Pending{completion, handle};
        ORIX_LOG(*this, LogDebug, " " << completion->title());
    }

    // Answers every command in flight with Cancelled; with abandon, later
    // commands too.
    void cancelAll(bool abandon)
    {
        std::map<std::uint64_t, Pending> pending;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            abandoned_ = abandoned_ || abandon;
            pending.swap(pending_);
        }
        for (auto& [id, p] : pending) {
            ORIX_LOG(*this, LogDebug, " Cancel " << Orix::Utility::getAsyncActionHandlerTitle(*p.completion));
            if (p.request)
                p.request->cancel();
            p.completion->finish(self_, Orix::Cancelled);
        }
    }

private:
    struct Pending {
        Orix::Utility::AsyncActionCompletionPtr completion;
        Orix::http::RequestHandlePtr request;
    };

    void finished(std::uint64_t id, std::uint32_t result)
    {
        Orix::Utility::AsyncActionCompletionPtr completion;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = pending_.find(id);
            if (found == pending_.end())
                return; // cancelled
            completion = found->second.completion;
            pending_.erase(found);
        }
        completion->finish(self_, result);
    }

    DeviceServices& device_;
    const Orix::GDRV::IIODevice* self_;
    std::mutex mutex_;
    std::map<std::uint64_t, Pending> pending_;
    std::uint64_t nextId_ = 0;
    bool abandoned_ = false;
};

IODeviceVirtual::IODeviceVirtual(Orix::GDRV::IIODeviceHandler*, std::uint32_t index, DeviceServices& device)
    : LoggerOwner(device.logger(), "vio: " + std::to_string(index)),
      device_(device),
      core_(std::make_shared<Core>(device, this, *this)),
      settings_(std::make_unique<NoSettingsAdjuster>(*static_cast<Orix::GDRV::IIODevice*>(this), *this))
{
}

IODeviceVirtual::~IODeviceVirtual() = default;

Orix::IContract* IODeviceVirtual::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* IODeviceVirtual::QueryConstContract(const char* name) const
{
    return queryChannelContract<Orix::GDRV::IIODevice>(this, settings_.get(), name);
}

void IODeviceVirtual::Destroy()
{
    ORIX_LOG(*this, LogDebug, " Destroy, isActive=" << (holder_.started() ? "true" : "false"));
    holder_.stop();
    try {
        // A completion running on the I/O thread finishes before this returns.
        runOnIoThread(device_, [core = core_] { core->cancelAll(true); });
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception: " << e.what());
        core_->cancelAll(true);
    }
    delete this;
}

Orix::IAsyncAdjuster* IODeviceVirtual::GetAdjuster()
{
    return settings_.get();
}

void IODeviceVirtual::Start(Orix::GDRV::IIODeviceHandler* handler)
{
    if (!holder_.start(handler)) {
        ORIX_LOG(*this, LogDebug, " Start ignored: " << (handler ? "already started" : "no handler"));
        return;
    }
    if (!device_.topology().virtualInputs)
        ORIX_LOG(*this, LogError, " Virtual input is not supported");
}

void IODeviceVirtual::Stop()
{
    if (!holder_.stop())
        return;
    core_->cancelAll(false);
}

void IODeviceVirtual::SetRelayStatus(Orix::IAsyncActionHandler* handler, std::uint32_t relay, bool active)
{
    const std::string port = std::to_string(std::uint64_t(relay) + 1);
    const std::string request = std::string("/axis-cgi/virtualinput/") + (active ? "activate.cgi" : "deactivate.cgi") +
                                "?schemaversion=1&port=" + port;
    auto completion =
        Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), logPrefix() + " set relay " + port + " to " + request);
    try {
        core_->setRelay(completion, request);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception: " << e.what());
        completion->finish(this, Orix::GenericFailure);
    }
}

} // namespace Vapixcam

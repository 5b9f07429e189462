#pragma once
// Host completion handlers wrapped so that each is answered exactly once, an
// exception thrown by the host stops at the wrapper, and the outcome is
// logged under the request's title ("ApplySettings", "AcquireDynamicParameters").
#include <atomic>
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <orix/Handlers.h>
#include <string>

namespace Orix::Utility {

class AsyncActionCompletion {
public:
    AsyncActionCompletion(IAsyncActionHandler* handler, LoggerPtr logger, std::string title);
    ~AsyncActionCompletion(); // an unanswered handler is told of a failure (1)
    // Answers the handler the first time; later calls only log.
    void finish(const IContract* source, std::uint32_t result);
    const std::string& title() const { return title_; }
    bool finished() const { return done_.load(); }

private:
    IAsyncActionHandler* handler_;
    LoggerOwner logger_;
    std::string title_;
    std::atomic<bool> done_{false};
    const IContract* lastSource_ = nullptr;
};

class DynamicParametersCompletion {
public:
    DynamicParametersCompletion(IDynamicParametersHandler* handler, LoggerPtr logger,
                                std::string title);
    ~DynamicParametersCompletion(); // an unanswered handler gets Failed(1)
    void completed(const IContract* source, const std::string& json);
    void failed(const IContract* source, std::uint32_t result);
    IDynamicParametersHandler* handler() const { return handler_; }
    bool finished() const { return done_.load(); }

private:
    bool claim();
    IDynamicParametersHandler* handler_;
    LoggerOwner logger_;
    std::string title_;
    std::atomic<bool> done_{false};
    const IContract* lastSource_ = nullptr;
};

using AsyncActionCompletionPtr = std::shared_ptr<AsyncActionCompletion>;
using DynamicParametersCompletionPtr = std::shared_ptr<DynamicParametersCompletion>;

AsyncActionCompletionPtr wrapAsyncActionHandler(IAsyncActionHandler* handler, LoggerPtr logger,
                                                const std::string& title);
DynamicParametersCompletionPtr wrapDynamicParametersHandler(IDynamicParametersHandler* handler,
                                                            LoggerPtr logger,
                                                            const std::string& title);

// The host's channel handler while the channel is started. Queued work keeps
// a shared copy so that it can tell whether the channel is still started.
template <class Handler>
class HandlerHolder {
public:
    // False when a handler is held already or handler is null.
    bool start(Handler* handler)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handler_ != nullptr || handler == nullptr)
            return false;
        handler_ = handler;
        return true;
    }
    // False when nothing was held.
    bool stop()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool was = handler_ != nullptr;
        handler_ = nullptr;
        return was;
    }
    Handler* get() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return handler_;
    }
    bool started() const { return get() != nullptr; }

private:
    mutable std::mutex mutex_;
    Handler* handler_ = nullptr;
};

} // namespace Orix::Utility

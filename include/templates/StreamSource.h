#pragma once
// Channels that keep a stream of their own (audio in, the IO monitors): the
// host-facing Start, Stop and Destroy, a private I/O context with its worker
// thread while started, reconnects through a StreamSupervisor, and the one
// failure report per start.
//
//   AsyncSource<Interface, Impl, Device>   Start / Stop / Destroy, the worker,
//                                          the host handler, the error report
//   StreamSource<Interface, Impl, Device>  sessions opened and reopened by a
//                                          StreamSupervisor on the worker
//
// Impl derives from Orix::LoggerOwner first, then from StreamSource; the
// lines "Starting", "Started", "Skip starting, as already started",
// "Stopping", "Stopped", "Skip stopping, as not started" go to its logger.
//
// Interface provides `void Destroy()`, `void Start(Handler*)` and
// `void Stop()`; Handler provides `void Failed(const IContract*, uint32_t)`.
//
// Impl provides, all called on the worker thread:
//   Session initializeStream(SessionEnded ended);
//       opens one session; ended is called once when it ends, never inline
//       (post it when the session cannot even begin); the Session it returns
//       ends it early. Null without calling ended: nothing to stream until
//       the next restart.
//   void stopStream();  (optional) the stop step: cancels what the source
//       runs beside its sessions. The open session has been ended already.
//
// Threading: Start, Stop and Destroy come from host threads. Everything else
// runs on the worker: the supervisor, the sessions, and the host callbacks
// (handler() may only be used there). Stop joins the worker, so once it has
// returned no callback is running or will come; Stop from the worker itself
// (a host call made inside one of our callbacks) is refused, and Destroy
// from there retires the worker and deletes the object once the callback
// has returned. Asynchronous work inside Impl reaches it through lifetime(),
// a weak handle that Destroy expires.
#include "SourceWorker.h"
#include "StreamSupervisor.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/util/ErrorTranslation.h>
#include <netkit/util/Logging.h>
#include <orix/IContract.h>

namespace Orix::Utility {

namespace detail {
template <class Method>
struct StartArgument;
template <class C, class H>
struct StartArgument<void (C::*)(H*)> {
    using type = H;
};
} // namespace detail

template <class Interface, class Impl, class DeviceT>
class AsyncSource : public Interface {
public:
    using Handler = typename detail::StartArgument<decltype(&Interface::Start)>::type;
    // Weak handle of the object for work queued on the worker. It holds the
    // template's own address (taken while Impl is still being built) and
    // reaches Impl only when locked, once the object is whole.
    class Lifetime {
    public:
        class Locked {
        public:
            explicit operator bool() const { return source_ != nullptr; }
            Impl* operator*() const { return static_cast<Impl*>(*source_); }

        private:
            friend Lifetime;
            std::shared_ptr<AsyncSource*> source_;
        };

        Lifetime() = default;
        explicit Lifetime(std::weak_ptr<AsyncSource*> source) : source_(std::move(source)) {}
        Locked lock() const
        {
            Locked locked;
            locked.source_ = source_.lock();
            return locked;
        }

    private:
        std::weak_ptr<AsyncSource*> source_;
    };

    void Destroy() override
    {
        ORIX_LOG(log(), LogDebug, " Destroy");
        try {
            // Not under the host lock: a Stop waiting for the worker would
            // wait for this call.
            if (worker_.onWorkerThread()) {
                alive_.reset();
                Impl* self = &impl();
                worker_.retire([self] { self->stopStep(); }, [self] { delete self; });
                return;
            }
            std::lock_guard<std::mutex> lock(hostMutex_);
            if (worker_.started())
                stopWorker();
        } catch (const std::exception& e) {
            ORIX_LOG(log(), LogError, " std::exception: " << e.what());
        }
        alive_.reset();
        delete &impl();
    }

    void Start(Handler* handler) override
    {
        try {
            if (handler == nullptr) {
                ORIX_LOG(log(), LogError, " Start without a handler is ignored");
                return;
            }
            std::lock_guard<std::mutex> lock(hostMutex_);
            if (worker_.started()) {
                ORIX_LOG(log(), LogDebug, " Skip starting, as already started");
                return;
            }
            handler_ = handler;
            errorReported_ = false;
            state_ = 1;
            worker_.start([lifetime = lifetime()] {
                if (auto self = lifetime.lock())
                    (*self)->startStep();
            });
        } catch (const std::exception& e) {
            ORIX_LOG(log(), LogError, " std::exception:" << e.what());
        }
    }

    void Stop() override
    {
        try {
            std::lock_guard<std::mutex> lock(hostMutex_);
            stopWorker();
        } catch (const std::exception& e) {
            ORIX_LOG(log(), LogError, " std::exception:" << e.what());
        }
    }

    bool started() const { return state_ == 1; }

protected:
    // log is Impl's own logger owner (its first base, already constructed):
    // Impl itself is not yet, so it cannot be reached through a cast here.
    AsyncSource(DeviceT& device, const LoggerOwner& log) : device_(device), worker_(log) {}
    ~AsyncSource() override = default;

    DeviceT& device() { return device_; }
    boost::asio::io_context& ioContext() { return worker_.ioContext(); }
    bool onWorkerThread() const { return worker_.onWorkerThread(); }
    Lifetime lifetime() const { return Lifetime(alive_); }

    // The host handler; on the worker only, null when stopped.
    Handler* handler() const { return state_ == 1 ? handler_ : nullptr; }

    // The first failure after a start reaches the host; later ones only the
    // log. On the worker.
    void reportFailure(std::uint32_t code)
    {
        if (state_ != 1 || errorReported_)
            return;
        errorReported_ = true;
        ORIX_LOG(log(), LogDebug, " Report failure " << code << " to the host");
        if (auto* h = handler_) {
            try {
                h->Failed(static_cast<const Interface*>(this), code);
            } catch (const std::exception& e) {
                ORIX_LOG(log(), LogError, " std::exception: " << e.what());
            }
        }
    }

    // Run on the worker by Start and by Stop; StreamSource fills them.
    void onStarted() {}
    void onStopping() {}

    Impl& impl() { return static_cast<Impl&>(*this); }
    const LoggerOwner& log() const { return static_cast<const LoggerOwner&>(static_cast<const Impl&>(*this)); }

private:
    void startStep()
    {
        if (state_ == 1)
            impl().onStarted();
    }

    void stopStep()
    {
        state_ = 0;
        impl().onStopping();
    }

    void stopWorker()
    {
        if (worker_.onWorkerThread()) {
            ORIX_LOG(log(), LogError, " Stop from the source's own thread is refused");
            return;
        }
        worker_.stop([lifetime = lifetime()] {
            if (auto self = lifetime.lock())
                (*self)->stopStep();
        });
        state_ = 0;
        handler_ = nullptr;
    }

    friend Impl;

    DeviceT& device_;
    Vapixcam::SourceWorker worker_;
    std::shared_ptr<AsyncSource*> alive_ = std::make_shared<AsyncSource*>(this);
    std::mutex hostMutex_; // Start, Stop and Destroy one at a time
    std::atomic<int> state_{0}; // 0 stopped, 1 started
    Handler* handler_ = nullptr;
    bool errorReported_ = false;
};

template <class Interface, class Impl, class DeviceT>
class StreamSource : public AsyncSource<Interface, Impl, DeviceT> {
    using Base = AsyncSource<Interface, Impl, DeviceT>;
    friend Base;

public:
    using Session = Vapixcam::StreamSupervisor::Session;
    using SessionEnded = Vapixcam::StreamSupervisor::SessionEnded;
    using Delay = Vapixcam::StreamSupervisor::Delay;

    // The delay before reconnect number attempt (1 = after the first
    // failure; data arriving starts the count again). Default: 5 seconds.
    // Call before Start.
    void setReconnectDelay(Delay delay) { supervisor_->setReconnectDelay(std::move(delay)); }

protected:
    static constexpr std::chrono::seconds kReconnectDelay{5};

    StreamSource(DeviceT& device, const LoggerOwner& log, const char* what) : Base(device, log)
    {
        Vapixcam::StreamSupervisor::Hooks hooks;
        const auto lifetime = this->lifetime();
        hooks.open = [lifetime](SessionEnded ended) -> Session {
            auto self = lifetime.lock();
            if (!self || !(*self)->started())
                return nullptr;
            return (*self)->openSession(std::move(ended));
        };
        hooks.signalLost = [lifetime](const boost::system::error_code& error) {
            if (auto self = lifetime.lock())
                (*self)->streamFailed(error);
        };
        hooks.signalLostTime = [] { return std::chrono::milliseconds(0); };
        supervisor_ = Vapixcam::StreamSupervisor::create(this->ioContext(), std::move(hooks), what,
                                                         log.getLogger(), log.logPrefix());
        supervisor_->setReconnectDelay([](std::uint64_t) {
            return std::chrono::duration_cast<std::chrono::milliseconds>(kReconnectDelay);
        });
    }

    ~StreamSource() override { supervisor_->abandon(); }

    // Data arrived in the open session: a later failure waits from the
    // first attempt again. On the worker.
    void streamDataArrived() { supervisor_->mediaArrived(); }
    // Ends the open session and opens a new one at once. On the worker.
    void restartStream() { supervisor_->restart(); }

    void onStarted() { supervisor_->start(); }
    void onStopping()
    {
        supervisor_->stop();
        this->impl().stopStream();
    }
    void stopStream() {}

    const Vapixcam::StreamSupervisor& supervisor() const { return *supervisor_; }

private:
    Session openSession(SessionEnded ended)
    {
        try {
            return this->impl().initializeStream(ended);
        } catch (const std::exception& e) {
            ORIX_LOG(this->log(), LogError, " std::exception: " << e.what());
        }
        // A session that could not begin is a failed one.
        Vapixcam::postToContext(this->ioContext(), [ended = std::move(ended)] {
            ended(make_error_code(boost::system::errc::io_error), false);
        });
        return nullptr;
    }

    void streamFailed(const boost::system::error_code& error)
    {
        ORIX_LOG(this->log(), LogError, " Stream failed: " << error.message());
        this->reportFailure(translateSystemError(error));
    }

    std::shared_ptr<Vapixcam::StreamSupervisor> supervisor_;
};

} // namespace Orix::Utility

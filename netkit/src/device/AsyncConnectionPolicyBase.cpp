#include <netkit/device/AsyncConnectionPolicyBase.h>

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <netkit/util/ErrorTranslation.h>
#include <orix/ErrorCodes.h>
#include <future>
#include <random>
#include <thread>

namespace Orix::Utility {

std::chrono::milliseconds retryDelay(unsigned failures, double jitter)
{
    static const std::chrono::milliseconds steps[] = {
        std::chrono::milliseconds(1000), std::chrono::milliseconds(2000),
        std::chrono::milliseconds(4000), std::chrono::milliseconds(8000),
        std::chrono::milliseconds(16000)};
    const std::chrono::milliseconds base =
        failures == 0 ? std::chrono::milliseconds(0)
        : failures <= 5 ? steps[failures - 1]
                        : std::chrono::milliseconds(30000);
    jitter = std::clamp(jitter, 0.0, 1.0);
    return base + std::chrono::milliseconds(static_cast<long long>(base.count() * 0.1 * jitter));
}

namespace {

class ConnectionCategory final : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.connection"; }
    std::string message(int value) const override
    {
        switch (static_cast<ConnectionError>(value)) {
        case ConnectionError::noConnectionInfo: return "no connection info";
        case ConnectionError::invalidConnectionString: return "invalid connection string";
        }
        return "connection error " + std::to_string(value);
    }
};

std::uint32_t resultOf(const boost::system::error_code& error)
{
    return translateSystemError(error);
}

} // namespace

const boost::system::error_category& connectionCategory()
{
    static const ConnectionCategory category;
    return category;
}

boost::system::error_code makeConnectionError(ConnectionError value)
{
    return {static_cast<int>(value), connectionCategory()};
}

struct AsyncConnectionPolicyBase::Impl {
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work{
        io.get_executor()};
    boost::asio::steady_timer retryTimer{io};
    std::thread thread;
    std::thread::id threadId;
    bool stopped = false;

    // Touched only on the connection thread.
    unsigned generation = 0; // bumped by connect and disconnect
    unsigned attempt = 0;    // bumped by every attempt
    bool attemptActive = false;
    unsigned failures = 0;
    std::string connectionString;
    DelayFunction delay;
    std::mt19937 random{std::random_device{}()};
};

AsyncConnectionPolicyBase::AsyncConnectionPolicyBase(GDRV::IDeviceHandler* handler,
                                                     LoggerPtr logger)
    : LoggerOwner(std::move(logger)), handler_(handler), impl_(std::make_unique<Impl>())
{
    impl_->thread = std::thread([impl = impl_.get()] {
        impl->threadId = std::this_thread::get_id();
        impl->io.run();
    });
    // threadId is read by isCalledFromConnectionThread(); wait until it is set.
    std::promise<void> started;
    boost::asio::post(impl_->io, [&started] { started.set_value(); });
    started.get_future().wait();
}

AsyncConnectionPolicyBase::~AsyncConnectionPolicyBase()
{
    stopConnectionThread();
}

void AsyncConnectionPolicyBase::stopConnectionThread()
{
    if (!impl_ || impl_->stopped)
        return;
    impl_->stopped = true;
    impl_->work.reset();
    impl_->io.stop();
    if (impl_->thread.get_id() == std::this_thread::get_id()) {
        // Destroyed from one of our own handlers: the thread cannot join
        // itself, so it is let go together with the context it runs.
        impl_->thread.detach();
        impl_.release();
        return;
    }
    if (impl_->thread.joinable())
        impl_->thread.join();
}

void AsyncConnectionPolicyBase::connect(const std::string& connectionString)
{
    boost::asio::post(impl_->io, [this, connectionString] {
        Impl& impl = *impl_;
        ++impl.generation;
        impl.failures = 0;
        impl.connectionString = connectionString;
        impl.retryTimer.cancel();
        startAttempt(impl.generation);
    });
}

void AsyncConnectionPolicyBase::disconnect()
{
    boost::asio::post(impl_->io, [this] {
        Impl& impl = *impl_;
        ++impl.generation;
        impl.attemptActive = false;
        impl.retryTimer.cancel();
        if (state_.load() == GDRV::ConnectionState::Disconnected)
            return;
        try {
            onDisconnected();
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        }
        report(GDRV::ConnectionState::Disconnected, Ok);
    });
}

void AsyncConnectionPolicyBase::startAttempt(unsigned generation)
{
    Impl& impl = *impl_;
    if (generation != impl.generation)
        return;
    ++impl.attempt;
    impl.attemptActive = true;
    report(GDRV::ConnectionState::Connecting, Ok);
    try {
        tryConnect(impl.connectionString);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        handleConnected(boost::system::errc::make_error_code(boost::system::errc::io_error));
    }
}

void AsyncConnectionPolicyBase::handleConnected(const boost::system::error_code& error)
{
    Impl& impl = *impl_;
    if (!impl.attemptActive)
        return;
    impl.attemptActive = false;
    if (!error) {
        impl.failures = 0;
        report(GDRV::ConnectionState::Connected, Ok);
        return;
    }
    ++impl.failures;
    const std::uint32_t result = resultOf(error);
    report(GDRV::ConnectionState::Failed, result);
    std::chrono::milliseconds wait =
        impl.delay ? impl.delay(impl.failures)
                   : retryDelay(impl.failures,
                                std::uniform_real_distribution<double>(0.0, 1.0)(impl.random));
    ORIX_LOG(*this, LogWarning,
             " Connection attempt failed (" << error.message() << "), next attempt in "
                                            << wait.count() << " ms");
    const unsigned generation = impl.generation;
    impl.retryTimer.expires_after(wait);
    impl.retryTimer.async_wait([this, generation](const boost::system::error_code& ec) {
        if (!ec)
            startAttempt(generation);
    });
}

unsigned AsyncConnectionPolicyBase::currentAttempt() const
{
    return impl_->attemptActive ? impl_->attempt : 0;
}

void AsyncConnectionPolicyBase::report(GDRV::ConnectionState state, std::uint32_t result)
{
    state_.store(state);
    if (handler_ == nullptr)
        return;
    try {
        handler_->StateChanged(this, state, result);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception - " << e.what());
    } catch (...) {
        ORIX_LOG(*this, LogError, " unknown exception from the device handler");
    }
}

asio::ConnectionInfoPtr AsyncConnectionPolicyBase::getConnectionInfo() const
{
    std::lock_guard<std::mutex> lock(infoMutex_);
    return info_;
}

void AsyncConnectionPolicyBase::setConnectionInfo(std::shared_ptr<asio::ConnectionInfo> info)
{
    std::lock_guard<std::mutex> lock(infoMutex_);
    info_ = std::move(info);
}

bool AsyncConnectionPolicyBase::isCalledFromConnectionThread() const
{
    return impl_ && std::this_thread::get_id() == impl_->threadId;
}

boost::asio::io_context& AsyncConnectionPolicyBase::service()
{
    return impl_->io;
}

void AsyncConnectionPolicyBase::setRetryDelayFunction(DelayFunction delay)
{
    boost::asio::post(impl_->io, [this, delay = std::move(delay)] { impl_->delay = delay; });
}

} // namespace Orix::Utility

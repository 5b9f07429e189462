#pragma once
// The connection policy a device derives from. It owns the device's
// connection thread and I/O context. connect() posts an attempt to that
// thread; the derived device's tryConnect() runs it and must end it with
// handleConnected() exactly once. A failed attempt is retried after a delay
// that grows with each failure (retryDelay()); every state change is reported
// to the host's device handler on the connection thread.
//
// States: Disconnected --connect--> Connecting --ok--> Connected
//                                   Connecting --fail--> Failed --delay--> Connecting
//         any --disconnect--> Disconnected
#include <atomic>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/util/Logging.h>
#include <orix/gdrv/IDevice.h>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Orix::Utility {

// Delay before the retry that follows failure number `failures` (1 = the
// first): 1 s, 2 s, 4 s, 8 s, 16 s, then 30 s; jitter in [0, 1) adds up to 10 %.
std::chrono::milliseconds retryDelay(unsigned failures, double jitter);

// The library's own error category ("netkit.connection").
enum class ConnectionError {
    noConnectionInfo = 10,
    invalidConnectionString = 256,
};
const boost::system::error_category& connectionCategory();
boost::system::error_code makeConnectionError(ConnectionError value);

class AsyncConnectionPolicyBase : public GDRV::IDevice2, public LoggerOwner {
public:
    AsyncConnectionPolicyBase(GDRV::IDeviceHandler* handler, LoggerPtr logger);
    ~AsyncConnectionPolicyBase() override;

    // Both may be called from any thread; the work happens on the connection thread.
    void connect(const std::string& connectionString);
    void disconnect();

    asio::ConnectionInfoPtr getConnectionInfo() const;
    bool isCalledFromConnectionThread() const;
    boost::asio::io_context& service();

    GDRV::ConnectionState connectionState() const { return state_.load(); }

    // Tests shorten the production delays.
    using DelayFunction = std::function<std::chrono::milliseconds(unsigned failures)>;
    void setRetryDelayFunction(DelayFunction delay);

protected:
    // slot 22: the connection attempt, on the connection thread.
    virtual void tryConnect(const std::string& connectionString) = 0;
    // slot 23: called on the connection thread after disconnect().
    virtual void onDisconnected() {}

    // Ends the current attempt (success is a default error code). Must be
    // called on the connection thread; a call without an attempt in progress
    // (a late completion after disconnect) is ignored.
    void handleConnected(const boost::system::error_code& error);
    // Each attempt has a number; completions compare the number they started
    // with to tell a stale answer from a current one.
    unsigned currentAttempt() const;
    void setConnectionInfo(std::shared_ptr<asio::ConnectionInfo> info);

    // Derived destructors call this first so that no handler runs into a
    // half-destroyed object. Idempotent.
    void stopConnectionThread();

private:
    struct Impl;
    void startAttempt(unsigned generation);
    void report(GDRV::ConnectionState state, std::uint32_t result);

    GDRV::IDeviceHandler* handler_;
    std::unique_ptr<Impl> impl_;
    std::atomic<GDRV::ConnectionState> state_{GDRV::ConnectionState::Disconnected};
    mutable std::mutex infoMutex_;
    asio::ConnectionInfoPtr info_;
};

} // namespace Orix::Utility

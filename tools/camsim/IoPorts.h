#pragma once
// The simulated camera's IO: the physical ports with their direction from
// the model (IOPort.I<n>.Direction, port n + 1 in the CGIs) and state, the
// virtual inputs, and the open port.cgi?monitor= streams, which hear every
// change of the ports they watch as it happens. Safe from any thread.
#include "HttpMessage.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <json/value.h>

namespace Camsim {

struct Model;

class IoPorts {
public:
    static constexpr unsigned kVirtualInputs = 32;

    struct Port {
        bool output = false;
        bool active = false;
    };

    // Ports from the model's IOPort group; virtual inputs when the model
    // has Properties.VirtualInput.VirtualInput=yes.
    explicit IoPorts(const Model& model);

    bool hasPort(unsigned port) const;
    std::optional<Port> port(unsigned port) const;
    // Changes a port's state and tells the monitors watching it. False for
    // an unknown port.
    bool set(unsigned port, bool active);
    bool virtualInputs() const { return virtualInputs_; }
    // Sets virtual input n (1..32); the previous state, nullopt when n is
    // out of range.
    std::optional<bool> setVirtual(unsigned n, bool active);

    // A new monitor of these ports: the first part of each port's steady
    // state goes out at once.
    void addMonitor(std::vector<unsigned> ports, std::shared_ptr<StreamSink> sink);
    // Keep-alive: an empty part to every monitor; drops the closed ones.
    void keepAlive();
    // Drops every monitor connection, as a camera that fails would.
    std::size_t cutMonitors();
    // Open monitor connections (ones their client closed are dropped first).
    std::size_t monitors();

    Json::Value toJson();

    static const char* kBoundary;
    // One part of a monitor stream: "--ioboundary\r\nContent-Type: text/plain\r\n\r\n" + line + "\r\n".
    static std::string part(const std::string& line);

private:
    struct Monitor {
        std::vector<unsigned> ports;
        std::shared_ptr<StreamSink> sink;
    };
    std::string token(unsigned port, const Port& state, bool steady) const;
    void prune(); // under mutex_

    mutable std::mutex mutex_;
    std::map<unsigned, Port> ports_;
    bool virtualInputs_ = false;
    std::map<unsigned, bool> virtual_;
    std::vector<Monitor> monitors_;
};

} // namespace Camsim

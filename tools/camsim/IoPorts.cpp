#include "IoPorts.h"

#include "Model.h"

#include <algorithm>

namespace Camsim {

const char* IoPorts::kBoundary = "ioboundary";

IoPorts::IoPorts(const Model& model)
{
    for (unsigned index = 0; index < 64; ++index) {
        const std::string direction = model.value("IOPort.I" + std::to_string(index) + ".Direction");
        if (direction == "input" || direction == "output")
            ports_[index + 1] = Port{direction == "output", false};
    }
    virtualInputs_ = model.value("Properties.VirtualInput.VirtualInput") == "yes";
}

bool IoPorts::hasPort(unsigned port) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_.count(port) != 0;
}

std::optional<IoPorts::Port> IoPorts::port(unsigned port) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = ports_.find(port);
    if (found == ports_.end())
        return std::nullopt;
    return found->second;
}

std::string IoPorts::part(const std::string& line)
{
    return std::string("--") + kBoundary + "\r\nContent-Type: text/plain\r\n\r\n" + line + (line.empty() ? "" : "\r\n");
}

// "1I:H" steady high, "1I:/" rising; O for outputs.
std::string IoPorts::token(unsigned port, const Port& state, bool steady) const
{
    const char symbol = steady ? (state.active ? 'H' : 'L') : (state.active ? '/' : '\\');
    return std::to_string(port) + (state.output ? "O:" : "I:") + symbol;
}

bool IoPorts::set(unsigned port, bool active)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = ports_.find(port);
    if (found == ports_.end())
        return false;
    if (found->second.active == active)
        return true;
    found->second.active = active;
    const std::string bytes = part(token(port, found->second, false));
    for (auto it = monitors_.begin(); it != monitors_.end();) {
        const bool watches = std::find(it->ports.begin(), it->ports.end(), port) != it->ports.end();
        if (watches && !it->sink->write(bytes))
            it = monitors_.erase(it);
        else
            ++it;
    }
    return true;
}

std::optional<bool> IoPorts::setVirtual(unsigned n, bool active)
{
    if (n < 1 || n > kVirtualInputs)
        return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    const bool before = virtual_[n];
    virtual_[n] = active;
    return before;
}

void IoPorts::addMonitor(std::vector<unsigned> ports, std::shared_ptr<StreamSink> sink)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const unsigned port : ports) {
        const auto found = ports_.find(port);
        if (found != ports_.end())
            sink->write(part(token(port, found->second, true)));
    }
    monitors_.push_back(Monitor{std::move(ports), std::move(sink)});
}

void IoPorts::keepAlive()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = monitors_.begin(); it != monitors_.end();) {
        if (!it->sink->write(part("")))
            it = monitors_.erase(it);
        else
            ++it;
    }
}

std::size_t IoPorts::cutMonitors()
{
    std::vector<Monitor> monitors;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        prune();
        monitors.swap(monitors_);
    }
    for (auto& monitor : monitors)
        monitor.sink->cut();
    return monitors.size();
}

// A zero-length write sends nothing and tells whether the client is still there.
void IoPorts::prune()
{
    monitors_.erase(std::remove_if(monitors_.begin(), monitors_.end(),
                                   [](const Monitor& m) { return !m.sink->write(std::string()); }),
                    monitors_.end());
}

std::size_t IoPorts::monitors()
{
    std::lock_guard<std::mutex> lock(mutex_);
    prune();
    return monitors_.size();
}

Json::Value IoPorts::toJson()
{
    std::lock_guard<std::mutex> lock(mutex_);
    prune();
    Json::Value out(Json::objectValue);
    Json::Value ports(Json::arrayValue);
    for (const auto& [number, state] : ports_) {
        Json::Value port;
        port["port"] = number;
        port["direction"] = state.output ? "output" : "input";
        port["active"] = state.active;
        ports.append(port);
    }
    out["ports"] = ports;
    Json::Value virtuals(Json::objectValue);
    for (const auto& [n, active] : virtual_)
        virtuals[std::to_string(n)] = active;
    out["virtualInputs"] = virtuals;
    out["monitors"] = static_cast<Json::UInt64>(monitors_.size());
    return out;
}

} // namespace Camsim

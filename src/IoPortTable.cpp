#include "IoPortTable.h"

namespace Vapixcam {

void IoPortTable::setDirections(std::map<unsigned, PortDirection> directions)
{
    directions_ = std::move(directions);
    inputs_.clear();
    outputs_.clear();
    relays_.clear();
    std::uint32_t rays = 0;
    std::uint32_t relays = 0;
    for (const auto& [index, direction] : directions_) {
        if (direction == PortDirection::input) {
            inputs_[index] = Entry{rays++};
        } else {
            relays_[relays] = index;
            outputs_[index] = Entry{relays++};
        }
    }
    known_ = true;
}

IoPortTable::Outcome IoPortTable::update(unsigned portIndex, bool active,
                                         std::optional<PortDirection> direction, Report& report)
{
    const auto found = directions_.find(portIndex);
    if (found == directions_.end() || (direction && *direction != found->second))
        return Outcome::unknownPort;
    auto& table = found->second == PortDirection::input ? inputs_ : outputs_;
    Entry& entry = table.at(portIndex);
    const State state = active ? State::active : State::inactive;
    if (entry.state == state)
        return Outcome::unchanged;
    entry.state = state;
    report = Report{found->second, entry.number, active};
    return Outcome::report;
}

std::vector<unsigned> IoPortTable::cameraPorts(std::optional<PortDirection> direction) const
{
    std::vector<unsigned> ports;
    for (const auto& [index, d] : directions_) {
        if (!direction || d == *direction)
            ports.push_back(index + 1);
    }
    return ports;
}

std::vector<std::pair<PortDirection, unsigned>> IoPortTable::unknownPorts() const
{
    std::vector<std::pair<PortDirection, unsigned>> out;
    for (const auto& [index, direction] : directions_) {
        const auto& table = direction == PortDirection::input ? inputs_ : outputs_;
        if (table.at(index).state == State::unknown)
            out.emplace_back(direction, index);
    }
    return out;
}

std::optional<unsigned> IoPortTable::relayPort(std::uint32_t relay) const
{
    const auto found = relays_.find(relay);
    if (found == relays_.end())
        return std::nullopt;
    return found->second;
}

} // namespace Vapixcam

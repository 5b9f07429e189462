#pragma once
// The ports of an IO channel as the host sees them: each input port is a
// ray, each output port a relay, numbered from 0 in ascending port order,
// with the last state reported for each. A state is reported when it
// differs from the stored one or nothing was stored yet (unknown).
//
// Not thread-safe: the channel guards it with its lock.
#include "IoAnswers.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace Vapixcam {

class IoPortTable {
public:
    enum class State { inactive = 0, active = 1, unknown = 2 };

    struct Report {
        PortDirection direction; // input: a ray, output: a relay
        std::uint32_t number;
        bool active;
    };
    enum class Outcome { report, unchanged, unknownPort };

    // Rebuilds the tables from the directions (zero-based port index ->
    // direction); every state is unknown again.
    void setDirections(std::map<unsigned, PortDirection> directions);
    bool directionsKnown() const { return known_; }
    // Until the next setDirections.
    void forgetDirections() { known_ = false; }

    // Stores the state of a port; report is filled when it is to be told.
    // direction, when given, is the only one accepted (a monitor stream
    // reports the ports of its own direction).
    Outcome update(unsigned portIndex, bool active, std::optional<PortDirection> direction, Report& report);

    // Camera port numbers (index + 1) of one direction, or of all ports.
    std::vector<unsigned> cameraPorts(std::optional<PortDirection> direction = std::nullopt) const;
    // Ports whose state is still unknown, as (direction, zero-based index).
    std::vector<std::pair<PortDirection, unsigned>> unknownPorts() const;
    // The port index of a relay.
    std::optional<unsigned> relayPort(std::uint32_t relay) const;
    bool hasPort(unsigned portIndex) const { return directions_.count(portIndex) != 0; }

private:
    struct Entry {
        std::uint32_t number; // ray or relay number
        State state = State::unknown;
    };

    bool known_ = false;
    std::map<unsigned, PortDirection> directions_;
    std::map<unsigned, Entry> inputs_;
    std::map<unsigned, Entry> outputs_;
    std::map<std::uint32_t, unsigned> relays_;
};

} // namespace Vapixcam

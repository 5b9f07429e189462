#pragma once
// One host alarm over many camera sources (motion windows, temperature
// zones): the alarm opens with the first source that goes on and closes
// with the last one that goes off.
#include <optional>
#include <set>
#include <string>

namespace Vapixcam {

class ActiveSet {
public:
    // Records the source's state. The alarm state to raise when the set
    // changed between empty and non-empty; none otherwise (a second source
    // going on, a repeated off).
    std::optional<bool> update(const std::string& source, bool on);
    bool empty() const { return active_.empty(); }

private:
    std::set<std::string> active_;
};

} // namespace Vapixcam

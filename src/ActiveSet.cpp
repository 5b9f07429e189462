#include "ActiveSet.h"

namespace Vapixcam {

std::optional<bool> ActiveSet::update(const std::string& source, bool on)
{
    const bool wasEmpty = active_.empty();
    if (on)
        active_.insert(source);
    else
        active_.erase(source);
    if (wasEmpty != active_.empty())
        return !active_.empty();
    return std::nullopt;
}

} // namespace Vapixcam

#pragma once
// Network-order writers for the packets and headers NetKit builds.
#include <cstdint>
#include <vector>

namespace Orix::Utility {

inline void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

} // namespace Orix::Utility

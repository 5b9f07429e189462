#pragma once
// ITU-T G.711 companding: 16-bit linear PCM to and from mu-law and A-law
// octets. Pure functions on bytes, no state.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orix::Utility {

std::uint8_t linearToMulaw(std::int16_t sample);
std::int16_t mulawToLinear(std::uint8_t code);
std::uint8_t linearToAlaw(std::int16_t sample);
std::int16_t alawToLinear(std::uint8_t code);

enum class G711Law { mulaw, alaw };

// One octet per sample, in order.
std::vector<std::uint8_t> encodeG711(G711Law law, const std::int16_t* samples, std::size_t count);
std::vector<std::int16_t> decodeG711(G711Law law, const std::uint8_t* codes, std::size_t count);

} // namespace Orix::Utility

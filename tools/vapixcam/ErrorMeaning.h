#pragma once
// What a host result code means, in words for a person at a terminal.
#include <cstdint>
#include <string>

namespace VapixcamCli {

// The meaning of a host result code; "unknown error" for a code the host
// does not define.
std::string errorMeaning(std::uint32_t code);

// "0x201": the code as the host documents it, at least three hex digits.
std::string formatResultCode(std::uint32_t code);

// A failure for the one line vapixcam prints: its meaning and code, then the
// reason the driver last logged as an error, which the code alone does not
// tell ("unauthorized (code 0x201): No challenge we can answer ...").
std::string failureText(std::uint32_t code);

} // namespace VapixcamCli

#pragma once
// Host time: milliseconds since startOfEpoch(), the time base of
// timeStamp() (GlobalService.h).
#include <chrono>
#include <cstdint>
#include <netkit/util/GlobalService.h>
#include <optional>
#include <string>

namespace Orix::Utility {

// Midnight of the host's epoch date, 1970-01-01 00:00 UTC.
std::chrono::system_clock::time_point startOfEpoch();

// A camera's UTC time "YYYY-MM-DDTHH:MM:SS[.fraction]Z" as host time,
// rounded toward zero; nothing for any other text (no Z, a date that does
// not exist, a time before the epoch).
std::optional<std::uint64_t> utcTextToTimeStamp(const std::string& text);

} // namespace Orix::Utility

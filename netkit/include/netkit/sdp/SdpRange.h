#pragma once
// The "a=range" attribute and RTSP Range header values (RFC 2326 section 3.6, 3.7).
#include <boost/system/error_code.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace Orix::Utility {

// npt ranges are seconds from the start of the presentation ("now" for live);
// clock ranges are absolute UTC times, in microseconds since 1970-01-01, as
// Axis edge-storage playback uses them (clock=20240621T071725Z-).
struct SdpRange {
    enum class Kind { npt, clock };
    Kind kind = Kind::npt;
    bool startIsNow = false;                // npt=now-
    std::optional<double> startSeconds;     // npt
    std::optional<double> endSeconds;       // npt; absent for an open range
    std::optional<std::int64_t> startUtcMicros; // clock
    std::optional<std::int64_t> endUtcMicros;   // clock; absent for an open range
};

// Parses "npt=..." or "clock=..." (the attribute value after "range:"; a
// trailing ";time=..." parameter is ignored). Errors: SdpError::malformedRange.
boost::system::error_code parseRange(const std::string& text, SdpRange& out);

// Formats a range for an RTSP Range header: "npt=now-", "npt=12.5-20",
// "clock=20240621T071725Z-" (fractions of a second only when present, as
// ".123Z").
std::string formatRange(const SdpRange& range);

// UTC "YYYYMMDDTHHMMSS[.fraction]Z" → microseconds since 1970; nothing when malformed.
std::optional<std::int64_t> parseUtcClock(const std::string& text);
std::string formatUtcClock(std::int64_t utcMicros);

// The same instants as the ISO 8601 UTC text of VAPIX lists
// ("2024-06-21T07:17:25.349296Z", the fraction optional) → microseconds;
// nothing when malformed or without the "Z".
std::optional<std::int64_t> parseIsoUtc(const std::string& text);
// With fractionDigits (0 to 6) digits of the second, truncated:
// "2024-06-21T07:17:25Z", "2024-06-21T07:17:25.349Z".
std::string formatIsoUtc(std::int64_t utcMicros, unsigned fractionDigits);

} // namespace Orix::Utility

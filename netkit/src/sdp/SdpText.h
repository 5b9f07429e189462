#pragma once
// Number parsing for the SDP sources, and the shared text helpers as they use them.
#include <netkit/util/TextUtil.h>

#include <cstdint>
#include <optional>
#include <string>

namespace Orix::Utility::sdptext {

// SDP lines end in CRLF or LF; values are trimmed of both.
inline std::string trim(const std::string& s) { return std::string(text::trim(s, text::kWhitespace)); }
using text::iequals;

// A decimal unsigned number with no sign, no spaces, no overflow past `max`.
inline std::optional<std::uint64_t> parseUnsigned(const std::string& s,
                                                  std::uint64_t max = UINT32_MAX)
{
    if (s.empty() || s.size() > 20)
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + std::uint64_t(c - '0');
        if (v > max)
            return std::nullopt;
    }
    return v;
}

// A non-negative decimal with an optional fraction ("25", "25.000000", ".5").
inline std::optional<double> parseDecimal(const std::string& s)
{
    if (s.empty() || s.size() > 32)
        return std::nullopt;
    double whole = 0, scale = 1;
    bool dot = false, digits = false;
    for (char c : s) {
        if (c == '.' && !dot) {
            dot = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (dot) {
                scale /= 10;
                whole += (c - '0') * scale;
            } else {
                whole = whole * 10 + (c - '0');
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    return whole;
}

} // namespace Orix::Utility::sdptext

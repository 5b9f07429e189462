#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpRange.h>

#include "sdp/SdpText.h"
#include "util/CivilDate.h"

#include <algorithm>
#include <cstdio>

namespace Orix::Utility {

using namespace sdptext;

namespace {

using civil::civilFromDays;
using civil::daysFromCivil;

// npt-time: "now", seconds with optional fraction, or h:mm:ss[.fraction]
// (RFC 2326 section 3.6).
std::optional<double> parseNptTime(const std::string& s)
{
    const std::size_t c1 = s.find(':');
    if (c1 == std::string::npos)
        return parseDecimal(s);
    const std::size_t c2 = s.find(':', c1 + 1);
    if (c2 == std::string::npos)
        return std::nullopt;
    const auto h = parseUnsigned(s.substr(0, c1), 1000000);
    const auto m = parseUnsigned(s.substr(c1 + 1, c2 - c1 - 1), 59);
    const auto sec = parseDecimal(s.substr(c2 + 1));
    if (!h || !m || !sec || *sec >= 60)
        return std::nullopt;
    return double(*h) * 3600 + double(*m) * 60 + *sec;
}

std::string formatSeconds(double seconds)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
    std::string s = buffer;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

} // namespace

std::optional<std::int64_t> parseUtcClock(const std::string& text)
{
    // YYYYMMDDTHHMMSS[.fraction]Z (RFC 2326 section 3.7)
    if (text.size() < 16 || text[8] != 'T' || text.back() != 'Z')
        return std::nullopt;
    const auto date = parseUnsigned(text.substr(0, 8), 99999999);
    const auto hh = parseUnsigned(text.substr(9, 2), 23);
    const auto mm = parseUnsigned(text.substr(11, 2), 59);
    const auto ss = parseUnsigned(text.substr(13, 2), 60);
    if (!date || !hh || !mm || !ss)
        return std::nullopt;
    const unsigned year = unsigned(*date / 10000), month = unsigned(*date / 100 % 100),
                   day = unsigned(*date % 100);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    std::int64_t micros = 0;
    const std::string fraction = text.substr(15, text.size() - 16);
    if (!fraction.empty()) {
        if (fraction[0] != '.' || fraction.size() < 2 || fraction.size() > 10)
            return std::nullopt;
        std::int64_t scale = 100000;
        for (std::size_t i = 1; i < fraction.size(); ++i) {
            const char c = fraction[i];
            if (c < '0' || c > '9')
                return std::nullopt;
            micros += (c - '0') * scale;
            scale /= 10;
        }
    }
    const std::int64_t days = daysFromCivil(year, month, day);
    return ((days * 24 + std::int64_t(*hh)) * 60 + std::int64_t(*mm)) * 60 * 1000000 +
           std::int64_t(*ss) * 1000000 + micros;
}

std::string formatUtcClock(std::int64_t utcMicros)
{
    std::int64_t seconds = utcMicros / 1000000;
    std::int64_t micros = utcMicros % 1000000;
    if (micros < 0) {
        micros += 1000000;
        --seconds;
    }
    std::int64_t days = seconds / 86400;
    std::int64_t rem = seconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    int y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d%02u%02uT%02d%02d%02d", y, m, d, int(rem / 3600),
                  int(rem / 60 % 60), int(rem % 60));
    std::string s = buffer;
    if (micros) {
        std::snprintf(buffer, sizeof buffer, ".%06d", int(micros));
        std::string f = buffer;
        while (f.back() == '0')
            f.pop_back();
        s += f;
    }
    return s + "Z";
}

boost::system::error_code parseRange(const std::string& text, SdpRange& out)
{
    out = SdpRange();
    std::string value = trim(text);
    const std::size_t semicolon = value.find(';');
    if (semicolon != std::string::npos)
        value = trim(value.substr(0, semicolon));
    const std::size_t eq = value.find('=');
    if (eq == std::string::npos)
        return SdpError::malformedRange;
    const std::string unit = value.substr(0, eq);
    const std::string span = value.substr(eq + 1);
    const std::size_t dash = span.find('-');
    if (dash == std::string::npos)
        return SdpError::malformedRange;
    const std::string start = span.substr(0, dash);
    const std::string end = span.substr(dash + 1);

    if (unit == "npt") {
        out.kind = SdpRange::Kind::npt;
        if (start == "now") {
            out.startIsNow = true;
        } else if (!start.empty()) {
            out.startSeconds = parseNptTime(start);
            if (!out.startSeconds)
                return SdpError::malformedRange;
        }
        if (!end.empty()) {
            out.endSeconds = parseNptTime(end);
            if (!out.endSeconds)
                return SdpError::malformedRange;
        }
        if (!out.startIsNow && !out.startSeconds && !out.endSeconds)
            return SdpError::malformedRange;
        return {};
    }
    if (unit == "clock") {
        out.kind = SdpRange::Kind::clock;
        if (!start.empty()) {
            out.startUtcMicros = parseUtcClock(start);
            if (!out.startUtcMicros)
                return SdpError::malformedRange;
        }
        if (!end.empty()) {
            out.endUtcMicros = parseUtcClock(end);
            if (!out.endUtcMicros)
                return SdpError::malformedRange;
        }
        if (!out.startUtcMicros && !out.endUtcMicros)
            return SdpError::malformedRange;
        return {};
    }
    return SdpError::malformedRange;
}

std::string formatRange(const SdpRange& range)
{
    if (range.kind == SdpRange::Kind::clock) {
        std::string s = "clock=";
        if (range.startUtcMicros)
            s += formatUtcClock(*range.startUtcMicros);
        s += "-";
        if (range.endUtcMicros)
            s += formatUtcClock(*range.endUtcMicros);
        return s;
    }
    std::string s = "npt=";
    if (range.startIsNow)
        s += "now";
    else if (range.startSeconds)
        s += formatSeconds(*range.startSeconds);
    s += "-";
    if (range.endSeconds)
        s += formatSeconds(*range.endSeconds);
    return s;
}

std::optional<std::int64_t> parseIsoUtc(const std::string& text)
{
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    return parseUtcClock(text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2) + "T" + text.substr(11, 2) +
                         text.substr(14, 2) + text.substr(17));
}

std::string formatIsoUtc(std::int64_t utcMicros, unsigned fractionDigits)
{
    std::int64_t micros = utcMicros % 1000000;
    if (micros < 0)
        micros += 1000000;
    const std::string clock = formatUtcClock(utcMicros - micros);
    std::string out = clock.substr(0, 4) + "-" + clock.substr(4, 2) + "-" + clock.substr(6, 2) + "T" +
                      clock.substr(9, 2) + ":" + clock.substr(11, 2) + ":" + clock.substr(13, 2);
    if (fractionDigits > 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%06d", static_cast<int>(micros));
        out += "." + std::string(digits, std::min(fractionDigits, 6u));
    }
    return out + "Z";
}

} // namespace Orix::Utility

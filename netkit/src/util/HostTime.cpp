#include <netkit/util/HostTime.h>

#include "util/CivilDate.h"

namespace Orix::Utility {

namespace {

using civil::daysFromCivil;
using civil::daysInMonth;

// Reads exactly n digits at pos.
bool digits(const std::string& text, std::size_t& pos, std::size_t n, unsigned& out)
{
    out = 0;
    for (std::size_t i = 0; i < n; ++i, ++pos) {
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
            return false;
        out = out * 10 + static_cast<unsigned>(text[pos] - '0');
    }
    return true;
}

bool literal(const std::string& text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

std::chrono::system_clock::time_point startOfEpoch()
{
    static const auto epoch = std::chrono::system_clock::time_point{};
    return epoch;
}

std::optional<std::uint64_t> utcTextToTimeStamp(const std::string& text)
{
    std::size_t pos = 0;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(text, pos, 4, year) || !literal(text, pos, '-') || !digits(text, pos, 2, month) ||
        !literal(text, pos, '-') || !digits(text, pos, 2, day) || !literal(text, pos, 'T') ||
        !digits(text, pos, 2, hour) || !literal(text, pos, ':') || !digits(text, pos, 2, minute) ||
        !literal(text, pos, ':') || !digits(text, pos, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;
    std::uint64_t millis = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::size_t count = 0;
        unsigned scale = 100;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++count) {
            if (count >= 12)
                return std::nullopt;
            millis += static_cast<unsigned>(text[pos] - '0') * scale;
            scale /= 10;
        }
        if (count == 0)
            return std::nullopt;
    }
    if (!literal(text, pos, 'Z') || pos != text.size())
        return std::nullopt;

    const std::int64_t days = daysFromCivil(year, month, day);
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    const std::int64_t sinceEpoch =
        seconds - std::chrono::duration_cast<std::chrono::seconds>(startOfEpoch().time_since_epoch()).count();
    if (sinceEpoch < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(sinceEpoch) * 1000 + millis;
}

} // namespace Orix::Utility

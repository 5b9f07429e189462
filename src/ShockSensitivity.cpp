#include "ShockSensitivity.h"

#include <cctype>
#include <cstddef>

namespace Vapixcam {

namespace {

bool nameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

bool endsWithLevel(const std::string& name)
{
    static const std::string kLevel = "level";
    if (name.size() < kLevel.size())
        return false;
    for (std::size_t i = 0; i < kLevel.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - kLevel.size() + i])) != kLevel[i])
            return false;
    return true;
}

// An optionally signed integer of at most nine digits at pos, after blanks.
std::optional<int> integerAt(const std::string& text, std::size_t pos)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && text[pos] == '-') {
        negative = true;
        ++pos;
    }
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && digits < 9) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0 || (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))))
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace

std::optional<int> readShockSensitivity(const std::string& answer)
{
    for (std::size_t open = answer.find('<'); open != std::string::npos; open = answer.find('<', open + 1)) {
        std::size_t end = open + 1;
        while (end < answer.size() && nameChar(answer[end]))
            ++end;
        if (end < answer.size() && answer[end] == '>' && endsWithLevel(answer.substr(open + 1, end - open - 1)))
            return integerAt(answer, end + 1);
    }
    for (std::size_t at = 0; at + 6 <= answer.size(); ++at) {
        if (!endsWithLevel(answer.substr(at, 5)) || (at > 0 && nameChar(answer[at - 1])))
            continue;
        std::size_t pos = at + 5;
        while (pos < answer.size() && answer[pos] == ' ')
            ++pos;
        if (pos < answer.size() && answer[pos] == '=')
            return integerAt(answer, pos + 1);
    }
    return std::nullopt;
}

} // namespace Vapixcam

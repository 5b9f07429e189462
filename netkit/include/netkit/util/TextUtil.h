#pragma once
// ASCII text helpers for protocol text (headers, SDP lines, URLs): trimming,
// lower-casing and case-insensitive comparison. Locale-independent; bytes
// above 0x7f are compared as they are.
#include <string>
#include <string_view>

namespace Orix::Utility::text {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kWhitespace = " \t\r\n";

// `s` without leading and trailing characters of `chars`.
inline std::string_view trim(std::string_view s, std::string_view chars = kBlanks)
{
    const auto begin = s.find_first_not_of(chars);
    if (begin == std::string_view::npos)
        return {};
    const auto end = s.find_last_not_of(chars);
    return s.substr(begin, end - begin + 1);
}

inline char toLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline std::string toLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = toLower(c);
    return out;
}

inline bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (toLower(a[i]) != toLower(b[i]))
            return false;
    }
    return true;
}

inline bool istartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

// Position of `needle` in `text` at or after `from`, ignoring case; npos if absent.
inline std::size_t ifind(std::string_view text, std::string_view needle, std::size_t from = 0)
{
    if (needle.size() > text.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (iequals(text.substr(i, needle.size()), needle))
            return i;
    }
    return std::string_view::npos;
}

// The value of a hexadecimal digit (either case), -1 for any other character.
inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace Orix::Utility::text

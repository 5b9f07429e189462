#include "FormData.h"

namespace Camsim {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::string> formDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<FormPairs> parseForm(const std::string& text)
{
    FormPairs pairs;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(start, end - start);
        if (!piece.empty()) {
            const auto eq = piece.find('=');
            auto name = formDecode(piece.substr(0, eq));
            auto value = formDecode(eq == std::string::npos ? std::string() : piece.substr(eq + 1));
            if (!name || !value)
                return std::nullopt;
            pairs.emplace_back(std::move(*name), std::move(*value));
        }
        start = end + 1;
    }
    return pairs;
}

std::optional<std::string> formValue(const FormPairs& pairs, const std::string& name)
{
    for (const auto& p : pairs) {
        if (p.first == name)
            return p.second;
    }
    return std::nullopt;
}

} // namespace Camsim

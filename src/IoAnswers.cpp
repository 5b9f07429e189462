#include "IoAnswers.h"

#include <cctype>
#include <netkit/util/TextUtil.h>

namespace Vapixcam {

namespace {

constexpr unsigned kMaxPortNumber = 256;

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The decimal number at text[pos], at most three digits; advances pos.
std::optional<unsigned> readNumber(std::string_view text, std::size_t& pos)
{
    std::size_t end = pos;
    unsigned value = 0;
    while (end < text.size() && isDigit(text[end]) && end - pos < 3)
        value = value * 10 + static_cast<unsigned>(text[end++] - '0');
    if (end == pos || (end < text.size() && isDigit(text[end])))
        return std::nullopt;
    pos = end;
    return value;
}

std::optional<std::string_view> between(std::string_view body, std::string_view open, std::string_view close)
{
    const auto begin = body.find(open);
    if (begin == std::string_view::npos)
        return std::nullopt;
    const auto from = begin + open.size();
    const auto end = body.find(close, from);
    if (end == std::string_view::npos)
        return std::nullopt;
    return body.substr(from, end - from);
}

} // namespace

std::map<unsigned, PortDirection> parsePortDirections(std::string_view body)
{
    constexpr std::string_view kPrefix = "root.IOPort.I";
    constexpr std::string_view kKey = ".Direction=";
    std::map<unsigned, PortDirection> directions;
    std::size_t lineStart = 0;
    while (lineStart < body.size()) {
        auto lineEnd = body.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = body.size();
        const std::string_view line = Orix::Utility::text::trim(body.substr(lineStart, lineEnd - lineStart),
                                                                Orix::Utility::text::kWhitespace);
        lineStart = lineEnd + 1;
        if (line.substr(0, kPrefix.size()) != kPrefix)
            continue;
        std::size_t pos = kPrefix.size();
        const auto index = readNumber(line, pos);
        if (!index || *index >= kMaxPortNumber || line.substr(pos, kKey.size()) != kKey)
            continue;
        const std::string_view word = line.substr(pos + kKey.size());
        if (word == "input")
            directions[*index] = PortDirection::input;
        else if (word == "output")
            directions[*index] = PortDirection::output;
    }
    return directions;
}

std::vector<PortStatus> parsePortCheck(std::string_view body)
{
    std::vector<PortStatus> out;
    for (std::size_t at = body.find("port"); at != std::string_view::npos; at = body.find("port", at + 1)) {
        std::size_t pos = at + 4;
        const auto port = readNumber(body, pos);
        if (!port || *port == 0 || pos + 1 >= body.size() || body[pos] != '=' ||
            (body[pos + 1] != '0' && body[pos + 1] != '1'))
            continue;
        if (pos + 2 < body.size() && isDigit(body[pos + 2]))
            continue;
        out.push_back({*port, body[pos + 1] == '1'});
    }
    return out;
}

std::vector<PortStatus> parseMonitorPart(std::string_view text, char direction)
{
    std::vector<PortStatus> out;
    std::size_t pos = 0;
    for (;;) {
        pos = text.find_first_not_of(Orix::Utility::text::kWhitespace, pos);
        if (pos == std::string_view::npos)
            return out;
        const auto port = readNumber(text, pos);
        if (!port || *port == 0 || pos + 2 >= text.size() || text[pos] != direction || text[pos + 1] != ':')
            return out;
        const char state = text[pos + 2];
        pos += 3;
        if (pos < text.size() && text[pos] != '\r' && text[pos] != '\n')
            return out;
        if (state == '/' || state == 'H')
            out.push_back({*port, true});
        else if (state == '\\' || state == 'L')
            out.push_back({*port, false});
        else
            return out;
    }
}

std::string joinPorts(const std::vector<unsigned>& ports)
{
    std::string out;
    for (const unsigned port : ports) {
        if (!out.empty())
            out += ',';
        out += std::to_string(port);
    }
    return out;
}

std::optional<VirtualInputError> virtualInputError(std::string_view body)
{
    const auto code = between(body, "<ErrorCode>", "</ErrorCode>");
    const auto description = between(body, "<ErrorDescription>", "</ErrorDescription>");
    if (!code && !description)
        return std::nullopt;
    return VirtualInputError{std::string(code.value_or("")), std::string(description.value_or(""))};
}

} // namespace Vapixcam

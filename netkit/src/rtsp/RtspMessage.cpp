#include <netkit/rtsp/RtspMessage.h>


namespace Orix::Utility::rtsp {
using text::trim;

const std::string* RtspMessage::find(std::string_view name) const
{
    for (const auto& h : headers) {
        if (iequals(h.name, name))
            return &h.value;
    }
    return nullptr;
}

std::vector<std::string> RtspMessage::findAll(std::string_view name) const
{
    std::vector<std::string> out;
    for (const auto& h : headers) {
        if (iequals(h.name, name))
            out.push_back(h.value);
    }
    return out;
}

std::optional<std::uint32_t> RtspMessage::cseq() const
{
    const std::string* value = find("CSeq");
    if (!value)
        return std::nullopt;
    std::string_view v = trim(*value);
    if (v.empty() || v.size() > 10)
        return std::nullopt;
    std::uint64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 0xffffffffu)
        return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

void RtspRequest::set(std::string name, std::string value)
{
    for (auto& h : headers) {
        if (iequals(h.name, name)) {
            h.value = std::move(value);
            return;
        }
    }
    headers.push_back({std::move(name), std::move(value)});
}

std::string RtspRequest::serialize() const
{
    std::string out;
    out.reserve(256 + body.size());
    out += method;
    out += ' ';
    out += uri;
    out += " RTSP/1.0\r\nCSeq: ";
    out += std::to_string(cseq);
    out += "\r\n";
    for (const auto& h : headers) {
        out += h.name;
        out += ": ";
        out += h.value;
        out += "\r\n";
    }
    if (!body.empty()) {
        out += "Content-Length: ";
        out += std::to_string(body.size());
        out += "\r\n";
    }
    out += "\r\n";
    out += body;
    return out;
}

bool parseSessionHeader(std::string_view value, SessionHeader& out)
{
    SessionHeader result;
    std::size_t semi = value.find(';');
    result.id = std::string(trim(value.substr(0, semi)));
    if (result.id.empty())
        return false;
    std::string_view rest = semi == std::string_view::npos ? std::string_view{} : value.substr(semi + 1);
    while (!rest.empty()) {
        std::size_t next = rest.find(';');
        std::string_view param = trim(rest.substr(0, next));
        rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
        std::size_t eq = param.find('=');
        if (eq == std::string_view::npos || !iequals(trim(param.substr(0, eq)), "timeout"))
            continue;
        std::string_view number = trim(param.substr(eq + 1));
        unsigned long seconds = 0;
        bool ok = !number.empty() && number.size() <= 6;
        for (char c : number) {
            if (c < '0' || c > '9') {
                ok = false;
                break;
            }
            seconds = seconds * 10 + static_cast<unsigned>(c - '0');
        }
        if (ok && seconds > 0)
            result.timeout = std::chrono::seconds(seconds);
    }
    out = std::move(result);
    return true;
}

std::vector<std::string> parsePublicHeader(std::string_view value)
{
    std::vector<std::string> out;
    while (!value.empty()) {
        std::size_t comma = value.find(',');
        std::string_view item = trim(value.substr(0, comma));
        if (!item.empty()) {
            std::string upper(item);
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            out.push_back(std::move(upper));
        }
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return out;
}

} // namespace Orix::Utility::rtsp

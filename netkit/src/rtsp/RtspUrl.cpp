#include <netkit/rtsp/RtspUrl.h>

#include <netkit/rtsp/RtspMessage.h>
#include <netkit/util/TextUtil.h>

#include <cctype>

namespace Orix::Utility::rtsp {
namespace {

using text::trim;

// Length of "scheme://" at the start of text, 0 when there is none.
std::size_t schemePrefix(std::string_view text)
{
    std::size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0)
        return 0;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = text[i];
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return colon + 3;
}

} // namespace

std::string RtspUrl::authority() const
{
    std::string out = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (explicitPort)
        out += ":" + std::to_string(port);
    return out;
}

std::string RtspUrl::toString() const
{
    return scheme + "://" + authority() + target;
}

bool parseRtspUrl(std::string_view text, RtspUrl& out)
{
    text = trim(text);
    std::size_t prefix = schemePrefix(text);
    if (prefix == 0)
        return false;
    RtspUrl url;
    url.scheme.clear();
    for (char c : text.substr(0, prefix - 3))
        url.scheme += text::toLower(c);
    if (url.scheme != "rtsp" && url.scheme != "rtsps" && url.scheme != "http" && url.scheme != "https")
        return false;
    if (url.scheme == "rtsps")
        url.port = 322;
    else if (url.scheme == "http")
        url.port = 80;
    else if (url.scheme == "https")
        url.port = 443;
    std::string_view rest = text.substr(prefix);
    std::size_t slash = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos) {
        url.target = std::string(rest.substr(slash));
        if (url.target.front() == '?')
            url.target.insert(url.target.begin(), '/');
    }
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority = authority.substr(at + 1);
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        url.host = std::string(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portText = after.substr(1);
        }
    } else {
        std::size_t colon = authority.find(':');
        url.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = authority.substr(colon + 1);
    }
    if (url.host.empty())
        return false;
    for (char c : url.host) {
        // A bracket inside the host could not be written back (toString).
        if (c == ' ' || c == '/' || c == '\\' || c == '[' || c == ']' ||
            static_cast<unsigned char>(c) < 0x21)
            return false;
    }
    if (!portText.empty()) {
        if (portText.size() > 5)
            return false;
        unsigned long port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + static_cast<unsigned long>(c - '0');
        }
        if (port == 0 || port > 65535)
            return false;
        url.port = static_cast<std::uint16_t>(port);
        url.explicitPort = true;
    }
    for (char c : url.target) {
        if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f)
            return false; // a request line cannot carry it
    }
    out = std::move(url);
    return true;
}

std::string urlForDisplay(std::string_view text)
{
    // Blanks around a URL do not stop parseRtspUrl; they must not keep the
    // user info in the display form either.
    text = trim(text);
    std::size_t prefix = schemePrefix(text);
    if (prefix == 0)
        return std::string(text);
    std::string_view rest = text.substr(prefix);
    std::size_t slash = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, slash);
    std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos)
        return std::string(text);
    return std::string(text.substr(0, prefix)) + std::string(rest.substr(at + 1));
}

std::string resolveControlUrl(std::string_view base, std::string_view control)
{
    base = trim(base);
    control = trim(control);
    if (control.empty() || control == "*")
        return std::string(base);
    if (schemePrefix(control) != 0)
        return std::string(control);
    std::size_t prefix = schemePrefix(base);
    std::size_t pathStart = base.find('/', prefix);
    std::size_t queryStart = base.find('?', prefix);
    if (pathStart == std::string_view::npos || (queryStart != std::string_view::npos && queryStart < pathStart))
        pathStart = queryStart;
    std::string_view origin = base.substr(0, pathStart);
    if (control.front() == '/')
        return std::string(origin) + std::string(control);
    std::string_view path;
    std::string_view query;
    if (pathStart != std::string_view::npos) {
        std::string_view tail = base.substr(pathStart);
        std::size_t q = tail.find('?');
        path = tail.substr(0, q);
        if (q != std::string_view::npos)
            query = tail.substr(q);
    }
    std::string out(origin);
    out += path;
    if (out.empty() || out.back() != '/')
        out += '/';
    out += control;
    if (!query.empty() && control.find('?') == std::string_view::npos)
        out += query;
    return out;
}

std::string describeBaseUrl(const RtspMessage& describeAnswer, const std::string& requestUrl)
{
    if (const std::string* base = describeAnswer.find("Content-Base")) {
        if (!trim(*base).empty())
            return std::string(trim(*base));
    }
    if (const std::string* location = describeAnswer.find("Content-Location")) {
        if (schemePrefix(trim(*location)) != 0)
            return std::string(trim(*location));
    }
    return requestUrl;
}

} // namespace Orix::Utility::rtsp

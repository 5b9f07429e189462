#include <netkit/asio/ConnectionInfo.h>

#include <netkit/util/TextUtil.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cctype>

namespace Orix::asio {

namespace {

using Orix::Utility::text::hexValue;

bool parsePort(const std::string& text, std::uint16_t& port)
{
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    const unsigned long value = std::stoul(text);
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool truthy(const std::string& value)
{
    return value == "1" || value == "true" || value == "yes" || value == "on";
}

bool validHostName(const std::string& host)
{
    if (host.empty() || host.size() > 253)
        return false;
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_';
    });
}

std::string normaliseFingerprint(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == ':' || c == ' ')
            continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

} // namespace

bool percentDecode(const std::string& in, std::string& out)
{
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size())
            return false;
        const int hi = hexValue(in[i + 1]);
        const int lo = hexValue(in[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::string percentEncode(const std::string& in)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : in) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::string ConnectionInfo::authority() const
{
    std::string text = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    const std::uint16_t defaultPort = secure() ? 443 : 80;
    if (port != defaultPort)
        text += ":" + std::to_string(port);
    return text;
}

std::string ConnectionInfo::display() const
{
    std::string text = scheme + "://";
    text += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    text += ":" + std::to_string(port);
    return text;
}

std::shared_ptr<ConnectionInfo> parseConnectionInfo(const std::string& text)
{
    if (text.size() > 4096)
        return nullptr;
    auto info = std::make_shared<ConnectionInfo>();

    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos)
        return nullptr;
    std::string scheme = text.substr(0, schemeEnd);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme != "http" && scheme != "https")
        return nullptr;
    info->scheme = scheme;

    std::string rest = text.substr(schemeEnd + 3);
    std::string query;
    if (const auto q = rest.find('?'); q != std::string::npos) {
        query = rest.substr(q + 1);
        rest.erase(q);
    }
    // The authority ends at the first '/' after the credentials.
    // Credentials end at the last '@' so that an unencoded '@' in a password
    // still parses.
    const auto at = rest.rfind('@');
    std::string hostPart = rest;
    if (at != std::string::npos) {
        const std::string credentials = rest.substr(0, at);
        hostPart = rest.substr(at + 1);
        const auto colon = credentials.find(':');
        const std::string user = credentials.substr(0, colon);
        const std::string password =
            colon == std::string::npos ? std::string() : credentials.substr(colon + 1);
        if (!percentDecode(user, info->user) || !percentDecode(password, info->password))
            return nullptr;
    }
    if (const auto slash = hostPart.find('/'); slash != std::string::npos) {
        const std::string path = hostPart.substr(slash);
        if (path != "/")
            return nullptr;
        hostPart.erase(slash);
    }

    std::string portText;
    if (!hostPart.empty() && hostPart.front() == '[') {
        const auto close = hostPart.find(']');
        if (close == std::string::npos)
            return nullptr;
        info->host = hostPart.substr(1, close - 1);
        const std::string after = hostPart.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return nullptr;
            portText = after.substr(1);
        }
        boost::system::error_code ec;
        boost::asio::ip::make_address_v6(info->host, ec);
        if (ec)
            return nullptr;
    } else {
        const auto colon = hostPart.rfind(':');
        if (colon != std::string::npos) {
            info->host = hostPart.substr(0, colon);
            portText = hostPart.substr(colon + 1);
        } else {
            info->host = hostPart;
        }
        if (!validHostName(info->host))
            return nullptr;
    }

    info->port = info->secure() ? 443 : 80;
    if (!portText.empty() && !parsePort(portText, info->port))
        return nullptr;

    std::size_t start = 0;
    while (start < query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string item = query.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        const auto eq = item.find('=');
        const std::string key = item.substr(0, eq);
        std::string value;
        if (!percentDecode(eq == std::string::npos ? std::string() : item.substr(eq + 1), value))
            return nullptr;
        if (key == "tls-accept-self-signed") {
            info->acceptSelfSigned = eq == std::string::npos || truthy(value);
        } else if (key == "tls-fingerprint") {
            info->certificateFingerprint = normaliseFingerprint(value);
            if (info->certificateFingerprint.size() != 64 ||
                !std::all_of(info->certificateFingerprint.begin(),
                             info->certificateFingerprint.end(),
                             [](char c) { return hexValue(c) >= 0; }))
                return nullptr;
        } else {
            return nullptr;
        }
    }

    info->endpoint.address = info->host;
    info->endpoint.port = info->port;
    return info;
}

std::string addressStringToDisplay(const std::string& text)
{
    if (const auto info = parseConnectionInfo(text))
        return info->display();
    std::string shown = text;
    if (const auto q = shown.find('?'); q != std::string::npos)
        shown.erase(q);
    if (const auto at = shown.rfind('@'); at != std::string::npos) {
        const auto schemeEnd = shown.find("://");
        const std::size_t from = schemeEnd == std::string::npos || schemeEnd > at ? 0 : schemeEnd + 3;
        shown.erase(from, at + 1 - from);
    }
    return shown;
}

bool resolveAddress(const std::string& address, Endpoint& endpoint, const std::string& port)
{
    std::uint16_t value = 0;
    if (!parsePort(port, value))
        return false;
    boost::system::error_code ec;
    const auto numeric = boost::asio::ip::make_address(address, ec);
    if (!ec) {
        endpoint.address = numeric.to_string();
        endpoint.port = value;
        return true;
    }
    boost::asio::io_context io;
    boost::asio::ip::tcp::resolver resolver(io);
    const auto results = resolver.resolve(address, port, ec);
    if (ec || results.empty())
        return false;
    endpoint.address = results.begin()->endpoint().address().to_string();
    endpoint.port = value;
    return true;
}

} // namespace Orix::asio

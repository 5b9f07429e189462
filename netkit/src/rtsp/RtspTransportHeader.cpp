#include <netkit/rtsp/RtspTransportHeader.h>

#include <netkit/rtsp/RtspMessage.h>
#include <netkit/util/TextUtil.h>

#include <cctype>
#include <cstdio>

namespace Orix::Utility::rtsp {
namespace {

using text::trim;

bool parseNumber(std::string_view text, unsigned long limit, unsigned long& out)
{
    text = trim(text);
    if (text.empty() || text.size() > 10)
        return false;
    unsigned long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    if (n > limit)
        return false;
    out = n;
    return true;
}

bool parsePair(std::string_view text, unsigned long limit, PortPair& out)
{
    std::size_t dash = text.find('-');
    unsigned long a = 0;
    unsigned long b = 0;
    if (!parseNumber(text.substr(0, dash), limit, a))
        return false;
    if (dash == std::string_view::npos) {
        if (a + 1 > limit)
            return false;
        b = a + 1;
    } else if (!parseNumber(text.substr(dash + 1), limit, b)) {
        return false;
    }
    out = {static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(b)};
    return true;
}

bool parseSsrc(std::string_view text, std::uint32_t& out)
{
    text = trim(text);
    if (text.empty() || text.size() > 8)
        return false;
    std::uint32_t n = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        n = (n << 4) | digit;
    }
    out = n;
    return true;
}

std::string unquote(std::string_view s)
{
    s = trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return std::string(s);
}

// destination= and source= name a host: a name, an IPv4 address or an IPv6
// address (bracketed or not). Anything else (quotes, blanks, separators) is
// not an address and is dropped, so that what is read can be written back.
std::string hostArgument(std::string_view s)
{
    const std::string host = unquote(s);
    for (const char c : host) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == ':' || c == '-' ||
                        c == '_' || c == '[' || c == ']' || c == '%';
        if (!ok)
            return {};
    }
    return host;
}

void appendPair(std::string& out, const char* name, const PortPair& pair)
{
    out += ';';
    out += name;
    out += '=';
    out += std::to_string(pair.first);
    out += '-';
    out += std::to_string(pair.second);
}

} // namespace

std::string buildTransportHeader(const TransportSpec& spec)
{
    std::string out = spec.tcp ? "RTP/AVP/TCP" : "RTP/AVP";
    out += spec.multicast ? ";multicast" : ";unicast";
    if (!spec.destination.empty())
        out += ";destination=" + spec.destination;
    if (spec.interleaved)
        appendPair(out, "interleaved", *spec.interleaved);
    if (spec.clientPort)
        appendPair(out, "client_port", *spec.clientPort);
    if (spec.serverPort)
        appendPair(out, "server_port", *spec.serverPort);
    if (spec.port)
        appendPair(out, "port", *spec.port);
    if (spec.ttl)
        out += ";ttl=" + std::to_string(*spec.ttl);
    if (spec.ssrc) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(*spec.ssrc));
        out += ";ssrc=";
        out += hex;
    }
    if (!spec.mode.empty())
        out += ";mode=\"" + spec.mode + "\"";
    return out;
}

bool parseTransportHeader(std::string_view value, TransportSpec& out)
{
    value = value.substr(0, value.find(','));
    TransportSpec spec;
    std::size_t semi = value.find(';');
    std::string_view protocol = trim(value.substr(0, semi));
    if (iequals(protocol, "RTP/AVP/TCP"))
        spec.tcp = true;
    else if (!iequals(protocol, "RTP/AVP") && !iequals(protocol, "RTP/AVP/UDP"))
        return false;
    std::string_view rest = semi == std::string_view::npos ? std::string_view{} : value.substr(semi + 1);
    while (!rest.empty()) {
        std::size_t next = rest.find(';');
        std::string_view param = trim(rest.substr(0, next));
        rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
        std::size_t eq = param.find('=');
        std::string_view name = trim(param.substr(0, eq));
        std::string_view arg = eq == std::string_view::npos ? std::string_view{} : trim(param.substr(eq + 1));
        unsigned long number = 0;
        if (iequals(name, "unicast")) {
            spec.multicast = false;
        } else if (iequals(name, "multicast")) {
            spec.multicast = true;
        } else if (iequals(name, "interleaved")) {
            PortPair pair;
            if (!parsePair(arg, 255, pair))
                return false;
            spec.interleaved = pair;
        } else if (iequals(name, "client_port")) {
            PortPair pair;
            if (!parsePair(arg, 65535, pair))
                return false;
            spec.clientPort = pair;
        } else if (iequals(name, "server_port")) {
            PortPair pair;
            if (!parsePair(arg, 65535, pair))
                return false;
            spec.serverPort = pair;
        } else if (iequals(name, "port")) {
            PortPair pair;
            if (!parsePair(arg, 65535, pair))
                return false;
            spec.port = pair;
        } else if (iequals(name, "destination")) {
            spec.destination = hostArgument(arg);
        } else if (iequals(name, "source")) {
            spec.source = hostArgument(arg);
        } else if (iequals(name, "ttl")) {
            if (!parseNumber(arg, 255, number))
                return false;
            spec.ttl = static_cast<unsigned>(number);
        } else if (iequals(name, "ssrc")) {
            std::uint32_t ssrc = 0;
            if (!parseSsrc(arg, ssrc))
                return false;
            spec.ssrc = ssrc;
        } else if (iequals(name, "mode")) {
            spec.mode = unquote(arg);
        }
    }
    out = std::move(spec);
    return true;
}

} // namespace Orix::Utility::rtsp

#include "RtspMessage.h"

#include "HttpMessage.h"

#include <cctype>
#include <ctime>

namespace Camsim {

namespace {

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::optional<unsigned> parsePort(const std::string& s)
{
    if (s.empty() || s.size() > 5)
        return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 65535)
        return std::nullopt;
    return v;
}

// "a-b" or "a" (then b = a + 1 as RFC 2326 allows).
std::optional<std::pair<unsigned, unsigned>> parseRange(const std::string& s)
{
    const auto dash = s.find('-');
    const auto a = parsePort(s.substr(0, dash));
    if (!a)
        return std::nullopt;
    if (dash == std::string::npos)
        return std::make_pair(*a, *a + 1);
    const auto b = parsePort(s.substr(dash + 1));
    if (!b)
        return std::nullopt;
    return std::make_pair(*a, *b);
}

// Where the head ends (just past the blank line), or npos.
std::size_t headEnd(const std::string& buffer, std::size_t from)
{
    for (std::size_t i = from; i < buffer.size(); ++i) {
        if (buffer[i] != '\n')
            continue;
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n')
            return i + 2;
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n')
            return i + 3;
    }
    return std::string::npos;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::string RtspRequest::header(const std::string& name) const
{
    for (const auto& h : headers) {
        if (iequals(h.first, name))
            return h.second;
    }
    return {};
}

bool RtspRequest::hasHeader(const std::string& name) const
{
    for (const auto& h : headers) {
        if (iequals(h.first, name))
            return true;
    }
    return false;
}

std::optional<RtspRequest> parseRtspHead(const std::string& head, std::string& error)
{
    RtspRequest r;
    std::size_t pos = 0;
    bool first = true;
    while (pos < head.size()) {
        auto eol = head.find('\n', pos);
        if (eol == std::string::npos)
            eol = head.size();
        std::string line = head.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty()) {
            if (first)
                continue; // stray CRLF between messages
            break;
        }
        if (first) {
            first = false;
            const auto s1 = line.find(' ');
            const auto s2 = s1 == std::string::npos ? s1 : line.find(' ', s1 + 1);
            if (s2 == std::string::npos || line.substr(s2 + 1) != "RTSP/1.0") {
                error = "not an RTSP/1.0 request line";
                return std::nullopt;
            }
            r.method = line.substr(0, s1);
            r.url = line.substr(s1 + 1, s2 - s1 - 1);
            if (r.method.empty() || r.url.empty()) {
                error = "not an RTSP/1.0 request line";
                return std::nullopt;
            }
            for (char c : r.method) {
                if (!std::isupper(static_cast<unsigned char>(c)) && c != '_') {
                    error = "bad method";
                    return std::nullopt;
                }
            }
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            error = "header line without a name";
            return std::nullopt;
        }
        if (r.headers.size() >= 64) {
            error = "too many header lines";
            return std::nullopt;
        }
        r.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    if (first) {
        error = "empty request";
        return std::nullopt;
    }
    return r;
}

bool RtspReader::append(const char* data, std::size_t size)
{
    if (!error_.empty())
        return false;
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    if (buffered() + size > kHeadLimit + kBodyLimit + 4) {
        fail("more than " + std::to_string(kHeadLimit + kBodyLimit) + " bytes without a complete message");
        return false;
    }
    if (start_ > 64 * 1024) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(data, size);
    return true;
}

RtspReader::Item RtspReader::fail(std::string why)
{
    if (error_.empty())
        error_ = std::move(why);
    return Item::Error;
}

RtspReader::Item RtspReader::next(RtspRequest& request, std::uint8_t& channel, std::string& frame)
{
    if (!error_.empty())
        return Item::Error;
    // CR/LF between messages are tolerated (some clients end a body with one).
    while (start_ < buffer_.size() && (buffer_[start_] == '\r' || buffer_[start_] == '\n'))
        ++start_;
    if (start_ == buffer_.size())
        return Item::NeedMore;
    if (buffer_[start_] == '$') {
        if (buffered() < 4)
            return Item::NeedMore;
        const std::size_t length = (static_cast<unsigned char>(buffer_[start_ + 2]) << 8) |
                                   static_cast<unsigned char>(buffer_[start_ + 3]);
        if (buffered() < 4 + length)
            return Item::NeedMore;
        channel = static_cast<std::uint8_t>(buffer_[start_ + 1]);
        frame.assign(buffer_, start_ + 4, length);
        start_ += 4 + length;
        return Item::Interleaved;
    }
    if (!std::isupper(static_cast<unsigned char>(buffer_[start_])))
        return fail("neither an RTSP request nor an interleaved frame");
    const std::size_t end = headEnd(buffer_, start_);
    if (end == std::string::npos) {
        if (buffered() > kHeadLimit)
            return fail("request head over " + std::to_string(kHeadLimit) + " bytes");
        return Item::NeedMore;
    }
    if (end - start_ > kHeadLimit)
        return fail("request head over " + std::to_string(kHeadLimit) + " bytes");
    std::string why;
    auto parsed = parseRtspHead(buffer_.substr(start_, end - start_), why);
    if (!parsed)
        return fail(why);
    std::size_t length = 0;
    const std::string cl = parsed->header("Content-Length");
    if (!cl.empty()) {
        if (cl.size() > 9 || cl.find_first_not_of("0123456789") != std::string::npos)
            return fail("bad Content-Length");
        length = std::stoul(cl);
        if (length > kBodyLimit)
            return fail("body over " + std::to_string(kBodyLimit) + " bytes");
    }
    if (buffer_.size() - end < length)
        return Item::NeedMore;
    parsed->body.assign(buffer_, end, length);
    start_ = end + length;
    request = std::move(*parsed);
    return Item::Request;
}

const char* rtspReason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 415: return "Unsupported Media Type";
    case 454: return "Session Not Found";
    case 455: return "Method Not Valid in This State";
    case 459: return "Aggregate Operation Not Allowed";
    case 461: return "Unsupported transport";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "RTSP Version not supported";
    case 551: return "Option not supported";
    default: return reasonPhrase(status);
    }
}

std::string rtspResponse(int status, const std::string& cseq,
                         const std::vector<std::pair<std::string, std::string>>& headers, const std::string& body)
{
    std::string out = "RTSP/1.0 " + std::to_string(status) + " " + rtspReason(status) + "\r\n";
    if (!cseq.empty())
        out += "CSeq: " + cseq + "\r\n";
    for (const auto& h : headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "Server: GStreamer RTSP server\r\n";
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    out += std::string("Date: ") + date + "\r\n";
    if (!body.empty())
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "\r\n";
    return out + body;
}

std::vector<TransportSpec> parseTransport(const std::string& header)
{
    std::vector<TransportSpec> out;
    std::size_t pos = 0;
    while (pos <= header.size() && out.size() < 16) {
        auto comma = header.find(',', pos);
        if (comma == std::string::npos)
            comma = header.size();
        const std::string alternative = header.substr(pos, comma - pos);
        pos = comma + 1;
        TransportSpec spec;
        bool ok = true;
        bool first = true;
        std::size_t p = 0;
        while (p <= alternative.size()) {
            auto semi = alternative.find(';', p);
            if (semi == std::string::npos)
                semi = alternative.size();
            const std::string item = trim(alternative.substr(p, semi - p));
            p = semi + 1;
            if (first) {
                first = false;
                const std::string protocol = toLower(item);
                if (protocol == "rtp/avp" || protocol == "rtp/avp/udp")
                    spec.lower = TransportSpec::Lower::Udp;
                else if (protocol == "rtp/avp/tcp")
                    spec.lower = TransportSpec::Lower::Tcp;
                else
                    ok = false;
                continue;
            }
            const auto eq = item.find('=');
            const std::string name = toLower(item.substr(0, eq));
            const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
            if (name == "multicast") {
                spec.multicast = true;
            } else if (name == "unicast") {
                spec.multicast = false;
            } else if (name == "interleaved") {
                spec.interleaved = parseRange(value);
                ok = ok && spec.interleaved && spec.interleaved->first < 256 && spec.interleaved->second < 256;
            } else if (name == "client_port") {
                spec.clientPort = parseRange(value);
                ok = ok && spec.clientPort.has_value();
            } else if (name == "port") {
                spec.port = parseRange(value);
                ok = ok && spec.port.has_value();
            } else if (name == "destination") {
                spec.destination = value;
            } else if (name == "ttl") {
                const auto t = parsePort(value);
                ok = ok && t && *t <= 255;
                if (t)
                    spec.ttl = *t;
            }
        }
        if (ok)
            out.push_back(std::move(spec));
    }
    return out;
}

bool Base64StreamDecoder::feed(const char* data, std::size_t size, std::string& out)
{
    if (broken_)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        if (c == '=') {
            // Only the last one or two places of a group may be padding.
            if (count_ < 2) {
                broken_ = true;
                return false;
            }
            quad_[count_++] = 0;
            ++padding_;
        } else {
            const int v = base64Value(c);
            if (v < 0 || padding_ > 0) {
                broken_ = true;
                return false;
            }
            quad_[count_++] = static_cast<unsigned>(v);
        }
        if (count_ == 4) {
            const unsigned bits = (quad_[0] << 18) | (quad_[1] << 12) | (quad_[2] << 6) | quad_[3];
            out += static_cast<char>((bits >> 16) & 0xff);
            if (padding_ < 2)
                out += static_cast<char>((bits >> 8) & 0xff);
            if (padding_ < 1)
                out += static_cast<char>(bits & 0xff);
            count_ = 0;
            padding_ = 0;
        }
    }
    return true;
}

std::string base64Encode(const std::string& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string rtspUrlPath(const std::string& url)
{
    std::size_t from = 0;
    const auto scheme = url.find("://");
    if (scheme != std::string::npos) {
        from = url.find('/', scheme + 3);
        if (from == std::string::npos)
            return "/";
    }
    const auto q = url.find('?', from);
    return url.substr(from, q == std::string::npos ? std::string::npos : q - from);
}

std::string rtspUrlQuery(const std::string& url)
{
    const auto q = url.find('?');
    return q == std::string::npos ? std::string() : url.substr(q + 1);
}

std::string stripUserInfo(const std::string& url)
{
    const auto scheme = url.find("://");
    if (scheme == std::string::npos)
        return url;
    const auto hostEnd = url.find_first_of("/?", scheme + 3);
    const auto at = url.rfind('@', hostEnd == std::string::npos ? std::string::npos : hostEnd);
    if (at == std::string::npos || at < scheme + 3)
        return url;
    return url.substr(0, scheme + 3) + url.substr(at + 1);
}

} // namespace Camsim

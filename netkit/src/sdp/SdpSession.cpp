#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpSession.h>

#include "sdp/SdpText.h"

namespace Orix::Utility {

using namespace sdptext;

namespace {

SdpMediaKind kindOf(const std::string& mediaType)
{
    if (mediaType == "video")
        return SdpMediaKind::video;
    if (mediaType == "audio")
        return SdpMediaKind::audio;
    if (mediaType == "application")
        return SdpMediaKind::application;
    return SdpMediaKind::other;
}

// "m=<media> <port>[/<count>] <proto> <fmt> ..." (RFC 4566 section 5.14).
bool parseMediaLine(const std::string& value, SdpMedia& media)
{
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (pos < value.size()) {
        while (pos < value.size() && value[pos] == ' ')
            ++pos;
        const std::size_t end = std::min(value.find(' ', pos), value.size());
        if (end > pos)
            fields.push_back(value.substr(pos, end - pos));
        pos = end;
    }
    if (fields.size() < 4)
        return false;
    media.mediaType = fields[0];
    media.kind = kindOf(fields[0]);
    const std::string& portField = fields[1];
    const std::size_t slash = portField.find('/');
    const auto port = parseUnsigned(portField.substr(0, slash), 65535);
    if (!port)
        return false;
    media.port = static_cast<std::uint16_t>(*port);
    if (slash != std::string::npos) {
        const auto count = parseUnsigned(portField.substr(slash + 1), 65535);
        if (!count || *count == 0)
            return false;
        media.portCount = static_cast<std::uint16_t>(*count);
    }
    media.protocol = fields[2];
    media.formats.assign(fields.begin() + 3, fields.end());
    return true;
}

// "<pt> <encoding>/<clock rate>[/<channels>]" (RFC 4566 section 6).
std::optional<SdpRtpMap> parseRtpMap(const std::string& value)
{
    const std::size_t space = value.find(' ');
    if (space == std::string::npos)
        return std::nullopt;
    const auto pt = parseUnsigned(value.substr(0, space), 127);
    const std::string rest = trim(value.substr(space + 1));
    const std::size_t slash1 = rest.find('/');
    if (!pt || slash1 == std::string::npos || slash1 == 0)
        return std::nullopt;
    const std::size_t slash2 = rest.find('/', slash1 + 1);
    const auto rate = parseUnsigned(rest.substr(slash1 + 1, slash2 == std::string::npos
                                                                ? std::string::npos
                                                                : slash2 - slash1 - 1));
    if (!rate || *rate == 0)
        return std::nullopt;
    SdpRtpMap map;
    map.payloadType = static_cast<std::uint8_t>(*pt);
    map.encoding = rest.substr(0, slash1);
    map.clockRate = static_cast<std::uint32_t>(*rate);
    if (slash2 != std::string::npos) {
        const auto channels = parseUnsigned(rest.substr(slash2 + 1), 255);
        if (!channels)
            return std::nullopt;
        map.channels = static_cast<std::uint32_t>(*channels);
    }
    return map;
}

// "<pt> name=value;name=value" with optional spaces around ';' (older Axis
// firmware writes "; " between parameters and ends with ';').
std::optional<std::pair<std::uint8_t, SdpFmtp>> parseFmtp(const std::string& value)
{
    const std::size_t space = value.find(' ');
    if (space == std::string::npos)
        return std::nullopt;
    const auto pt = parseUnsigned(value.substr(0, space), 127);
    if (!pt)
        return std::nullopt;
    SdpFmtp fmtp;
    const std::string rest = value.substr(space + 1);
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        const std::size_t end = std::min(rest.find(';', pos), rest.size());
        const std::string item = trim(rest.substr(pos, end - pos));
        if (!item.empty()) {
            const std::size_t eq = item.find('=');
            if (eq == std::string::npos)
                fmtp.parameters.emplace_back(item, std::string());
            else
                fmtp.parameters.emplace_back(trim(item.substr(0, eq)), trim(item.substr(eq + 1)));
        }
        pos = end + 1;
    }
    return std::make_pair(static_cast<std::uint8_t>(*pt), std::move(fmtp));
}

// "a=x-dimensions:1920,1080" (Axis and other RTSP servers).
std::optional<std::pair<std::uint32_t, std::uint32_t>> parseDimensions(const std::string& value)
{
    const std::size_t comma = value.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const auto w = parseUnsigned(trim(value.substr(0, comma)), 65535);
    const auto h = parseUnsigned(trim(value.substr(comma + 1)), 65535);
    if (!w || !h)
        return std::nullopt;
    return std::make_pair(static_cast<std::uint32_t>(*w), static_cast<std::uint32_t>(*h));
}

SdpAttribute splitAttribute(const std::string& value)
{
    const std::size_t colon = value.find(':');
    if (colon == std::string::npos)
        return {value, std::string()};
    return {value.substr(0, colon), value.substr(colon + 1)};
}

void applyMediaAttribute(const SdpAttribute& a, SdpMedia& media)
{
    if (a.name == "rtpmap") {
        if (auto map = parseRtpMap(a.value))
            media.rtpmaps.push_back(std::move(*map));
    } else if (a.name == "fmtp") {
        if (auto fmtp = parseFmtp(a.value))
            media.fmtps.push_back(std::move(*fmtp));
    } else if (a.name == "control") {
        media.control = a.value;
    } else if (a.name == "framerate") {
        media.framerate = parseDecimal(a.value);
    } else if (a.name == "x-dimensions") {
        media.dimensions = parseDimensions(a.value);
    } else if (a.name == "range") {
        SdpRange range;
        if (!parseRange(a.value, range))
            media.range = range;
    }
}

void applySessionAttribute(const SdpAttribute& a, SdpSession& session)
{
    if (a.name == "control") {
        session.control = a.value;
    } else if (a.name == "range") {
        SdpRange range;
        if (!parseRange(a.value, range))
            session.range = range;
    }
}

const SdpAttribute* findAttribute(const std::vector<SdpAttribute>& list, const std::string& name)
{
    for (const auto& a : list)
        if (a.name == name)
            return &a;
    return nullptr;
}

} // namespace

std::optional<std::string> SdpFmtp::get(const std::string& name) const
{
    for (const auto& [key, value] : parameters)
        if (iequals(key, name))
            return value;
    return std::nullopt;
}

std::optional<std::uint8_t> SdpMedia::payloadType() const
{
    if (formats.empty())
        return std::nullopt;
    const auto pt = parseUnsigned(formats.front(), 127);
    if (!pt)
        return std::nullopt;
    return static_cast<std::uint8_t>(*pt);
}

std::optional<SdpRtpMap> SdpMedia::rtpmap(std::uint8_t pt) const
{
    for (const auto& map : rtpmaps)
        if (map.payloadType == pt)
            return map;
    // RFC 3551 tables 4 and 5: static payload types a server may leave unmapped.
    struct Static {
        std::uint8_t pt;
        const char* encoding;
        std::uint32_t rate;
        std::uint32_t channels;
    };
    static const Static kStatic[] = {
        {0, "PCMU", 8000, 1},   {3, "GSM", 8000, 1},    {4, "G723", 8000, 1},
        {8, "PCMA", 8000, 1},   {9, "G722", 8000, 1},   {14, "MPA", 90000, 0},
        {26, "JPEG", 90000, 0}, {31, "H261", 90000, 0}, {32, "MPV", 90000, 0},
        {33, "MP2T", 90000, 0}, {34, "H263", 90000, 0},
    };
    for (const auto& s : kStatic)
        if (s.pt == pt)
            return SdpRtpMap{s.pt, s.encoding, s.rate, s.channels};
    return std::nullopt;
}

const SdpFmtp* SdpMedia::fmtp(std::uint8_t pt) const
{
    for (const auto& [type, fmtp] : fmtps)
        if (type == pt)
            return &fmtp;
    return nullptr;
}

const SdpAttribute* SdpMedia::attribute(const std::string& name) const
{
    return findAttribute(attributes, name);
}

const SdpAttribute* SdpSession::attribute(const std::string& name) const
{
    return findAttribute(attributes, name);
}

boost::system::error_code parseSdp(const std::string& text, SdpSession& out)
{
    out = SdpSession();
    if (text.size() > kMaxSdpBytes)
        return SdpError::tooLarge;

    std::size_t pos = 0, lines = 0;
    bool versionSeen = false;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (++lines > kMaxSdpLines)
            return SdpError::tooLarge;
        if (trim(line).empty())
            continue;
        if (line.size() < 2 || line[1] != '=' || line[0] < 'a' || line[0] > 'z')
            return versionSeen ? SdpError::malformedLine : SdpError::notSdp;
        const char type = line[0];
        const std::string value = line.substr(2);
        if (!versionSeen) {
            if (type != 'v' || trim(value) != "0")
                return SdpError::notSdp;
            versionSeen = true;
            continue;
        }
        switch (type) {
        case 'm': {
            if (out.media.size() >= kMaxSdpMedia)
                return SdpError::tooLarge;
            SdpMedia media;
            if (!parseMediaLine(value, media))
                return SdpError::malformedMedia;
            out.media.push_back(std::move(media));
            break;
        }
        case 'a': {
            SdpAttribute attribute = splitAttribute(trim(value));
            if (out.media.empty()) {
                applySessionAttribute(attribute, out);
                out.attributes.push_back(std::move(attribute));
            } else {
                applyMediaAttribute(attribute, out.media.back());
                out.media.back().attributes.push_back(std::move(attribute));
            }
            break;
        }
        case 'b':
            if (!out.media.empty() && value.compare(0, 3, "AS:") == 0)
                if (auto kbps = parseUnsigned(trim(value.substr(3))))
                    out.media.back().bandwidthKbps = static_cast<std::uint32_t>(*kbps);
            break;
        case 'o':
            out.origin = value;
            break;
        case 's':
            out.sessionName = value;
            break;
        default:
            break; // i, u, e, p, c, t, r, z, k: nothing a receiver needs
        }
    }
    if (!versionSeen)
        return SdpError::notSdp;
    return {};
}

} // namespace Orix::Utility

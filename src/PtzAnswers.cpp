#include "PtzAnswers.h"

#include <boost/algorithm/string/predicate.hpp>
#include <charconv>
#include <cmath>
#include <limits>
#include <netkit/util/ErrorTranslation.h>
#include <orix/ErrorCodes.h>
#include <stdexcept>
#include <netkit/util/TextUtil.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

namespace {

constexpr std::uint32_t kNoSuchPreset = Orix::GDRV::NoSuchPreset;
constexpr std::uint32_t kDeviceError = Orix::GDRV::DeviceError;
constexpr std::uint32_t kValueMissing = Orix::GDRV::ValueMissing;

// Only the start of a body is searched for an error text: an error page is
// short, and a long answer is data.
constexpr std::size_t kErrorSearchBytes = 64 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string trim(const std::string& text)
{
    return std::string(Orix::Utility::text::trim(text, Orix::Utility::text::kWhitespace));
}

std::size_t lineEnd(const std::string& text, std::size_t from)
{
    const std::size_t end = text.find('\n', from);
    return end == std::string::npos ? text.size() : end;
}

// "Error" ... end of line ... ':' [blanks] message up to the end of its
// line: the camera's error page, whose title names the error and whose text
// gives "Error: <message>" on a later line.
std::optional<std::string> errorPageMessage(const std::string& body)
{
    const std::size_t error = body.find("Error");
    if (error == std::string::npos)
        return std::nullopt;
    const std::size_t eol = lineEnd(body, error + 5);
    const std::size_t colon = body.find(':', eol);
    if (colon == std::string::npos)
        return std::nullopt;
    std::size_t start = colon + 1;
    while (start < body.size() && isBlank(body[start]))
        ++start;
    return trim(body.substr(start, lineEnd(body, start) - start));
}

// Newer firmware answers on one line: "Error:<message>" or "Error: <message>".
std::optional<std::string> errorLineMessage(const std::string& body)
{
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = lineEnd(body, start);
        const std::string line = trim(body.substr(start, end - start));
        if (boost::algorithm::starts_with(line, "Error")) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos)
                return trim(line.substr(colon + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::string valueAfter(const std::string& data, const std::string& key)
{
    std::size_t at = 0;
    while ((at = data.find(key, at)) != std::string::npos) {
        if (at == 0 || data[at - 1] == ':' || isBlank(data[at - 1]))
            break;
        at += key.size();
    }
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + key.size();
    const std::size_t end = data.find(':', begin);
    return trim(data.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
}

} // namespace

std::uint32_t getErrorFromResponse(const std::string& body, const Orix::LoggerOwner& logger)
{
    const std::string head = body.substr(0, kErrorSearchBytes);
    auto message = errorPageMessage(head);
    if (!message)
        message = errorLineMessage(head);
    if (!message)
        return Orix::Ok;
    ORIX_LOG(logger, LogError, " Device returns error: " << *message);
    if (boost::algorithm::iequals(*message, "No such preset position found"))
        return kNoSuchPreset;
    if (boost::algorithm::iequals(*message, "too many preset positions"))
        return Orix::InvalidArgument;
    return kDeviceError;
}

std::uint32_t commandResult(const boost::system::error_code& error, const std::string& body,
                            const Orix::http::HttpResponse& response, const std::string& path,
                            const Orix::LoggerOwner& logger)
{
    if (error) {
        ORIX_LOG(logger, LogError, " HTTP request is finished with error: " << error.message()
                                                                            << ", request: " << path);
        return Orix::Utility::translateSystemError(error);
    }
    const unsigned status = response.status;
    if ((status >= 100 && status < 200) || status == 204 || status == 304)
        return Orix::Ok;
    if (((status >= 200 && status < 300) || status == 302) && !body.empty())
        return getErrorFromResponse(body, logger);
    ORIX_LOG(logger, LogError, " HTTP response has error code: " << status << ", reason: "
                                                                 << response.reason
                                                                 << ", request: " << path);
    return kDeviceError;
}

std::uint32_t queryResult(const boost::system::error_code& error, const std::string& body,
                          const Orix::http::HttpResponse& response, const std::string& path,
                          const Orix::LoggerOwner& logger, std::string& out)
{
    if (error) {
        ORIX_LOG(logger, LogError, " HTTP request is finished with error: "
                                       << error.value() << ", message: " << error.message()
                                       << ", request: " << path);
        return Orix::Utility::translateSystemError(error);
    }
    const unsigned status = response.status;
    if (((status >= 200 && status < 300) || status == 302) && !body.empty()) {
        out = body;
        return Orix::Ok;
    }
    if ((status >= 200 && status < 300) || status == 302)
        ORIX_LOG(logger, LogError, " HTTP responce is empty, request: " << path);
    else
        ORIX_LOG(logger, LogError, " HTTP response has error code: " << status << ", reason: "
                                                                     << response.reason
                                                                     << ", request: " << path);
    return kDeviceError;
}

std::map<std::string, std::string> parseNameValueLines(const std::string& body)
{
    std::map<std::string, std::string> values;
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = lineEnd(body, start);
        const std::string line = body.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            const std::string name = trim(line.substr(0, eq));
            if (!name.empty())
                values.emplace(name, trim(line.substr(eq + 1)));
        }
        start = end + 1;
    }
    return values;
}

std::optional<double> parseDecimal(const std::string& text)
{
    const std::string value = trim(text);
    const char* begin = value.data();
    const char* end = value.data() + value.size();
    if (begin != end && *begin == '+')
        ++begin;
    double number = 0.0;
    const auto [ptr, ec] = std::from_chars(begin, end, number);
    if (ec != std::errc() || ptr != end || begin == end || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::uint32_t parsePosition(const std::string& body, PtzPosition& out,
                            const Orix::LoggerOwner& logger)
{
    const auto values = parseNameValueLines(body);
    out = PtzPosition{};
    struct Axis {
        const char* name;
        std::int32_t& target;
        std::uint32_t bit;
    } axes[] = {{"pan", out.pan, Orix::GDRV::PositionPan},
                {"tilt", out.tilt, Orix::GDRV::PositionTilt},
                {"zoom", out.zoom, Orix::GDRV::PositionZoom}};
    for (const Axis& axis : axes) {
        const auto it = values.find(axis.name);
        if (it == values.end()) {
            if (axis.bit == Orix::GDRV::PositionZoom) {
                ORIX_LOG(logger, LogDebug, " Zoom coordinate is not found");
                continue;
            }
            ORIX_LOG(logger, LogError, " " << (axis.bit == Orix::GDRV::PositionPan ? "Pan" : "Tilt")
                                           << " coordinate is not found while absolute move is supported");
            return kValueMissing;
        }
        const auto number = parseDecimal(it->second);
        const double truncated = number ? std::trunc(*number) : 0.0;
        if (!number || truncated < std::numeric_limits<std::int32_t>::min() ||
            truncated > std::numeric_limits<std::int32_t>::max()) {
            ORIX_LOG(logger, LogError, " std::exception - " << axis.name << " '" << it->second
                                                            << "' is not a number");
            return Orix::GenericFailure;
        }
        axis.target = static_cast<std::int32_t>(truncated);
        out.mask |= axis.bit;
    }
    ORIX_LOG(logger, LogDebug, " Get pan=" << out.pan << ", tilt=" << out.tilt << ", zoom=" << out.zoom);
    return Orix::Ok;
}

std::uint32_t parsePresets(const std::string& body, std::vector<Orix::GDRV::PresetInfo>& out,
                           const Orix::LoggerOwner& logger)
{
    out.clear();
    static const std::string kPrefix = "presetposno";
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = lineEnd(body, start);
        const std::string line = trim(body.substr(start, end - start));
        start = end + 1;
        if (!boost::algorithm::starts_with(line, kPrefix))
            continue;
        std::size_t digits = kPrefix.size();
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
            ++digits;
        std::size_t eq = digits;
        while (eq < line.size() && (line[eq] == ' ' || line[eq] == '\t'))
            ++eq;
        if (digits == kPrefix.size() || eq >= line.size() || line[eq] != '=')
            continue;
        Orix::GDRV::PresetInfo preset;
        preset.id = line.substr(kPrefix.size(), digits - kPrefix.size());
        const std::string data = trim(line.substr(eq + 1));
        const std::size_t colon = data.find(':');
        if (colon == std::string::npos) {
            preset.name = data;
            ORIX_LOG(logger, LogDebug, " Virtual device preset '" << data << "'");
        } else {
            preset.name = data.substr(0, colon);
            const std::string position = data.substr(colon);
            const auto pan = parseDecimal(valueAfter(position, "pan="));
            const auto tilt = parseDecimal(valueAfter(position, "tilt="));
            const auto zoom = parseDecimal(valueAfter(position, "zoom="));
            if (!pan || !tilt || !zoom) {
                ORIX_LOG(logger, LogError, " Preset position is not a number: " << data);
                return Orix::GenericFailure;
            }
            preset.hasPosition = true;
            preset.pan = *pan;
            preset.tilt = *tilt;
            preset.zoom = *zoom;
            ORIX_LOG(logger, LogDebug, " Device preset '" << preset.name << "': " << preset.pan
                                                          << "," << preset.tilt << "," << preset.zoom);
        }
        out.push_back(std::move(preset));
    }
    ORIX_LOG(logger, LogDebug, " Found " << out.size() << " device presets");
    return Orix::Ok;
}

std::uint32_t findHomePreset(const std::string& body)
{
    static const std::string kPrefix = "presetposno";
    for (std::size_t at = body.find(kPrefix); at != std::string::npos;
         at = body.find(kPrefix, at + 1)) {
        const std::size_t begin = at + kPrefix.size();
        std::size_t digits = begin;
        while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9')
            ++digits;
        if (digits == begin || body.compare(digits, 5, "=Home") != 0)
            continue;
        const std::size_t after = digits + 5;
        if (after < body.size() && !isBlank(body[after]))
            continue; // "=Homeward" is another name
        std::uint32_t number = 0;
        const auto [ptr, ec] = std::from_chars(body.data() + begin, body.data() + digits, number);
        if (ec != std::errc() || ptr != body.data() + digits)
            throw std::out_of_range("home preset number " + body.substr(begin, digits - begin));
        return number;
    }
    return 0;
}

std::vector<std::string> parseAuxiliaryOperations(const std::string& body)
{
    std::vector<std::string> operations;
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = body.find_first_of("\r\n", start);
        const std::size_t stop = end == std::string::npos ? body.size() : end;
        if (stop > start)
            operations.push_back(body.substr(start, stop - start));
        start = stop + 1;
    }
    return operations;
}

bool isParamReplyOk(const std::string& body, std::optional<std::uint32_t>* index)
{
    const std::string reply = trim(body);
    if (reply == "OK")
        return true;
    // "G0 OK", "T3 OK"
    if (reply.size() < 5 || reply.compare(reply.size() - 3, 3, " OK") != 0)
        return false;
    const std::string group = reply.substr(0, reply.size() - 3);
    std::size_t digits = 0;
    while (digits < group.size() && !(group[digits] >= '0' && group[digits] <= '9'))
        ++digits;
    if (digits == 0 || digits == group.size())
        return false;
    std::uint32_t number = 0;
    const auto [ptr, ec] = std::from_chars(group.data() + digits, group.data() + group.size(), number);
    if (ec != std::errc() || ptr != group.data() + group.size())
        return false;
    if (index != nullptr)
        *index = number;
    return true;
}

std::string encodePresetName(const std::string& name)
{
    std::string encoded;
    for (const char c : name) {
        if (c == ' ')
            encoded += "%20";
        else
            encoded += c;
    }
    return encoded;
}

} // namespace Vapixcam

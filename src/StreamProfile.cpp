#include "StreamProfile.h"

#include "CodecNames.h"

#include "TopologyParser.h"

#include <netkit/util/TextUtil.h>

#include <algorithm>
#include <cctype>

namespace Vapixcam {

std::string streamProfileName(std::uint32_t channel, std::uint32_t stream)
{
    return "Profile" + std::to_string((channel + 1) * 100 + stream);
}

ProfileParameters splitProfileParameters(const std::string& text)
{
    ProfileParameters parameters;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        const auto eq = item.find('=');
        parameters.emplace_back(item.substr(0, eq),
                                eq == std::string::npos ? std::string() : item.substr(eq + 1));
    }
    return parameters;
}

const std::string* findProfileParameter(const ProfileParameters& parameters, const std::string& key)
{
    for (const auto& [name, value] : parameters) {
        if (name == key)
            return &value;
    }
    return nullptr;
}

std::string subStreamResolution(const std::vector<std::string>& resolutions)
{
    for (const char* preferred : {"640x360", "640x640"}) {
        if (std::find(resolutions.begin(), resolutions.end(), preferred) != resolutions.end())
            return preferred;
    }
    return resolutions.empty() ? std::string() : resolutions[resolutions.size() / 2];
}

unsigned subStreamBitrate(const std::string& resolution)
{
    if (resolution.empty())
        return 0;
    if (resolution == "640x360" || resolution == "640x640")
        return 512;
    const ResolutionSize size = resolutionSize(resolution);
    const auto bitrate = static_cast<long long>(static_cast<double>(size.width) * size.height /
                                                1000000.0 * 1024.0);
    return bitrate > 0 ? static_cast<unsigned>(bitrate) : 512;
}

namespace {

const char* const kHex = "0123456789ABCDEF";

bool unreserved(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == '~';
}

} // namespace

std::string encodeProfileValue(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (unreserved(c)) {
            out += c;
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xf];
        }
    }
    return out;
}

std::string decodeProfileValue(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && Orix::Utility::text::hexValue(text[i + 1]) >= 0 &&
                   Orix::Utility::text::hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(Orix::Utility::text::hexValue(text[i + 1]) * 16 + Orix::Utility::text::hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c; // a lone '%' stays as the camera stored it
        }
    }
    return out;
}

std::string encodeProfileParameters(const ProfileParameters& parameters)
{
    // The pairs are joined as the profile stores them, then the whole string
    // is escaped once more for the param.cgi query that carries it.
    std::string text;
    auto append = [&text](const std::string& raw) {
        for (const char c : raw) {
            if (c == '=') {
                text += "%3d";
            } else if (c == '&') {
                text += "%26";
            } else if (unreserved(c) || c == ':' || c == ',' || c == '/') {
                text += c;
            } else {
                const auto u = static_cast<unsigned char>(c);
                text += '%';
                text += kHex[u >> 4];
                text += kHex[u & 0xf];
            }
        }
    };
    for (const auto& [key, value] : parameters) {
        if (!text.empty())
            append("&");
        append(key);
        append("=");
        append(value);
    }
    return text;
}

void setProfileParameter(ProfileParameters& parameters, const std::string& key, const std::string& value)
{
    for (auto& [name, current] : parameters) {
        if (name == key) {
            current = value;
            return;
        }
    }
    parameters.emplace_back(key, value);
}

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first line of a camera's answer, trimmed and cut to a length a log
// line and an error message can carry.
std::string firstLine(const std::string& text)
{
    constexpr std::size_t kMaxReason = 200;
    std::size_t begin = 0;
    while (begin < text.size() && isSpace(text[begin]))
        ++begin;
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos)
        end = text.size();
    while (end > begin && isSpace(text[end - 1]))
        --end;
    std::string line = text.substr(begin, std::min(end - begin, kMaxReason));
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    }
    if (end - begin > kMaxReason)
        line += "...";
    return line;
}

} // namespace

ParamCgiAnswer classifyParamCgiAnswer(const std::string& body)
{
    ParamCgiAnswer answer;
    std::size_t end = body.size();
    while (end > 0 && isSpace(body[end - 1]))
        --end;
    const std::string text = body.substr(0, end);
    if (text == "OK") {
        answer.ok = true;
        return answer;
    }
    // "<letters><digits> OK", as "S8 OK" or "G0 OK".
    std::size_t pos = 0;
    while (pos < text.size() && std::isupper(static_cast<unsigned char>(text[pos])))
        ++pos;
    const std::size_t digits = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (digits > 0 && pos > digits && pos - digits <= 5 && text.compare(pos, std::string::npos, " OK") == 0) {
        answer.ok = true;
        answer.addedIndex = static_cast<unsigned>(std::stoul(text.substr(digits, pos - digits)));
        return answer;
    }
    if (text.empty()) {
        answer.reason = "empty answer";
        return answer;
    }
    // The camera's own complaint, wherever it stands, says the most.
    std::size_t complaint = text.compare(0, 2, "# ") == 0 ? 0 : text.find("\n# ");
    if (complaint != std::string::npos) {
        complaint += text[complaint] == '\n' ? 3 : 2;
        answer.reason = firstLine(text.substr(complaint));
    } else {
        answer.reason = "unexpected answer: " + firstLine(text);
    }
    return answer;
}

StreamProfileCheck checkStreamProfileForChannel(const std::string& answer,
                                                const StreamProfileInputs& inputs,
                                                const Orix::LoggerOwner& logger)
{
    StreamProfileCheck check;
    check.name = streamProfileName(inputs.channel, inputs.stream);

    if (answer.size() > 8 && answer.compare(0, 8, "# Error:") != 0) {
        // Lines "root.StreamProfile.S<k>.Name=<name>": the first with our name wins.
        static const std::string prefix = "root.StreamProfile.S";
        for (std::size_t at = answer.find(prefix); at != std::string::npos;
             at = answer.find(prefix, at + 1)) {
            std::size_t pos = at + prefix.size();
            const std::size_t digits = pos;
            while (pos < answer.size() && std::isdigit(static_cast<unsigned char>(answer[pos])))
                ++pos;
            if (pos == digits || pos - digits > 4 || answer.compare(pos, 6, ".Name=") != 0)
                continue;
            const std::string index = answer.substr(digits, pos - digits);
            const std::size_t valueStart = pos + 6;
            const std::size_t valueEnd = answer.find_first_of("\r\n", valueStart);
            if (answer.compare(valueStart, valueEnd == std::string::npos ? std::string::npos
                                                                        : valueEnd - valueStart,
                               check.name) != 0)
                continue;
            const auto parameters =
                findParameterValue(answer, "root.StreamProfile.S" + index + ".Parameters", logger);
            if (parameters) {
                check.exists = true;
                check.index = static_cast<unsigned>(std::stoul(index));
                check.parametersText = *parameters;
                check.parameters = splitProfileParameters(*parameters);
            }
            break;
        }
    }

    auto resolutions = getResolutions(answer, logger, "I" + std::to_string(inputs.cameraNumber - 1));
    if (resolutions.empty())
        resolutions = inputs.fallbackResolutions;
    if (resolutions.empty())
        ORIX_LOG(logger, Orix::LogWarning, " Can't get a list of supported resolutions");
    check.resolution = subStreamResolution(resolutions);
    check.codec = cameraCodecName(inputs.codec);
    if (check.codec.empty())
        check.codec = "h264";
    check.bitrate = subStreamBitrate(check.resolution);

    // Without any known resolution a profile without one is as good as it gets.
    const bool complete = check.exists &&
                          (findProfileParameter(check.parameters, "resolution") != nullptr ||
                           check.resolution.empty()) &&
                          findProfileParameter(check.parameters, "videocodec") != nullptr &&
                          findProfileParameter(check.parameters, "fps") != nullptr;
    if (check.exists && complete && !inputs.force)
        return check;

    ProfileParameters parameters = check.parameters;
    if (!check.codec.empty())
        setProfileParameter(parameters, "videocodec", check.codec);
    if (!check.resolution.empty())
        setProfileParameter(parameters, "resolution", check.resolution);
    if (check.codec != "jpeg") {
        setProfileParameter(parameters, "fps", "25");
        setProfileParameter(parameters, "videobitratemode", inputs.rateControlMode);
        if (inputs.rateControlMode == "cbr") {
            setProfileParameter(parameters, "videobitrate", std::to_string(check.bitrate));
            setProfileParameter(parameters, "videobitratepriority", "framerate");
        } else {
            setProfileParameter(parameters, "videoabrtargetbitrate", std::to_string(check.bitrate));
        }
    }
    const std::string encoded = encodeProfileParameters(parameters);
    if (!check.exists) {
        check.action = "create";
        check.requestUrl =
            "/axis-cgi/param.cgi?action=add&template=streamprofile&group=StreamProfile"
            "&StreamProfile.S.Name=" + check.name + "&StreamProfile.S.Parameters=" + encoded;
    } else {
        check.action = "update";
        check.requestUrl = "/axis-cgi/operator/param.cgi?action=update&StreamProfile.S" +
                           std::to_string(check.index) + ".Parameters=" + encoded;
    }
    ORIX_LOG(logger, Orix::LogWarning,
             " No correct profile for streaming was found. Try to "
                 << check.action << " profile with name " << check.name << ", with resolution "
                 << check.resolution << ", with codec " << check.codec << ", with bitrate "
                 << check.bitrate);
    return check;
}

} // namespace Vapixcam

#include "StreamProfile.h"

#include "CodecNames.h"

#include "TopologyParser.h"

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

// The camera decodes the request once and stores the rest as the profile's
// query string: a space is stored as "%20"; '%' (a camera value such as
// "textstring=Gate%202" is already encoded), '#', '+' and bytes a request
// line cannot carry are escaped once so that they are stored as they were.
void appendProfileText(std::string& text, const std::string& part)
{
    static const char hex[] = "0123456789ABCDEF";
    for (char c : part) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ') {
            text += "%2520";
        } else if (c == '&') {
            text += "%26";
        } else if (c == '=') {
            text += "%3d";
        } else if (byte < 0x20 || byte >= 0x7f || c == '%' || c == '#' || c == '+') {
            text += '%';
            text += hex[byte >> 4];
            text += hex[byte & 0x0f];
        } else {
            text += c;
        }
    }
}

} // namespace

std::string encodeProfileParameters(const ProfileParameters& parameters)
{
    std::string text;
    for (const auto& [key, value] : parameters) {
        if (!text.empty())
            text += "%26";
        appendProfileText(text, key);
        text += "%3d";
        appendProfileText(text, value);
    }
    return text;
}

namespace {

void setParameter(ProfileParameters& parameters, const std::string& key, const std::string& value)
{
    for (auto& [name, current] : parameters) {
        if (name == key) {
            current = value;
            return;
        }
    }
    parameters.emplace_back(key, value);
}

} // namespace

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
                findParameterValue(answer, "root.StreamProfile.S" + index + ".Parameters");
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
        setParameter(parameters, "videocodec", check.codec);
    if (!check.resolution.empty())
        setParameter(parameters, "resolution", check.resolution);
    if (check.codec != "jpeg") {
        setParameter(parameters, "fps", "25");
        setParameter(parameters, "videobitratemode", inputs.rateControlMode);
        if (inputs.rateControlMode == "cbr") {
            setParameter(parameters, "videobitrate", std::to_string(check.bitrate));
            setParameter(parameters, "videobitratepriority", "framerate");
        } else {
            setParameter(parameters, "videoabrtargetbitrate", std::to_string(check.bitrate));
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

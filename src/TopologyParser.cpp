#include "TopologyParser.h"

#include "CodecNames.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Vapixcam {

namespace {

// Where the value of key starts and how long it is; npos when the key is missing.
std::pair<std::size_t, std::size_t> locateValue(const std::string& body, const std::string& key)
{
    const std::string needle = key + "=";
    const auto at = body.find(needle);
    if (at == std::string::npos)
        return {std::string::npos, 0};
    const auto start = at + needle.size();
    const auto end = body.find_first_of("\r\n", start);
    return {start, (end == std::string::npos ? body.size() : end) - start};
}

} // namespace

std::optional<std::string> findParameterValue(const std::string& body, const std::string& key)
{
    const auto [start, length] = locateValue(body, key);
    if (start == std::string::npos || length > kMaxParameterValueBytes)
        return std::nullopt;
    return body.substr(start, length);
}

std::optional<std::string> findParameterValue(const std::string& body, const std::string& key,
                                              const Orix::LoggerOwner& logger)
{
    const auto [start, length] = locateValue(body, key);
    if (start != std::string::npos && length > kMaxParameterValueBytes) {
        ORIX_LOG(logger, Orix::LogError,
                 " Device answered " << length << " bytes for '" << key << "', more than any value holds ("
                                     << kMaxParameterValueBytes << "); the value is ignored");
        return std::nullopt;
    }
    return findParameterValue(body, key);
}

namespace {

// Camera text fit for one log line: printable ASCII, at most max characters.
std::string printable(const std::string& text, std::size_t max)
{
    std::string out;
    for (char c : text.substr(0, max)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n')
            break;
        out += u >= 0x20 && u < 0x7f ? c : '?';
    }
    if (text.size() > max)
        out += "...";
    return out;
}

} // namespace

std::string topologyAnswerProblem(unsigned status, const std::string& reason, const std::string& body)
{
    if (status < 200 || status >= 300) {
        std::string problem = "HTTP " + std::to_string(status);
        if (!reason.empty())
            problem += " " + printable(reason, 80);
        if (status >= 300 && status < 400)
            problem += " (redirected, parameters are not answered here)";
        return problem;
    }
    if (body.find_first_not_of(" \t\r\n") == std::string::npos)
        return "empty answer";
    if (body.find("Brand.ProdNbr=") == std::string::npos) {
        const auto start = body.find_first_not_of(" \t\r\n");
        return "no parameter list in the answer: " + printable(body.substr(start), 80);
    }
    return {};
}

namespace {

struct CodecName {
    const char* camera;
    const char* host;
};

std::vector<std::string> codecsOf(const std::string& formats, const CodecName* table,
                                  std::size_t size)
{
    std::vector<std::string> codecs;
    for (std::size_t i = 0; i < size; ++i) {
        if (formats.find(table[i].camera) != std::string::npos)
            codecs.emplace_back(table[i].host);
    }
    return codecs;
}

bool parseDecimal(const std::string& text, unsigned& value)
{
    if (text.empty() || text.size() > 6)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

} // namespace

std::vector<std::string> videoCodecsOf(const std::string& formats)
{
    // Each listed format by its camera name; "jpeg,mjpeg" is one codec.
    std::vector<std::string> listed;
    std::size_t start = 0;
    while (start <= formats.size()) {
        auto end = formats.find(',', start);
        if (end == std::string::npos)
            end = formats.size();
        std::string item = formats.substr(start, end - start);
        start = end + 1;
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (auto host = hostCodecName(item); !host.empty())
            listed.push_back(std::move(host));
    }
    std::vector<std::string> codecs;
    for (const char* host : {"H265", "H264", "MPEG4", "MJPEG"}) {
        if (std::find(listed.begin(), listed.end(), host) != listed.end())
            codecs.emplace_back(host);
    }
    return codecs;
}

std::vector<std::string> audioCodecsOf(const std::string& formats)
{
    static const CodecName table[] = {{"g726", "G.726"}, {"g711", "G.711"}};
    return codecsOf(formats, table, std::size(table));
}

ResolutionSize resolutionSize(const std::string& item)
{
    const auto x = item.find('x');
    if (x != std::string::npos) {
        ResolutionSize size;
        if (!parseDecimal(item.substr(0, x), size.width) ||
            !parseDecimal(item.substr(x + 1), size.height))
            return {};
        return size;
    }
    struct Named {
        const char* name;
        ResolutionSize size;
    };
    static const Named names[] = {
        {"4CIF", {768, 576}}, {"2CIF", {768, 288}}, {"CIF", {384, 288}}, {"QCIF", {192, 144}}};
    for (const auto& named : names) {
        if (item == named.name)
            return named.size;
    }
    return {};
}

std::vector<std::string> getResolutions(const std::string& body, const Orix::LoggerOwner& logger,
                                        const std::string& suffix)
{
    const std::string key = suffix.empty() ? "Properties.Image.Resolution"
                                           : "Properties.Image." + suffix + ".Resolution";
    std::vector<std::string> resolutions;
    const auto value = findParameterValue(body, key, logger);
    if (!value || value->empty())
        return resolutions;
    std::size_t start = 0;
    while (start <= value->size()) {
        auto end = value->find(',', start);
        if (end == std::string::npos)
            end = value->size();
        const std::string item = value->substr(start, end - start);
        start = end + 1;
        if (resolutionSize(item).width == 0) {
            ORIX_LOG(logger, Orix::LogError, " Device reports unsupported resolution '" << item << "'");
            continue;
        }
        resolutions.push_back(item);
    }
    return resolutions;
}

std::string maxResolution(const std::vector<std::string>& resolutions)
{
    std::string best;
    unsigned bestWidth = 0;
    for (const auto& item : resolutions) {
        const ResolutionSize size = resolutionSize(item);
        if (best.empty() || size.width > bestWidth) {
            best = item;
            bestWidth = size.width;
        } else if (size.width == bestWidth && size.height != 0 &&
                   std::fabs(static_cast<double>(size.width) / size.height - 16.0 / 9.0) <= 0.001) {
            best = item;
        }
    }
    return best;
}

std::string listToString(const std::vector<std::string>& items)
{
    std::string text = "{";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            text += ',';
        text += items[i];
    }
    return text + "}";
}

} // namespace Vapixcam

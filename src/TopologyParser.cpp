#include "TopologyParser.h"

#include <cmath>
#include <cstdlib>

namespace Vapixcam {

std::optional<std::string> findParameterValue(const std::string& body, const std::string& key)
{
    const std::string needle = key + "=";
    const auto at = body.find(needle);
    if (at == std::string::npos)
        return std::nullopt;
    const auto start = at + needle.size();
    const auto end = body.find_first_of("\r\n", start);
    return body.substr(start, end == std::string::npos ? std::string::npos : end - start);
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
    static const CodecName table[] = {
        {"h265", "H265"}, {"h264", "H264"}, {"mpeg4", "MPEG4"}, {"jpeg", "MJPEG"}};
    return codecsOf(formats, table, std::size(table));
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
    const auto value = findParameterValue(body, key);
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

#include "CodecNames.h"

#include <cctype>
#include <cstddef>

namespace Vapixcam {
namespace {

struct CodecPair {
    const char* host;
    const char* camera;
};

constexpr CodecPair kCodecs[] = {
    {"H264", "h264"}, {"H265", "h265"}, {"MJPEG", "jpeg"}, {"MPEG4", "mpeg4"}, {"AV1", "av1"},
};

bool equalNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

} // namespace

std::string cameraCodecName(const std::string& hostCodec)
{
    for (const auto& codec : kCodecs) {
        if (equalNoCase(hostCodec, codec.host))
            return codec.camera;
    }
    return {};
}

std::string hostCodecName(const std::string& cameraCodec)
{
    for (const auto& codec : kCodecs) {
        if (equalNoCase(cameraCodec, codec.camera))
            return codec.host;
    }
    if (equalNoCase(cameraCodec, "mjpeg"))
        return "MJPEG";
    return {};
}

} // namespace Vapixcam

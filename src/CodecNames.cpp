#include "CodecNames.h"

#include <netkit/util/TextUtil.h>

namespace Vapixcam {
namespace {

struct CodecPair {
    const char* host;
    const char* camera;
};

constexpr CodecPair kCodecs[] = {
    {"H264", "h264"}, {"H265", "h265"}, {"MJPEG", "jpeg"}, {"MPEG4", "mpeg4"}, {"AV1", "av1"},
};

} // namespace

std::string cameraCodecName(const std::string& hostCodec)
{
    for (const auto& codec : kCodecs) {
        if (Orix::Utility::text::iequals(hostCodec, codec.host))
            return codec.camera;
    }
    return {};
}

std::string hostCodecName(const std::string& cameraCodec)
{
    for (const auto& codec : kCodecs) {
        if (Orix::Utility::text::iequals(cameraCodec, codec.camera))
            return codec.host;
    }
    if (Orix::Utility::text::iequals(cameraCodec, "mjpeg"))
        return "MJPEG";
    return {};
}

const char* frameCodecName(Orix::Utility::Codec codec)
{
    switch (codec) {
    case Orix::Utility::Codec::h264: return "H264";
    case Orix::Utility::Codec::h265: return "H265";
    case Orix::Utility::Codec::jpeg: return "MJPEG";
    case Orix::Utility::Codec::mpeg4: return "MPEG4";
    case Orix::Utility::Codec::pcmu:
    case Orix::Utility::Codec::pcma: return "G.711";
    case Orix::Utility::Codec::g726: return "G.726";
    case Orix::Utility::Codec::aac: return "AAC";
    case Orix::Utility::Codec::metadata: return "METADATA";
    }
    return "";
}

} // namespace Vapixcam

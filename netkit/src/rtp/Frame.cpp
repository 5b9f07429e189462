#include <netkit/rtp/Frame.h>

namespace Orix::Utility {

const char* codecName(Codec codec)
{
    switch (codec) {
    case Codec::h264: return "H264";
    case Codec::h265: return "H265";
    case Codec::jpeg: return "JPEG";
    case Codec::mpeg4: return "MPEG4";
    case Codec::pcmu: return "PCMU";
    case Codec::pcma: return "PCMA";
    case Codec::g726: return "G726";
    case Codec::aac: return "AAC";
    case Codec::metadata: return "metadata";
    }
    return "unknown";
}

} // namespace Orix::Utility

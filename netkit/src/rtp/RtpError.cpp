#include <netkit/rtp/RtpError.h>

#include <string>

namespace Orix::Utility {
namespace {

class RtpCategory : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.rtp"; }

    std::string message(int value) const override
    {
        switch (static_cast<RtpError>(value)) {
        case RtpError::truncatedPacket: return "packet shorter than its headers say";
        case RtpError::badVersion: return "RTP version is not 2";
        case RtpError::badPadding: return "invalid RTP padding";
        case RtpError::notSenderReport: return "RTCP packet holds no sender report";
        case RtpError::malformedPayload: return "malformed RTP payload";
        case RtpError::unsupportedPacketization: return "unsupported packetization";
        case RtpError::missingFragment: return "fragment without its start or out of order";
        case RtpError::frameTooLarge: return "frame exceeds the size bound";
        case RtpError::tooManyUnits: return "too many units in one frame or packet";
        case RtpError::tooManyFragments: return "too many fragments pending";
        case RtpError::missingTables: return "JPEG quantization tables missing";
        case RtpError::unsupportedFormat: return "unsupported payload format";
        case RtpError::queueFull: return "frame queue full, oldest frame dropped";
        }
        return "unknown RTP error " + std::to_string(value);
    }
};

} // namespace

const boost::system::error_category& rtpCategory()
{
    static const RtpCategory category;
    return category;
}

boost::system::error_code make_error_code(RtpError e)
{
    return {static_cast<int>(e), rtpCategory()};
}

} // namespace Orix::Utility

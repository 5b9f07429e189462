#include <netkit/sdp/SdpError.h>

#include <string>

namespace Orix::Utility {
namespace {

class SdpCategory : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.sdp"; }

    std::string message(int value) const override
    {
        switch (static_cast<SdpError>(value)) {
        case SdpError::tooLarge: return "session description exceeds the size, line or media bound";
        case SdpError::notSdp: return "not a session description (no v=0)";
        case SdpError::malformedLine: return "malformed session description line";
        case SdpError::malformedMedia: return "malformed media line";
        case SdpError::malformedRange: return "malformed range";
        case SdpError::malformedValue: return "malformed format parameter value";
        }
        return "unknown SDP error " + std::to_string(value);
    }
};

} // namespace

const boost::system::error_category& sdpCategory()
{
    static const SdpCategory category;
    return category;
}

boost::system::error_code make_error_code(SdpError e)
{
    return {static_cast<int>(e), sdpCategory()};
}

} // namespace Orix::Utility

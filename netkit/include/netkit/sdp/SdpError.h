#pragma once
// Errors of the session description parser (category "netkit.sdp").
#include <boost/system/error_code.hpp>

namespace Orix::Utility {

enum class SdpError {
    tooLarge = 1,     // more than kMaxSdpBytes, kMaxSdpLines or kMaxSdpMedia
    notSdp,           // does not begin with "v=0"
    malformedLine,    // a line that is not "<letter>=<value>"
    malformedMedia,   // an "m=" line without media, port, protocol and format
    malformedRange,   // a range value that is neither npt nor clock in the RFC 2326 forms
    malformedValue,   // an fmtp value that does not decode (base64, hex, number)
};

const boost::system::error_category& sdpCategory();
boost::system::error_code make_error_code(SdpError e);

} // namespace Orix::Utility

namespace boost::system {
template <>
struct is_error_code_enum<Orix::Utility::SdpError> : std::true_type {};
} // namespace boost::system

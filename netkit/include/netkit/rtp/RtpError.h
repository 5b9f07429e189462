#pragma once
// Errors of the RTP receive path (category "netkit.rtp").
#include <boost/system/error_code.hpp>

namespace Orix::Utility {

enum class RtpError {
    truncatedPacket = 1,     // shorter than its header, CSRC list, extension or padding say
    badVersion,              // RTP/RTCP version other than 2
    badPadding,              // padding count of 0 or larger than the payload
    notSenderReport,         // RTCP compound packet without a sender report first
    malformedPayload,        // payload header or aggregation unit inconsistent with the RFC
    unsupportedPacketization,// a packetization the depacketizer does not implement (STAP-B, MTAP, ...)
    missingFragment,         // a fragment arrived without its start, or out of offset order
    frameTooLarge,           // frame or access unit exceeds the size bound
    tooManyUnits,            // NAL units per access unit, or AUs per packet, exceed the bound
    tooManyFragments,        // pending fragments of one unit exceed the bound
    missingTables,           // JPEG quantization tables needed but neither in band nor cached
    unsupportedFormat,       // JPEG type, AAC mode or similar outside what is implemented
    queueFull,               // the caller did not pull frames; the oldest was dropped
};

const boost::system::error_category& rtpCategory();
boost::system::error_code make_error_code(RtpError e);

} // namespace Orix::Utility

namespace boost::system {
template <>
struct is_error_code_enum<Orix::Utility::RtpError> : std::true_type {};
} // namespace boost::system

#pragma once
// Chooses a track's depacketizer from its SDP rtpmap and fmtp.
#include <netkit/rtp/Depacketizer.h>
#include <netkit/sdp/SdpSession.h>

#include <boost/system/error_code.hpp>

#include <memory>
#include <optional>

namespace Orix::Utility {

// The codec an rtpmap encoding name stands for (compared case-insensitively):
// H264, H265, JPEG, MP4V-ES, PCMU, PCMA, G726-16/24/32/40 and AAL2-G726-*,
// MPEG4-GENERIC (AAC modes only), vnd.onvif.metadata and x-onvif-metadata.
// Nothing for any other name.
std::optional<Codec> codecForEncoding(const std::string& encoding);

// A depacketizer for the track's first payload type, configured from its
// rtpmap (clock rate, channels) and fmtp (parameter sets, AAC AU header
// layout, MPEG-4 config). Null when the track has no usable rtpmap or the
// codec is not one of the above; `error` (when given) then says why:
// RtpError::unsupportedFormat, or SdpError::malformedValue for an fmtp whose
// values do not decode. Undecodable H.264/H.265 parameter sets are not fatal:
// the ones that decode are used and the stream's own come in band.
std::unique_ptr<Depacketizer> createDepacketizer(const SdpMedia& track,
                                                 boost::system::error_code* error = nullptr);

} // namespace Orix::Utility

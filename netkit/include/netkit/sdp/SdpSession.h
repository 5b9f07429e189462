#pragma once
// Session descriptions (RFC 4566) as cameras answer DESCRIBE.
#include <netkit/sdp/SdpRange.h>

#include <boost/system/error_code.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Orix::Utility {

constexpr std::size_t kMaxSdpBytes = 64 * 1024;
constexpr std::size_t kMaxSdpLines = 2000;
constexpr std::size_t kMaxSdpMedia = 32;

// What a track initializer chooses by: the media type of the "m=" line. Event
// and analytics metadata arrive as "application" tracks.
enum class SdpMediaKind { video, audio, application, other };

struct SdpAttribute {
    std::string name;  // as written, e.g. "rtpmap", "x-dimensions"
    std::string value; // after the first ':', empty for a flag attribute
};

struct SdpRtpMap {
    std::uint8_t payloadType = 0;
    std::string encoding;      // as written ("H264", "mpeg4-generic"); compare case-insensitively
    std::uint32_t clockRate = 0;
    std::uint32_t channels = 0; // 0 when not given
};

// The parameters of one "a=fmtp" line, in order, names as written.
class SdpFmtp {
public:
    std::vector<std::pair<std::string, std::string>> parameters;

    // The value of a parameter, names compared case-insensitively (cameras
    // write both "sizeLength" and "sizelength").
    std::optional<std::string> get(const std::string& name) const;
};

struct SdpMedia {
    SdpMediaKind kind = SdpMediaKind::other;
    std::string mediaType;     // "video", "audio", "application", ...
    std::uint16_t port = 0;
    std::uint16_t portCount = 1;
    std::string protocol;      // "RTP/AVP"
    std::vector<std::string> formats;
    std::string control;       // a=control as written, empty when absent
    std::vector<SdpRtpMap> rtpmaps;
    std::vector<std::pair<std::uint8_t, SdpFmtp>> fmtps;
    std::optional<double> framerate;                                 // a=framerate
    std::optional<std::pair<std::uint32_t, std::uint32_t>> dimensions; // a=x-dimensions:W,H
    std::optional<SdpRange> range;
    std::optional<std::uint32_t> bandwidthKbps;                      // b=AS
    std::vector<SdpAttribute> attributes; // every a= line of the block, known ones too

    // The first format as a payload type (the one a camera sends); nothing
    // when the format is not a number 0..127.
    std::optional<std::uint8_t> payloadType() const;
    // The rtpmap of a payload type; for the static types of RFC 3551 table
    // 4/5 without an rtpmap line (0 PCMU, 8 PCMA, 26 JPEG, ...) the table's entry.
    std::optional<SdpRtpMap> rtpmap(std::uint8_t payloadType) const;
    const SdpFmtp* fmtp(std::uint8_t payloadType) const;
    const SdpAttribute* attribute(const std::string& name) const;
};

struct SdpSession {
    std::string origin;        // o= as written
    std::string sessionName;   // s=
    std::string control;       // session-level a=control, empty when absent
    std::optional<SdpRange> range;
    std::vector<SdpAttribute> attributes; // session-level a= lines
    std::vector<SdpMedia> media;

    const SdpAttribute* attribute(const std::string& name) const;
};

// Parses a description. LF or CRLF line ends; unknown lines and attributes are
// kept or skipped, never an error. A malformed value of a known attribute
// (rtpmap, range, framerate, ...) leaves the typed field empty; the attribute
// stays in `attributes`. Errors: SdpError::tooLarge, notSdp, malformedLine,
// malformedMedia.
boost::system::error_code parseSdp(const std::string& text, SdpSession& out);

// Control URLs are resolved against the RTSP base by rtsp::resolveControlUrl
// (netkit/rtsp/RtspUrl.h).

} // namespace Orix::Utility

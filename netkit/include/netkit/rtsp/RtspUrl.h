#pragma once
// RTSP URLs: parsing, the display form without user info, and the control
// URLs of a described session (RFC 2326 §C.1.1). Pure text handling.
#include <cstdint>
#include <string>
#include <string_view>

namespace Orix::Utility::rtsp {

struct RtspMessage;

inline constexpr std::uint16_t kDefaultRtspPort = 554;

struct RtspUrl {
    std::string scheme = "rtsp"; // lower case
    std::string host;            // IPv6 without brackets
    std::uint16_t port = kDefaultRtspPort;
    bool explicitPort = false;
    std::string target = "/";    // path and query, always starting with '/'

    // "rtsp://host[:port]/target"; never user info. IPv6 in brackets.
    std::string toString() const;
    // "host" or "[v6]", with ":port" when explicit.
    std::string authority() const;
};

// Parses "rtsp://[user[:password]@]host[:port][/path][?query]" (rtsp, rtsps
// and http for a tunnel). The user info is dropped. False when malformed.
bool parseRtspUrl(std::string_view text, RtspUrl& out);

// The text with any user info removed, for logs and errors.
std::string urlForDisplay(std::string_view text);

// The URL a track's or the session's "a=control" designates:
//   absent or "*"      -> base
//   absolute URL       -> control as is
//   "/path"            -> base's scheme and authority + control
//   relative           -> base's path + '/' + control, then base's query
// "rtsp://cam/axis-media/media.amp/" + "stream=0" ->
// "rtsp://cam/axis-media/media.amp/stream=0".
std::string resolveControlUrl(std::string_view base, std::string_view control);

// The base for relative controls from a DESCRIBE answer: Content-Base, else
// an absolute Content-Location, else the request URL.
std::string describeBaseUrl(const RtspMessage& describeAnswer, const std::string& requestUrl);

} // namespace Orix::Utility::rtsp

#pragma once
// Readers of the camera's PTZ answers (ptz.cgi, ptzconfig.cgi, param.cgi
// replies of the tour requests) and the result-code rules of a PTZ command.
// Pure: no sockets; the logger only receives the lines the rules log.
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <map>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/Telemetry.h>
#include <string>
#include <vector>

namespace Vapixcam {

// The error a camera states in the body of a 200 answer: 0 when there is
// none, 10 for "No such preset position found", 6 for "too many preset
// positions", 2 for any other message (logged as "Device returns error: ").
std::uint32_t getErrorFromResponse(const std::string& body, const Orix::LoggerOwner& logger);

// The result of a command answer: transport errors are translated, 1xx/204/
// 304 succeed, 2xx/302 with a body are read with getErrorFromResponse, all
// else (an empty 2xx among them) is 2.
std::uint32_t commandResult(const boost::system::error_code& error, const std::string& body,
                            const Orix::http::HttpResponse& response, const std::string& path,
                            const Orix::LoggerOwner& logger);
// The result of a query answer: 2xx/302 with a body is 0 and the body is
// copied to out; every other status is 2; transport errors are translated.
std::uint32_t queryResult(const boost::system::error_code& error, const std::string& body,
                          const Orix::http::HttpResponse& response, const std::string& path,
                          const Orix::LoggerOwner& logger, std::string& out);

// "name=value" lines split at the first '='; CR and surrounding blanks removed.
std::map<std::string, std::string> parseNameValueLines(const std::string& body);

// A decimal number as a camera writes it ("51.2891", "-3", "1e2"); nothing
// for anything else.
std::optional<double> parseDecimal(const std::string& text);

struct PtzPosition {
    std::int32_t pan = 0;
    std::int32_t tilt = 0;
    std::int32_t zoom = 0;
    std::uint32_t mask = 0; // Orix::GDRV::PositionMask bits
};
// Reads a "query=position" answer. 0, 2304 when pan or tilt is missing, 1
// when a value is no number (or no 32-bit whole number once truncated).
std::uint32_t parsePosition(const std::string& body, PtzPosition& out,
                            const Orix::LoggerOwner& logger);

// Reads a "query=presetposcamdata" answer: every "presetposno<n>=<data>"
// line, in order. 0, or 1 when a position value is no number.
std::uint32_t parsePresets(const std::string& body, std::vector<Orix::GDRV::PresetInfo>& out,
                           const Orix::LoggerOwner& logger);

// The home preset number of a "query=presetposcam" answer; 0 when no
// preset is named Home. Throws std::out_of_range for a number past 32 bits.
std::uint32_t findHomePreset(const std::string& body);

// The non-empty lines of a "query=auxiliary" answer.
std::vector<std::string> parseAuxiliaryOperations(const std::string& body);

// A param.cgi reply to update, add or remove: "OK", or "<group><n> OK" for
// an add. Sets index to n for an add reply.
bool isParamReplyOk(const std::string& body, std::optional<std::uint32_t>* index = nullptr);

// Every space replaced by "%20"; nothing else is encoded.
std::string encodePresetName(const std::string& name);

} // namespace Vapixcam

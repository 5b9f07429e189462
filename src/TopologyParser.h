#pragma once
// Reading a camera's identity and topology out of a param.cgi list answer.
// Lines look like "root.Brand.ProdNbr=M1065-LW"; a key is found by searching
// the body for the key followed by '=' anywhere, so "Network.RTSP.Port" also
// finds "root.Network.RTSP.Port=554". A value runs to the first CR or LF.
#include <netkit/util/Logging.h>
#include <optional>
#include <string>
#include <vector>

namespace Vapixcam {

// No camera value comes near this (a stream profile's Parameters, the
// longest, holds a few hundred bytes); a longer one is a broken or hostile
// answer and counts as missing, so its size goes no further.
inline constexpr std::size_t kMaxParameterValueBytes = 64 * 1024;

std::optional<std::string> findParameterValue(const std::string& body, const std::string& key);
// The same, logging an over-long value it passes over.
std::optional<std::string> findParameterValue(const std::string& body, const std::string& key,
                                              const Orix::LoggerOwner& logger);

// Why a topology answer (HTTP status, reason phrase, body) cannot be used,
// in one line; empty when it can: 2xx with a parameter list that names the
// product.
std::string topologyAnswerProblem(unsigned status, const std::string& reason, const std::string& body);

// Host codec names found in a camera format list, in table order:
// h265 -> H265, h264 -> H264, mpeg4 -> MPEG4, jpeg -> MJPEG. Empty when none.
std::vector<std::string> videoCodecsOf(const std::string& formats);
// g726 -> G.726, g711 -> G.711.
std::vector<std::string> audioCodecsOf(const std::string& formats);

// Width and height of a resolution item ("1920x1080" or a name such as
// "4CIF"); width 0 when unknown.
struct ResolutionSize {
    unsigned width = 0;
    unsigned height = 0;
};
ResolutionSize resolutionSize(const std::string& item);

// The resolutions the body lists under "Properties.Image[.suffix].Resolution",
// in the camera's spelling and order; unknown items are logged and dropped.
std::vector<std::string> getResolutions(const std::string& body, const Orix::LoggerOwner& logger,
                                        const std::string& suffix);

// The entry with the largest width; among equal widths a later 16:9 entry wins.
std::string maxResolution(const std::vector<std::string>& resolutions);

// "{a,b,c}"
std::string listToString(const std::vector<std::string>& items);

} // namespace Vapixcam

#pragma once
// The second stream of a channel runs on a camera stream profile named
// "Profile" + ((channel + 1) * 100 + stream). These functions read that
// profile out of a param.cgi list answer and decide whether it must be
// created or corrected, and with which parameters.
#include <cstdint>
#include <netkit/util/Logging.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Vapixcam {

using ProfileParameters = std::vector<std::pair<std::string, std::string>>;

std::string streamProfileName(std::uint32_t channel, std::uint32_t stream);

// "a=1&b=2" -> {{"a","1"},{"b","2"}}; each pair split at its first '='.
ProfileParameters splitProfileParameters(const std::string& text);
const std::string* findProfileParameter(const ProfileParameters& parameters, const std::string& key);

struct StreamProfileCheck {
    std::string name;
    bool exists = false;
    unsigned index = 65535;        // k of "StreamProfile.S<k>" when it exists
    std::string parametersText;    // the profile's parameter string on the camera
    ProfileParameters parameters;
    std::string resolution;        // chosen for the sub-stream; empty when unknown
    std::string codec;             // lower case
    unsigned bitrate = 0;          // kbit/s
    std::string action;            // "create", "update" or empty (nothing to do)
    std::string requestUrl;        // the request that creates or corrects the profile
};

struct StreamProfileInputs {
    std::uint32_t channel = 0;
    std::uint32_t stream = 1;
    std::uint32_t cameraNumber = 1;
    std::string codec = "H264";     // the channel's current codec (host name)
    std::string rateControlMode = "cbr";
    bool force = false;             // rewrite the profile even when it is complete
    // The camera's resolutions from its topology, for cameras that do not
    // list them per image channel.
    std::vector<std::string> fallbackResolutions;
};

// The answer is the camera's reply to
// "param.cgi?action=list&group=StreamProfile,Properties.Image.I<n>.Resolution".
StreamProfileCheck checkStreamProfileForChannel(const std::string& answer,
                                                const StreamProfileInputs& inputs,
                                                const Orix::LoggerOwner& logger);

// The resolution a sub-stream uses: 640x360, else 640x640, else the middle entry.
std::string subStreamResolution(const std::vector<std::string>& resolutions);
// kbit/s for a resolution: 512 for the small square and 16:9 sizes, else
// width * height / 1e6 * 1024 truncated (512 when not positive); 0 when empty.
unsigned subStreamBitrate(const std::string& resolution);

// What a param.cgi add or update answer says. The camera answers HTTP 200
// either way: "S<k> OK" (the new instance) for an add, "OK" for an update;
// "# Error: ...", "# Request failed: ..." or any other text is a refusal.
struct ParamCgiAnswer {
    bool ok = false;
    std::string reason;                 // why it failed, one line; empty on success
    std::optional<unsigned> addedIndex; // k of "S<k> OK"
};
ParamCgiAnswer classifyParamCgiAnswer(const std::string& body);

// A profile's Parameters is a media.amp query string: values are stored
// percent-encoded ("textstring=Gate%20%26%20Yard"). encodeProfileValue gives
// a host value as stored; decodeProfileValue reads a stored one back ('+' is
// a space, %XX a byte).
std::string encodeProfileValue(const std::string& value);
std::string decodeProfileValue(const std::string& text);

// Sets key to an already encoded value: in its place when the profile has
// the key, else at the end. Every other pair stays as the camera has it.
void setProfileParameter(ProfileParameters& parameters, const std::string& key, const std::string& value);

// The value of a profile's Parameters as written in a param.cgi request:
// the stored pairs joined with '&' and the whole escaped once more, so the
// camera's one level of URL decoding stores them exactly ("=" is "%3d",
// "&" "%26", a stored "%20" "%2520").
std::string encodeProfileParameters(const ProfileParameters& parameters);

} // namespace Vapixcam

// The param.cgi list answer with the camera's stream profiles, and the
// request that creates or corrects the second stream's profile from it.
//
// Input: a byte of inputs (channel, stream, codec, rate control, force), then
// the answer.
//
// Checks: the decision is consistent (an existing profile has an index and
// its parameters, "update" only for an existing one, "create" only without);
// the request is a valid request target; read back as the camera will (one
// percent-decoding of the Parameters value), it holds the camera's own
// parameters unchanged and ours with the values chosen.
#include "FuzzSupport.h"

#include "StreamProfile.h"

#include <algorithm>
#include <netkit/util/TextUtil.h>

using namespace Vapixcam;

namespace {

using Orix::Utility::text::hexValue;

// One decoding, as the camera's CGI does it.
std::string percentDecode(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool ours(const std::string& key)
{
    static const char* const keys[] = {"videocodec", "resolution", "fps", "videobitratemode",
                                       "videobitrate", "videobitratepriority", "videoabrtargetbitrate"};
    return std::any_of(std::begin(keys), std::end(keys), [&](const char* k) { return key == k; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::uint8_t options = input.byte();
    const std::string answer(input.rest());

    static const char* const kCodecs[] = {"H264", "H265", "MJPEG", "MPEG4"};
    StreamProfileInputs inputs;
    inputs.channel = options & 3;
    inputs.cameraNumber = inputs.channel + 1;
    inputs.stream = 1;
    inputs.codec = kCodecs[(options >> 2) & 3];
    inputs.rateControlMode = (options & 0x10) ? "vbr" : "cbr";
    inputs.force = (options & 0x20) != 0;
    if (options & 0x40)
        inputs.fallbackResolutions = {"1920x1080", "1280x720", "640x480"};

    const StreamProfileCheck check = checkStreamProfileForChannel(answer, inputs, Fuzz::sinkLogger());
    FUZZ_CHECK(check.name == streamProfileName(inputs.channel, inputs.stream));
    FUZZ_CHECK(check.exists || check.parameters.empty());
    FUZZ_CHECK(!check.exists || check.index <= 9999);
    FUZZ_CHECK(check.parametersText.find_first_of("\r\n") == std::string::npos);
    if (check.action.empty()) {
        FUZZ_CHECK(check.exists && !inputs.force && check.requestUrl.empty());
        return 0;
    }
    FUZZ_CHECK(check.action == (check.exists ? "update" : "create"));

    // A request target: visible ASCII only, no fragment.
    for (char c : check.requestUrl)
        FUZZ_CHECK(c > 0x20 && c < 0x7f && c != '#');

    const std::string marker = ".Parameters=";
    const auto at = check.requestUrl.find(marker);
    FUZZ_CHECK(at != std::string::npos);
    const std::string written = percentDecode(check.requestUrl.substr(at + marker.size()));
    const ProfileParameters back = splitProfileParameters(written);
    FUZZ_CHECK(back.size() >= check.parameters.size());
    for (std::size_t i = 0; i < check.parameters.size(); ++i) {
        const auto& [key, value] = check.parameters[i];
        // The camera's one URL decoding stores the pairs exactly as they were.
        FUZZ_CHECK(back[i].first == key);
        if (!ours(key))
            FUZZ_CHECK(back[i].second == value);
    }
    if (const std::string* codec = findProfileParameter(back, "videocodec"))
        FUZZ_CHECK(*codec == check.codec);
    else
        FUZZ_CHECK(false);
    return 0;
}

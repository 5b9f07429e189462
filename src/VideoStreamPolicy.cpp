#include "VideoStreamPolicy.h"

#include "CodecNames.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace Vapixcam {

namespace {

struct View {
    const char* name;
    unsigned selected;
    unsigned number;
};

// Views of a fisheye camera: the name the host shows, the camera's
// ImageChannelSet.Selected value, and the camera number the view streams on.
const View kViews[] = {
    {"Overview", 0, 1},
    {"Panorama", 0, 2},
    {"Double Panorama", 1, 3},
    {"Quad View", 2, 4},
    {"View Area 1", 3, 5},
    {"View Area 2", 3, 6},
    {"View Area 3", 3, 7},
    {"View Area 4", 3, 8},
    {"Panorama Corner Left", 4, 9},
    {"Panorama Corner Right", 5, 10},
    {"Double Panorama Corner", 6, 11},
    {"Corridor", 7, 12},
};

const View* findView(const std::string& name)
{
    const auto it = std::find_if(std::begin(kViews), std::end(kViews),
                                 [&](const View& v) { return name == v.name; });
    return it == std::end(kViews) ? nullptr : it;
}

} // namespace

unsigned reconnectDelaySeconds(std::uint64_t attempt, int random)
{
    const std::uint64_t n = std::min<std::uint64_t>(attempt, 30);
    const int clamped = std::clamp(random, 0, 32767);
    return static_cast<unsigned>(clamped / 32767.0 * 5.0) + static_cast<unsigned>(10 * n);
}

SessionEndAction afterSessionEnd(const boost::system::error_code& error, bool mediaInSession,
                                 bool retryAtOnce)
{
    if (retryAtOnce)
        return SessionEndAction::resumeAtOnce;
    const bool clean = !error || error == Orix::Utility::rtsp::error::sessionEndedByServer;
    return clean && mediaInSession ? SessionEndAction::resumeAtOnce : SessionEndAction::waitAndRetry;
}

std::optional<Orix::Utility::RtspTransport> fallbackTransport(Orix::Utility::RtspTransport refused)
{
    using Orix::Utility::RtspTransport;
    switch (refused) {
    case RtspTransport::Tcp: return RtspTransport::Udp;
    case RtspTransport::Udp: return RtspTransport::RtspOverHttp;
    case RtspTransport::Multicast:
    case RtspTransport::RtspOverHttp: return std::nullopt;
    }
    return std::nullopt;
}

std::optional<unsigned> cameraNumber(std::uint32_t channel, const std::string& dewarpMode)
{
    if (dewarpMode.empty())
        return channel + 1;
    if (const View* view = findView(dewarpMode))
        return view->number;
    return std::nullopt;
}

std::optional<unsigned> dewarpSelectedValue(const std::string& dewarpMode)
{
    if (const View* view = findView(dewarpMode))
        return view->selected;
    return std::nullopt;
}

std::string liveStreamUrl(unsigned cameraNumber, std::uint32_t stream, const std::string& codec,
                          const std::string& profileName)
{
    std::string url = "/axis-media/media.amp?camera=" + std::to_string(cameraNumber);
    if (stream == 0) {
        const std::string name = cameraCodecName(codec);
        url += "&videocodec=" + (name.empty() ? std::string("h264") : name);
    } else {
        url += "&streamprofile=" + profileName;
    }
    return url;
}

} // namespace Vapixcam

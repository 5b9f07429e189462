// RTSP URLs as a camera hands them out (Content-Base, a=control) and as a
// user types them.
//
// Input: the URL, a '\0', then a control attribute to resolve against it.
//
// Checks: a URL that parses is written back by toString in a form that parses
// to the same URL; the display form drops the user info and still names the
// same resource; a relative control resolves to a URL on the same camera.
#include "FuzzSupport.h"

#include <netkit/rtsp/RtspUrl.h>

using namespace Orix::Utility::rtsp;

namespace {

bool same(const RtspUrl& a, const RtspUrl& b)
{
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port &&
           a.explicitPort == b.explicitPort && a.target == b.target;
}

// The authority of a URL text: between "://" and the first '/' or '?'.
std::string_view authorityOf(std::string_view text)
{
    const auto scheme = text.find("://");
    if (scheme == std::string_view::npos)
        return {};
    text.remove_prefix(scheme + 3);
    return text.substr(0, text.find_first_of("/?"));
}

bool printable(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7e)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::string_view text = input.field();
    const std::string_view control = input.rest();

    RtspUrl url;
    const bool parsed = parseRtspUrl(text, url);
    const std::string display = urlForDisplay(text);
    (void)resolveControlUrl(text, control);
    if (!parsed)
        return 0;

    FUZZ_CHECK(!url.host.empty());
    FUZZ_CHECK(!url.target.empty() && url.target.front() == '/');

    RtspUrl again;
    FUZZ_CHECK(parseRtspUrl(url.toString(), again));
    FUZZ_CHECK(same(url, again));

    // Logs show the display form: no user info, same camera and path.
    FUZZ_CHECK(authorityOf(display).find('@') == std::string_view::npos);
    RtspUrl shown;
    FUZZ_CHECK(parseRtspUrl(display, shown));
    FUZZ_CHECK(same(url, shown));

    if (!control.empty() && control != "*" && control.find("://") == std::string_view::npos &&
        printable(control)) {
        const std::string resolved = resolveControlUrl(text, control);
        RtspUrl track;
        FUZZ_CHECK(parseRtspUrl(resolved, track));
        FUZZ_CHECK(track.scheme == url.scheme && track.host == url.host && track.port == url.port);
    }
    return 0;
}

// The param.cgi list answer a device reads its identity and topology from
// (product, firmware, formats, resolutions, channel and port counts, RTSP
// port).
//
// Checks: what the topology holds is something the host can be given:
// counts not negative, a usable RTSP port, at least one video codec and only
// known codec names, single-line identity values, only resolutions with a
// size, and the largest of them one of the list.
#include "FuzzSupport.h"

#include "Device.h"
#include "TopologyParser.h"

#include <algorithm>

using namespace Vapixcam;

namespace {

bool oneOf(const std::string& name, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

void checkResolutions(const std::vector<std::string>& resolutions)
{
    for (const auto& r : resolutions)
        FUZZ_CHECK(resolutionSize(r).width > 0);
    const std::string largest = maxResolution(resolutions);
    FUZZ_CHECK(largest.empty() == resolutions.empty());
    if (!largest.empty()) {
        FUZZ_CHECK(std::find(resolutions.begin(), resolutions.end(), largest) != resolutions.end());
        for (const auto& r : resolutions)
            FUZZ_CHECK(resolutionSize(r).width <= resolutionSize(largest).width);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    Topology topology;
    applyTopologyAnswer(body, topology, Fuzz::sinkLogger());

    FUZZ_CHECK(topology.product.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(topology.firmware.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(topology.rtspPort != 0);
    FUZZ_CHECK(topology.videoChannels >= 0);
    FUZZ_CHECK(topology.audioSources >= 0);
    FUZZ_CHECK(topology.inputs >= 0);
    FUZZ_CHECK(topology.outputs >= 0);
    FUZZ_CHECK(!topology.videoCodecs.empty());
    for (const auto& codec : topology.videoCodecs)
        FUZZ_CHECK(oneOf(codec, {"H265", "H264", "MPEG4", "MJPEG"}));
    for (const auto& codec : topology.audioCodecs)
        FUZZ_CHECK(oneOf(codec, {"G.726", "G.711"}));
    checkResolutions(topology.resolutions);
    checkResolutions(getResolutions(body, Fuzz::sinkLogger(), "I0"));
    return 0;
}

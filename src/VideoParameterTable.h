#pragma once
// The image and stream parameters a video source offers the host, in the
// order updates are written, with the rules deciding when each is offered.
#include "ParameterDescriptor.h"

#include <string>
#include <vector>

namespace Vapixcam {

class VideoParameterTable {
public:
    // Built once, on first use.
    static const DescriptorTable& descriptors();
    // The descriptor of a VAPIX path ("Image.I%.Stream.FPS"), or null.
    static const ParameterDescriptor* findByPath(const std::string& path);
    // Every descriptor of a host name (brightness has two paths).
    static std::vector<const ParameterDescriptor*> findByHostName(const std::string& hostName);
    // The profile keys written when the second stream's profile is rebuilt,
    // in writing order after "videocodec".
    static const std::vector<std::string>& profileRewriteOrder();
};

// The token of a model's ignore list that withdraws the text overlay from
// the second stream.
inline constexpr const char* kIgnoreOsdForProfiles = "ignoreOsdForProfiles";

} // namespace Vapixcam

#pragma once
// What a video source learnt from its last settings acquisition and needs
// when it writes changes back.
#include "DefinitionsReader.h"
#include "LightControl.h"
#include "StreamProfile.h"

#include <optional>
#include <set>
#include <string>

namespace Vapixcam {

struct AcquiredVideoSettings {
    // The offered sets (after the applicability filter, lights in the image
    // set), the kinds, translations, defined paths and the values read.
    AcquiredProperties properties;
    std::vector<Light> lights;
    // Second stream: k of "StreamProfile.S<k>" and the profile's parameters.
    std::optional<unsigned> profileIndex;
    ProfileParameters profile;
    // Host names the model must not offer; the OSD token among them.
    std::set<std::string> ignored;
    bool ignoreOsdForProfiles = false;
};

} // namespace Vapixcam

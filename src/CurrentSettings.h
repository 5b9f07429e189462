#pragma once
// A channel's current settings as the applicability checks see them: the
// container's values, with enumerations compared by camera value.
#include "ParameterDescriptor.h"

#include <cstdint>
#include <netkit/params/ParametersContainer.h>
#include <string>

namespace Vapixcam {

class CurrentSettings {
public:
    CurrentSettings(const Orix::Utility::ParametersContainer& values,
                    const EnumTranslations& translations, std::string codec, std::uint32_t stream,
                    bool ignoreOsdForProfiles);

    // The stored value; a display value of an enumeration is turned into its
    // camera value. Empty when nothing is stored.
    std::string cameraValue(const std::string& name) const;
    // The display value behind a stored camera value (the value itself when
    // no entry matches).
    std::string displayValue(const std::string& name) const;
    // "yes", "true", "on", "1" or a stored true.
    bool flag(const std::string& name) const;

    // The streaming codec in host spelling ("H264", "MJPEG").
    const std::string& codec() const { return codec_; }
    std::uint32_t stream() const { return stream_; }
    bool ignoreOsdForProfiles() const { return ignoreOsdForProfiles_; }

private:
    const Orix::Utility::ParametersContainer& values_;
    const EnumTranslations& translations_;
    std::string codec_;
    std::uint32_t stream_;
    bool ignoreOsdForProfiles_;
};

} // namespace Vapixcam

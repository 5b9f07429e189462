#include "CurrentSettings.h"

namespace Vapixcam {

CurrentSettings::CurrentSettings(const Orix::Utility::ParametersContainer& values,
                                 const EnumTranslations& translations, std::string codec,
                                 std::uint32_t stream, bool ignoreOsdForProfiles)
    : values_(values),
      translations_(translations),
      codec_(std::move(codec)),
      stream_(stream),
      ignoreOsdForProfiles_(ignoreOsdForProfiles)
{
}

std::string CurrentSettings::cameraValue(const std::string& name) const
{
    const std::string stored = values_.getString(name);
    const auto map = translations_.find(name);
    if (map != translations_.end()) {
        const auto entry = map->second.find(stored);
        if (entry != map->second.end())
            return entry->second;
    }
    return stored;
}

std::string CurrentSettings::displayValue(const std::string& name) const
{
    const std::string camera = cameraValue(name);
    const auto map = translations_.find(name);
    if (map != translations_.end()) {
        for (const auto& [display, value] : map->second) {
            if (value == camera)
                return display;
        }
    }
    return camera;
}

bool CurrentSettings::flag(const std::string& name) const
{
    return values_.getBool(name, false);
}

} // namespace Vapixcam

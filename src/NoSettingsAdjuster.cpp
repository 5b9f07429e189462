#include "NoSettingsAdjuster.h"

#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/SettingsApply.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

void NoSettingsAdjuster::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    const auto changed = takeCollected();
    if (changed.empty())
        ORIX_LOG(log_, Orix::LogDebug, " ApplySettings nothing changed");
    else
        ORIX_LOG(log_, Orix::LogWarning,
                 " ApplySettings for changed parameters: " << Orix::Utility::settingsToString(changed)
                                                           << " (the channel has no settings; ignored)");
    Orix::Utility::wrapAsyncActionHandler(handler, log_.getLogger(), "ApplySettings")->finish(&owner_, Orix::Ok);
}

} // namespace Vapixcam

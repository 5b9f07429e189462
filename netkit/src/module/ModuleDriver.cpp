#include <netkit/module/ModuleDriver.h>

#include <algorithm>

namespace Orix::Utility {

const GDRV::DeviceDescription* findDeviceDescription(const GDRV::DriverInfo& info,
                                                     const std::string& vendor,
                                                     const std::string& model,
                                                     const std::string& firmware)
{
    for (const auto& description : info.devices) {
        for (const auto& entry : description.models) {
            if (entry.vendor != vendor || entry.model != model)
                continue;
            if (firmware.empty() || std::find(entry.firmwares.begin(), entry.firmwares.end(),
                                              firmware) != entry.firmwares.end())
                return &description;
        }
    }
    for (const auto& description : info.devices) {
        for (const auto& entry : description.models) {
            if (entry.model == model)
                return &description;
        }
    }
    return nullptr;
}

} // namespace Orix::Utility

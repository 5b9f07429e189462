#pragma once
#include <orix/gdrv/Autodetect.h>
#include <orix/gdrv/DeviceSearch.h>
#include <orix/gdrv/IDevice.h>

namespace Orix::GDRV {

class IModule : public IContract {
public:
    // slot 3
    virtual IAutodetect* CreateAutodetect(IAutodetectHandler* handler) = 0;
    // slot 4
    virtual IDeviceSearch* CreateDeviceSearch(IDeviceSearchHandler* handler) = 0;
    // slot 5: null when no device description matches.
    virtual IDevice* CreateDevice(IDeviceHandler* handler, const char* vendor, const char* model,
                                  const char* firmware) = 0;
};

} // namespace Orix::GDRV

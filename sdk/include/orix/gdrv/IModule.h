#pragma once
#include <orix/gdrv/IDevice.h>

namespace Orix::GDRV {

class IAutodetectHandler : public IContract {};
class IDeviceSearchHandler : public IContract {};

class IAutodetect : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

class IDeviceSearch : public IContract {
public:
    // slot 3
    virtual void Destroy() = 0;
};

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

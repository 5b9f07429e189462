#pragma once
// Host services the module may ask for by interface: the host's module
// context (IModuleHost) answers QueryContract for this interface.
#include <orix/IContract.h>

namespace Orix::PLUGIN {

class IServiceProvider : public IContract {
public:
    // slot 3: the service implementing the interface whose run-time type name
    // is given (Orix::contractName<Interface>()), or null. The host owns it.
    virtual IContract* QueryService(const char* name) = 0;
};

} // namespace Orix::PLUGIN

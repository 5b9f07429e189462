#pragma once
#include <orix/ILogger.h>

namespace Orix::PLUGIN {

// The host's module context, the first argument of initModule.
class IModuleHost : public IContract {
public:
    // slot 3
    virtual ILogger* GetLogger() = 0;
};

} // namespace Orix::PLUGIN

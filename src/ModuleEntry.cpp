// The module's three exports; everything else stays hidden.
#include "ModuleState.h"

#ifdef _WIN32
#define VAPIXCAM_EXPORT extern "C" __declspec(dllexport)
#else
#define VAPIXCAM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VAPIXCAM_EXPORT bool initModule(Orix::PLUGIN::IModuleHost* host, const char* directory)
{
    try {
        return Vapixcam::ModuleState::instance().init(host, directory);
    } catch (...) {
        return false;
    }
}

VAPIXCAM_EXPORT Orix::GDRV::IModule* getModule()
{
    return Vapixcam::ModuleState::instance().module();
}

VAPIXCAM_EXPORT void finiModule()
{
    try {
        Vapixcam::ModuleState::instance().fini();
    } catch (...) {
    }
}

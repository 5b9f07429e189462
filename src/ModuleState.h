#pragma once
// The module's life cycle behind the three exports, as a class the tests can
// drive without loading the library.
#include "ModuleSettings.h"

#include <memory>
#include <netkit/util/GlobalService.h>
#include <orix/gdrv/IModule.h>
#include <orix/plugin/IModuleHost.h>
#include <string>

namespace Vapixcam {

class ModuleState {
public:
    static ModuleState& instance();

    // Reads "Velto.Vapixcam.rep" from directory and builds the module object.
    // False when host or directory is null, the module exists already, or the
    // repository cannot be loaded.
    bool init(Orix::PLUGIN::IModuleHost* host, const char* directory);
    Orix::GDRV::IModule* module() const { return module_.get(); }
    void fini();

private:
    std::unique_ptr<Orix::GDRV::IModule> module_;
    std::shared_ptr<Orix::Utility::GlobalService> globalService_;
    std::string directory_;
};

} // namespace Vapixcam

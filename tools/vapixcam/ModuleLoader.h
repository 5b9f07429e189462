#pragma once
// Loads the driver module through its three exports, as the host does:
// initModule(host, directory of the module), getModule(), finiModule().
#include <orix/gdrv/IModule.h>
#include <orix/plugin/ModuleExports.h>
#include <string>

namespace VapixcamCli {

class ModuleLoader {
public:
    // Opens the library and finds the three exports; throws CliError with a
    // clear line when the file cannot be loaded or an export is missing.
    explicit ModuleLoader(std::string path);
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // initModule with the module's own directory, then getModule. Throws
    // CliError when either fails. The host must outlive this loader.
    Orix::GDRV::IModule& init(Orix::PLUGIN::IModuleHost& host);
    // finiModule, once; also done by the destructor.
    void fini();

    const std::string& path() const { return path_; }

    // The module vapixcam uses without --module: the one next to the
    // vapixcam binary when there is one (an installed tree), else the one
    // of the build tree it was compiled in.
    static std::string defaultPath();

private:
    void* symbol(const char* name);

    std::string path_;
    void* library_ = nullptr;
    InitModuleFunction initModule_ = nullptr;
    GetModuleFunction getModule_ = nullptr;
    FiniModuleFunction finiModule_ = nullptr;
    bool initialised_ = false;
};

} // namespace VapixcamCli

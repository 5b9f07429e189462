#include "ModuleLoader.h"

#include "CliError.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

#ifndef VAPIXCAM_DEFAULT_MODULE
#define VAPIXCAM_DEFAULT_MODULE "Velto.Vapixcam.vdx"
#endif

namespace VapixcamCli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kModuleFileName = "Velto.Vapixcam.vdx";

std::string lastLoaderError()
{
    const char* text = dlerror();
    return text != nullptr ? text : "unknown loader error";
}

} // namespace

ModuleLoader::ModuleLoader(std::string path) : path_(std::move(path))
{
    std::error_code ec;
    if (!fs::exists(path_, ec))
        throw CliError(kExitError, "cannot load module " + path_ + ": no such file");
    dlerror();
    library_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr)
        throw CliError(kExitError, "cannot load module " + path_ + ": " + lastLoaderError());
    try {
        initModule_ = reinterpret_cast<InitModuleFunction>(symbol(Orix::PLUGIN::kInitModuleSymbol));
        getModule_ = reinterpret_cast<GetModuleFunction>(symbol(Orix::PLUGIN::kGetModuleSymbol));
        finiModule_ = reinterpret_cast<FiniModuleFunction>(symbol(Orix::PLUGIN::kFiniModuleSymbol));
    } catch (...) {
        dlclose(library_);
        library_ = nullptr;
        throw;
    }
}

ModuleLoader::~ModuleLoader()
{
    fini();
    if (library_ != nullptr)
        dlclose(library_);
}

void* ModuleLoader::symbol(const char* name)
{
    dlerror();
    void* address = dlsym(library_, name);
    if (address == nullptr)
        throw CliError(kExitError, "module " + path_ + " does not export " + name);
    return address;
}

Orix::GDRV::IModule& ModuleLoader::init(Orix::PLUGIN::IModuleHost& host)
{
    std::error_code ec;
    fs::path directory = fs::absolute(fs::path(path_), ec).parent_path();
    if (ec)
        directory = fs::path(path_).parent_path();
    const std::string directoryText = directory.string();
    if (!initModule_(&host, directoryText.c_str()))
        throw CliError(kExitError, "module " + path_ + " failed to initialise (is " +
                                       "Velto.Vapixcam.rep in " + directoryText + "?)");
    initialised_ = true;
    Orix::GDRV::IModule* module = getModule_();
    if (module == nullptr)
        throw CliError(kExitError, "module " + path_ + " has no module object after initModule");
    return *module;
}

void ModuleLoader::fini()
{
    if (!initialised_)
        return;
    initialised_ = false;
    finiModule_();
}

std::string ModuleLoader::defaultPath()
{
    // Beside the executable in a build tree, PREFIX/lib/vapixcam when
    // installed as PREFIX/bin/vapixcam; the build's own module otherwise.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path directory = self.parent_path();
        for (const fs::path& candidate :
             {directory / kModuleFileName, directory.parent_path() / "lib" / "vapixcam" / kModuleFileName}) {
            if (fs::exists(candidate, ec))
                return candidate.string();
        }
    }
    return VAPIXCAM_DEFAULT_MODULE;
}

} // namespace VapixcamCli

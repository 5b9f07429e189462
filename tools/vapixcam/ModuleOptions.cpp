#include "Command.h"
#include "ModuleLoader.h"

#include <CLI/CLI.hpp>

namespace VapixcamCli {

void ModuleOptions::addTo(CLI::App& command)
{
    modulePath = ModuleLoader::defaultPath();
    command.add_option("--module", modulePath, "The driver module to load")
        ->capture_default_str();
    command
        .add_option("--log-level", logLevel,
                    "Lowest level of module messages shown on stderr: 0 debug, 1 notice, "
                    "2 warning, 3 error")
        ->check(CLI::Range(0u, 3u))
        ->capture_default_str();
}

} // namespace VapixcamCli

#pragma once
// One vapixcam command (info, sim, ...): it adds its subcommand with its
// options to the command line and runs when that subcommand was given.
// A new command is a new file with a class like this, listed in Commands.cpp.
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
}

namespace VapixcamCli {

class Command {
public:
    virtual ~Command() = default;
    // Adds the subcommand to app and returns it.
    virtual CLI::App* attach(CLI::App& app) = 0;
    // Runs the command; returns the exit code or throws CliError.
    virtual int run() = 0;
};

std::vector<std::unique_ptr<Command>> makeCommands();

// Options every command that loads the module shares.
struct ModuleOptions {
    std::string modulePath;
    unsigned logLevel = 3;

    void addTo(CLI::App& command);
};

} // namespace VapixcamCli

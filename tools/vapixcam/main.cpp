// vapixcam: a command-line host for the Vapixcam driver module. It loads
// the module through its three exports and drives it as a video-management
// host would, one command per run.
#include "CliError.h"
#include "Command.h"
#include "ExitCode.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace VapixcamCli;
    try {
        CLI::App app("vapixcam - drive Axis cameras through the Velto.Vapixcam module");
        app.footer(kExitCodeHelp);
        app.require_subcommand(1);
        const std::vector<std::unique_ptr<Command>> commands = makeCommands();
        std::vector<std::pair<CLI::App*, Command*>> attached;
        for (const auto& command : commands)
            attached.emplace_back(command->attach(app), command.get());

        try {
            app.parse(argc, argv);
        } catch (const CLI::Success& e) {
            return app.exit(e);
        } catch (const CLI::ParseError& e) {
            std::cerr << "vapixcam: " << e.what() << "\n"
                      << "Run 'vapixcam --help' for the commands and their options.\n";
            return kExitUsage;
        }
        for (const auto& [subcommand, command] : attached)
            if (subcommand->parsed())
                return command->run();
        return kExitUsage;
    } catch (const CliError& e) {
        std::cerr << "vapixcam: " << e.what() << std::endl;
        return e.exitCode();
    } catch (const std::exception& e) {
        std::cerr << "vapixcam: " << e.what() << std::endl;
        return kExitError;
    } catch (...) {
        std::cerr << "vapixcam: unexpected error" << std::endl;
        return kExitError;
    }
}

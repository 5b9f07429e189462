#include "Command.h"
#include "InfoCommand.h"
#include "SimCommand.h"

namespace VapixcamCli {

std::vector<std::unique_ptr<Command>> makeCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<InfoCommand>());
    commands.push_back(std::make_unique<SimCommand>());
    return commands;
}

} // namespace VapixcamCli

#include "AudioCommand.h"
#include "Command.h"
#include "DefaultsCommand.h"
#include "DescribeCommand.h"
#include "EventsCommand.h"
#include "InfoCommand.h"
#include "IoCommand.h"
#include "LiveCommand.h"
#include "ParamsCommand.h"
#include "PtzCommand.h"
#include "SearchCommand.h"
#include "PlayCommand.h"
#include "RecordingsCommand.h"
#include "SetCommand.h"
#include "SimCommand.h"
#include "SnapshotCommand.h"
#include "SpeakCommand.h"

namespace VapixcamCli {

std::vector<std::unique_ptr<Command>> makeCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<InfoCommand>());
    commands.push_back(std::make_unique<SimCommand>());
    commands.push_back(std::make_unique<LiveCommand>());
    commands.push_back(std::make_unique<ParamsCommand>());
    commands.push_back(std::make_unique<SetCommand>());
    commands.push_back(std::make_unique<SnapshotCommand>());
    commands.push_back(std::make_unique<PtzCommand>());
    commands.push_back(std::make_unique<SearchCommand>());
    commands.push_back(std::make_unique<DescribeCommand>());
    commands.push_back(std::make_unique<DefaultsCommand>());
    commands.push_back(std::make_unique<RecordingsCommand>());
    commands.push_back(std::make_unique<PlayCommand>());
    commands.push_back(std::make_unique<EventsCommand>());
    commands.push_back(std::make_unique<IoCommand>());
    commands.push_back(std::make_unique<AudioCommand>());
    commands.push_back(std::make_unique<SpeakCommand>());
    return commands;
}

} // namespace VapixcamCli

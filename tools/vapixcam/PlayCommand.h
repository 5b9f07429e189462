#pragma once
// vapixcam play URL --source ID --from T [--speed X] [--seconds N] --out FILE:
// plays a camera's recordings from a time on, one after the other, the way a
// host does (CreateRecordingPlayback, Seek, Play, Teardown, Destroy), writes
// the frames as `live` does, and prints a JSON summary: frames, the first
// and last frame times, the recordings played and how playback ended.
#include "Command.h"
#include "DeviceSession.h"

#include <string>

namespace VapixcamCli {

struct PlayOptions {
    std::string source;
    std::string from;
    double speed = 1.0;
    unsigned seconds = 0; // after the first frame; 0: until playback ends
    std::string outputPath;
};

class PlayCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    PlayOptions play_;
};

} // namespace VapixcamCli

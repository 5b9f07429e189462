#pragma once
// vapixcam ptz URL [--channel C] COMMAND [ARGS]: connects to one camera
// through the module, creates the telemetry channel of a video channel and
// runs one PTZ operation. Prints one JSON object, {"result":N,"meaning":TEXT}
// plus the data a query returns, and exits 0 when the result is 0, 1 else.
//
//   move PAN TILT | stop | step PAN TILT | zoom SPEED | zoom-step STEP
//   focus SPEED | focus-step STEP | iris SPEED | iris-step STEP | autofocus
//   absolute PAN TILT ZOOM | area-zoom X Y W H | center X Y   (0..1 of the picture)
//   position | presets | aux | aux-run NAME | home
//   preset-set|preset-go|preset-clear N|--name NAME   (preset-go: [--speed S], 100)
//   tour-start T | tour-stop T | tour-build T PRESET:SPEED:WAIT ...
//   queue | queue-set NAME=VALUE ...
//
// Presets count from 0 and tours from 1, as the host counts them.
#include "Command.h"
#include "DeviceSession.h"

#include <cstdint>
#include <string>
#include <vector>

namespace VapixcamCli {

// A PTZ operation as the command line gives it. Throws CliError (usage) for
// an unknown operation or arguments that do not fit it.
struct PtzOperation {
    std::string name;
    std::vector<double> numbers;   // the numeric arguments, in order
    std::vector<std::string> texts; // NAME=VALUE settings, tour points, aux name
    std::string presetName;         // --name
    unsigned speed = 100;           // --speed of preset-go
};
PtzOperation parsePtzOperation(const std::vector<std::string>& words, const std::string& presetName,
                               unsigned speed);

class PtzCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    std::uint32_t channel_ = 0;
    std::vector<std::string> words_;
    std::string presetName_;
    unsigned speed_ = 100;
};

} // namespace VapixcamCli

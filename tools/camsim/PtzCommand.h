#pragma once
// Reading one ptz.cgi request into a command, argument by argument, before
// anything moves: numbers, ranges and what the head supports are checked here.
#include "PtzHead.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

// One ptz.cgi request.
struct PtzCommand {
    static constexpr const char* kAxes[] = {"pan", "tilt", "zoom", "focus", "iris"};
    std::optional<double> absolute[5], relative[5]; // by kAxes
    PtzHead::Speeds speeds;
    bool continuous = false;
    std::optional<std::string> move, auxiliary, gotoName, setName, removeName;
    std::optional<std::array<double, 2>> center;
    std::optional<std::array<double, 3>> areazoom;
    double imageWidth = 640, imageHeight = 480;
    std::optional<unsigned> gotoNo, deviceNo, setNo, removeNo, speed;
    std::optional<bool> autofocus, autoiris;
};

// Takes one argument into the command; the refusal, worded as the camera
// words it, when the value is bad or the head lacks the axis.
std::optional<PtzError> readPtzArgument(PtzCommand& c, const std::string& name, const std::string& value,
                                        const PtzLimits& limits, const std::vector<std::string>& auxiliaries);

// Decimal digits only, at most max.
std::optional<unsigned> parseUnsigned(const std::string& text, unsigned max);

} // namespace Camsim

#include "PtzCommand.h"

#include <algorithm>
#include <cstdlib>

namespace Camsim {

namespace {

// "x,y[,z]" with exactly n numbers.
template <std::size_t N>
std::optional<std::array<double, N>> parseNumbers(const std::string& text)
{
    std::array<double, N> out{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const auto comma = text.find(',', start);
        if ((comma == std::string::npos) != (i + 1 == N))
            return std::nullopt;
        const auto v = parseDecimal(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!v)
            return std::nullopt;
        out[i] = *v;
        start = comma + 1;
    }
    return out;
}

} // namespace

std::optional<unsigned> parseUnsigned(const std::string& text, unsigned max)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
    return v <= max ? std::optional<unsigned>(static_cast<unsigned>(v)) : std::nullopt;
}

std::optional<PtzError> readPtzArgument(PtzCommand& c, const std::string& name, const std::string& value,
                                         const PtzLimits& limits, const std::vector<std::string>& auxiliaries)
{
    const auto invalid = [&] { return PtzError{name, "invalid value '" + value + "'"}; };
    const bool focus = name.find("focus") != std::string::npos, iris = name.find("iris") != std::string::npos;
    if ((focus && !limits.focus) || (iris && !limits.iris))
        return PtzError{name, "not supported"};
    for (int a = 0; a < 5; ++a) {
        const bool absolute = name == PtzCommand::kAxes[a];
        if (!absolute && name != std::string("r") + PtzCommand::kAxes[a])
            continue;
        const auto v = parseDecimal(value);
        if (!v)
            return invalid();
        (absolute ? c.absolute : c.relative)[a] = *v;
        return std::nullopt;
    }
    static const std::pair<const char*, std::optional<double> PtzHead::Speeds::*> kSpeeds[] = {
        {"continuouszoommove", &PtzHead::Speeds::zoom},
        {"continuousfocusmove", &PtzHead::Speeds::focus},
        {"continuousirismove", &PtzHead::Speeds::iris}};
    for (const auto& [arg, member] : kSpeeds) {
        if (name != arg)
            continue;
        if (!(c.speeds.*member = parseDecimal(value)))
            return invalid();
        c.continuous = true;
        return std::nullopt;
    }
    static const std::pair<const char*, std::optional<unsigned> PtzCommand::*> kNumbers[] = {
        {"gotoserverpresetno", &PtzCommand::gotoNo},
        {"gotodevicepreset", &PtzCommand::deviceNo},
        {"setserverpresetno", &PtzCommand::setNo},
        {"removeserverpresetno", &PtzCommand::removeNo}};
    for (const auto& [arg, member] : kNumbers) {
        if (name != arg)
            continue;
        if (!(c.*member = parseUnsigned(value, 9999)))
            return invalid();
        return std::nullopt;
    }
    static const std::pair<const char*, std::optional<std::string> PtzCommand::*> kNames[] = {
        {"gotoserverpresetname", &PtzCommand::gotoName},
        {"setserverpresetname", &PtzCommand::setName},
        {"removeserverpresetname", &PtzCommand::removeName}};
    for (const auto& [arg, member] : kNames) {
        if (name == arg) {
            c.*member = value;
            return std::nullopt;
        }
    }
    if (name == "continuouspantiltmove") {
        const auto v = parseNumbers<2>(value);
        if (!v)
            return invalid();
        c.speeds.pan = (*v)[0];
        c.speeds.tilt = (*v)[1];
        c.continuous = true;
    } else if (name == "move") {
        static const char* const kMoves[] = {"home",    "up",       "down",      "left", "right",
                                             "upleft", "upright", "downleft", "downright", "stop"};
        if (std::find(std::begin(kMoves), std::end(kMoves), value) == std::end(kMoves))
            return invalid();
        c.move = value;
    } else if (name == "center") {
        if (!(c.center = parseNumbers<2>(value)))
            return invalid();
    } else if (name == "areazoom") {
        if (!(c.areazoom = parseNumbers<3>(value)) || (*c.areazoom)[2] <= 0)
            return invalid();
    } else if (name == "imagewidth" || name == "imageheight") {
        const auto v = parseDecimal(value);
        if (!v || *v < 1 || *v > 100000)
            return invalid();
        (name == "imagewidth" ? c.imageWidth : c.imageHeight) = *v;
    } else if (name == "speed") {
        if (!(c.speed = parseUnsigned(value, 100)) || *c.speed == 0)
            return invalid();
    } else if (name == "autofocus" || name == "autoiris") {
        if (value != "on" && value != "off")
            return invalid();
        (name == "autofocus" ? c.autofocus : c.autoiris) = value == "on";
    } else if (name == "auxiliary") {
        if (auxiliaries.empty())
            return PtzError{name, "not supported"};
        if (std::find(auxiliaries.begin(), auxiliaries.end(), value) == auxiliaries.end())
            return PtzError{name, "unknown value: " + value};
        c.auxiliary = value;
    } else {
        return PtzError{name, "unknown argument"};
    }
    return std::nullopt;
}

} // namespace Camsim

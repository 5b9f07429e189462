#pragma once
// vapixcam events URL --detector ID [--detector ID ...] [--channel C]
//   [--seconds N] [--area "x,y x,y ..."] [--exclude "x,y x,y ..."]... [NAME=VALUE ...]
//
// Creates each detector on the channel, applies the settings and areas to
// every one, starts them all (they share the device's one event stream) and
// prints one JSON object per line for everything the host hears:
//
//   {"type":"started"|"stopped","detector":ID,"channel":C}
//   {"type":"event","detector":ID,"channel":C,"name":NAME,"kind":"immediate"|"two-phase"|"targets",
//    "time":"2026-03-01T10:00:00.250Z"[,"state":true|false][,"targets":[{"id":N,"box":[x,y,w,h],"color":[r,g,b]}]]}
//   {"type":"failure"|"streamError","detector":ID,"channel":C,"code":N,"message":TEXT}
//
// After --seconds (default: until interrupted) every detector is stopped and
// the command exits 0. A detector the module does not know, or that the
// camera's description does not offer on the channel, ends the command with
// exit code 2 and one line before anything starts.
#include "Command.h"
#include "DeviceSession.h"

#include <array>
#include <cstdint>
#include <json/value.h>
#include <optional>
#include <orix/analytics/VisualElements.h>
#include <string>
#include <vector>

namespace VapixcamCli {

// "x,y x,y ..." with coordinates in 0..1 of the picture. Throws CliError
// (usage) for anything else or fewer than three points.
std::vector<Orix::Analytics::NormalizedPoint> parseArea(const std::string& text);

// A target colour reported as hue (degrees), saturation and value (0..1),
// back in 0..255 per channel.
std::array<int, 3> hsvToRgb(double hue, double saturation, double value);

// Host time (ms since 1970) as "2026-03-01T10:00:00.250Z".
std::string eventTime(std::uint64_t timestamp);

class EventsCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    std::vector<std::string> detectors_;
    std::uint32_t channel_ = 0;
    std::optional<unsigned> seconds_;
    std::string area_;
    std::vector<std::string> excludes_;
    std::vector<std::string> settings_;
};

} // namespace VapixcamCli

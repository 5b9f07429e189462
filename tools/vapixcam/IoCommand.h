#pragma once
// vapixcam io URL watch|relay|virtual: the camera's IO as a host sees it.
//
//   watch [--seconds N]   starts IO channel 0 and prints one JSON line per
//                         state the host receives, the initial ones included:
//                         {"type":"ray"|"relay","number":N,"active":true|false}
//                         (until N seconds passed, or until interrupted)
//   relay N on|off        sets relay N (from 0) through IO channel 0
//   virtual N on|off      sets virtual input N + 1 through a virtual IO channel
//
// relay and virtual print {"result":N,"meaning":TEXT} and exit 0 only when
// the result is 0.
#include "Command.h"
#include "DeviceSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace VapixcamCli {

// An IO operation as the command line gives it. Throws CliError (usage) for
// an unknown operation or arguments that do not fit it.
struct IoOperation {
    enum class Kind { watch, relay, virtualInput };
    Kind kind = Kind::watch;
    std::uint32_t number = 0;
    bool active = false;
};
IoOperation parseIoOperation(const std::vector<std::string>& words);

class IoCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    int watch(Orix::GDRV::IDevice& device);
    int setRelay(Orix::GDRV::IDevice& device, const IoOperation& op);

    ModuleOptions module_;
    DeviceOptions device_;
    std::vector<std::string> words_;
    std::optional<double> seconds_;
};

} // namespace VapixcamCli

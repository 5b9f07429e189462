#pragma once
// vapixcam sim [camsim options...]: runs the simulated camera in the
// foreground, prints a ready-to-copy address for `vapixcam info`, and stops
// the camera on Ctrl-C.
#include "Command.h"

namespace VapixcamCli {

class SimCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

    // camsim's arguments: the ones given, plus loopback-friendly defaults
    // (ports 0, model M1065-LW, user root:pass) for those not given.
    static std::vector<std::string> camsimArguments(const std::vector<std::string>& given);
    // The "user:password" camsim was told to accept.
    static std::string camsimCredentials(const std::vector<std::string>& arguments);

private:
    std::string camsimPath_;
    unsigned readyTimeoutSeconds_ = 30;
    CLI::App* command_ = nullptr;
};

} // namespace VapixcamCli

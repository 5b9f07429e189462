#pragma once
// vapixcam info URL: connects to one camera through the module and prints
// what the device learnt about it as a JSON object.
#include "Command.h"
#include "DeviceSession.h"

namespace VapixcamCli {

class InfoCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

    // The keys the device description must hold.
    static const std::vector<std::string>& requiredKeys();

private:
    ModuleOptions module_;
    DeviceOptions device_;
};

} // namespace VapixcamCli

#pragma once
// vapixcam defaults URL: connects to one camera, has the device write the
// driver's default stream settings (SetDefaultProperties) and prints the
// device's answer, the device description, as indented JSON.
#include "Command.h"
#include "DeviceSession.h"

namespace VapixcamCli {

class DefaultsCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    unsigned answerSeconds_ = 120;
};

} // namespace VapixcamCli

#pragma once
// vapixcam describe URL: runs the module's autodetect tool on one camera
// and prints the device description it builds (video sources, streams,
// detectors, IO, storage, audio, PTZ) as indented JSON.
#include "Command.h"

#include <string>

namespace VapixcamCli {

class DescribeCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    std::string url_;
    unsigned timeoutSeconds_ = 60;
};

// Parses a description document and writes it indented; throws CliError
// when the text is not a JSON object.
std::string indentedDescription(const std::string& text);

} // namespace VapixcamCli

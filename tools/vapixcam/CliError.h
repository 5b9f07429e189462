#pragma once
// An error that ends a command: main prints "vapixcam: " + what() as one line
// and exits with the code.
#include "ExitCode.h"

#include <stdexcept>
#include <string>

namespace VapixcamCli {

class CliError : public std::runtime_error {
public:
    CliError(int exitCode, const std::string& message)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};

} // namespace VapixcamCli

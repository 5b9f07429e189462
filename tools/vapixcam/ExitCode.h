#pragma once
// The exit codes of vapixcam, shown by --help.

namespace VapixcamCli {

enum ExitCode : int {
    kExitOk = 0,
    kExitError = 1,       // the module cannot be loaded, a bad answer, an internal error
    kExitNotConnected = 2, // the device reported a failed connection attempt
    kExitNoAnswer = 3,     // no connection state within the time-out
    kExitUsage = 64,       // the command line itself is wrong
};

inline constexpr const char* kExitCodeHelp =
    "Exit codes:\n"
    "  0   success\n"
    "  1   the module cannot be loaded or answered badly, or another error\n"
    "  2   the camera cannot be connected (the reason is printed)\n"
    "  3   no answer from the camera within the time-out\n"
    "  64  wrong command line\n";

} // namespace VapixcamCli

#pragma once
// Programs run by tests: ChildProcess (vapixcam's own, with stderr captured)
// keeps one running; runProcess runs one to its end (or a time-out) and
// captures everything.
#include <vapixcam/ChildProcess.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

struct ProcessResult {
    int exitCode = -1;      // the exit status when the program exited
    int signal = 0;         // the signal that ended it, else 0
    bool timedOut = false;  // killed after the time-out
    std::string out;        // stdout, at most ChildProcess::kMaxCapturedBytes
    std::string err;        // stderr, likewise
    bool exited(int code) const { return !timedOut && signal == 0 && exitCode == code; }
    // A line of description for failure messages.
    std::string summary() const;
};

class ChildProcess : public VapixcamCli::ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv, std::vector<std::string> extraEnvironment = {})
        : VapixcamCli::ChildProcess(argv, {true, std::move(extraEnvironment)})
    {
    }
};

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                         const std::vector<std::string>& extraEnvironment = {});

} // namespace TestSupport

#include "ProcessRunner.h"

#include <algorithm>
#include <csignal>
#include <sys/wait.h>

namespace TestSupport {

std::string ProcessResult::summary() const
{
    std::string s = timedOut ? "timed out" :
                    signal != 0 ? "killed by signal " + std::to_string(signal) :
                                  "exit code " + std::to_string(exitCode);
    return s + "\n--- stdout ---\n" + out + "\n--- stderr ---\n" + err;
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                         const std::vector<std::string>& extraEnvironment)
{
    ProcessResult result;
    ChildProcess child(argv, extraEnvironment);
    const auto start = std::chrono::steady_clock::now();
    const bool ended = child.readAll(result.out, limit);
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    int status = 0;
    // Closing stdout means the program is ending; give it a moment even when
    // the limit is nearly spent.
    const auto left = ended ? std::max(limit - spent, std::chrono::milliseconds(5000)) : std::chrono::milliseconds(0);
    if (!child.wait(left, status)) {
        result.timedOut = true;
        child.signal(SIGKILL);
        child.wait(std::chrono::seconds(30), status);
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.err = child.stderrText();
    return result;
}

} // namespace TestSupport

#pragma once
// A child program whose stdout is read through a pipe; its stdin is
// /dev/null, and its stderr is ours or, when captured, goes to a temporary
// file read back with stderrText(). It runs in its own process group, so
// Ctrl-C reaches only the parent, which then stops it; on Linux it is also
// told to end (SIGTERM) when the parent dies. The tests start their programs
// with the same class.
#include <chrono>
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace VapixcamCli {

struct ChildProcessOptions {
    bool captureStderr = false;
    std::vector<std::string> extraEnvironment; // "NAME=value", added to ours
};

class ChildProcess {
public:
    using Options = ChildProcessOptions;
    // Bound of what readAll and stderrText return.
    static constexpr std::size_t kMaxCapturedBytes = 4u * 1024u * 1024u;

    // Starts argv[0] (a path). Throws CliError when it cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv, const Options& options = {});
    // Stops the child (if still running) and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // One line of the child's stdout without its newline; false on end of
    // file, after the limit, or when the line would exceed maxBytes.
    bool readLine(std::string& line, std::chrono::milliseconds limit, std::size_t maxBytes = 65536);
    // The rest of stdout until end of file (true) or the limit (false).
    bool readAll(std::string& out, std::chrono::milliseconds limit);
    // Copies the rest of the child's stdout to ours on a detached thread.
    void forwardOutput();

    void signal(int number);
    // Waits up to the limit for the child's end; its wait status goes to status.
    bool wait(std::chrono::milliseconds limit, int& status);
    // True when the child has ended, without waiting.
    bool reap(int& status) { return wait(std::chrono::milliseconds(0), status); }
    bool running()
    {
        int status = 0;
        return !reap(status);
    }
    // SIGTERM, up to `grace` to end, then SIGKILL; always reaps.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

    pid_t pid() const { return pid_; }
    // What the child wrote to stderr so far, when captured.
    std::string stderrText() const;

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderrFile_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    std::string pending_;
};

} // namespace VapixcamCli

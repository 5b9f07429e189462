#pragma once
// A child program whose stdout is read through a pipe; its stderr is ours.
// It runs in its own process group, so Ctrl-C reaches only vapixcam, which
// then stops it; on Linux it is also told to end when vapixcam dies.
#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace VapixcamCli {

class ChildProcess {
public:
    // Throws CliError when the program cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // One line of the child's stdout without its newline; false on end of
    // file, after the limit, or when the line would exceed maxBytes.
    bool readLine(std::string& line, std::chrono::milliseconds limit, std::size_t maxBytes = 65536);
    // Copies the rest of the child's stdout to ours on a detached thread.
    void forwardOutput();

    // True when the child has ended; its wait status goes to status.
    bool reap(int& status);
    // SIGTERM, up to `grace` to end, then SIGKILL; always reaps.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool reaped_ = false;
    std::string pending_;
};

} // namespace VapixcamCli

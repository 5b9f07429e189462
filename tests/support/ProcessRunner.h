#pragma once
// Child processes for tests: ChildProcess starts a program with its stdout
// on a pipe and its stderr in a temporary file; runProcess runs one to its
// end (or a time-out) and captures everything.
#include <chrono>
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace TestSupport {

struct ProcessResult {
    int exitCode = -1;      // the exit status when the program exited
    int signal = 0;         // the signal that ended it, else 0
    bool timedOut = false;  // killed after the time-out
    std::string out;        // stdout, at most kMaxCapturedBytes
    std::string err;        // stderr, at most kMaxCapturedBytes
    bool exited(int code) const { return !timedOut && signal == 0 && exitCode == code; }
    // A line of description for failure messages.
    std::string summary() const;
};

inline constexpr std::size_t kMaxCapturedBytes = 4u * 1024u * 1024u;

class ChildProcess {
public:
    // Starts argv[0] (a path) with the arguments. extraEnvironment entries
    // ("NAME=value") are added to the current environment. Throws
    // std::runtime_error when the program cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const std::vector<std::string>& extraEnvironment = {});
    // Kills the child (if still running) and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The read end of the child's stdout.
    int stdoutFd() const { return stdout_; }

    // Reads one stdout line (without the newline); false on end of file,
    // after the limit, or beyond maxBytes without a newline.
    bool readLine(std::string& line, std::chrono::milliseconds limit,
                  std::size_t maxBytes = 65536);
    // Reads stdout until end of file or the limit; false on the limit.
    bool readAll(std::string& out, std::chrono::milliseconds limit);

    // Sends a signal to the child.
    void signal(int number);
    // Waits for the child's end; false after the limit (the child runs on).
    bool wait(std::chrono::milliseconds limit, int& status);
    // SIGTERM, up to grace for it to end, then SIGKILL; always reaps.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    bool running();

    // What the child wrote to stderr so far (at most kMaxCapturedBytes).
    std::string stderrText() const;

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderrFile_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    std::string pending_;
};

// Runs a program to its end, capturing stdout and stderr; after the limit the
// program is killed and timedOut is set.
ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                         const std::vector<std::string>& extraEnvironment = {});

} // namespace TestSupport

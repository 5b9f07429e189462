#include "ProcessRunner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace TestSupport {

namespace {

std::string readFileFrom(int fd)
{
    std::string text;
    if (fd < 0)
        return text;
    char buffer[8192];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const std::size_t room = kMaxCapturedBytes - text.size();
        text.append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
        if (text.size() >= kMaxCapturedBytes)
            break;
        offset += n;
    }
    return text;
}

int temporaryFile()
{
    char name[] = "/tmp/vapixcam-test-stderr-XXXXXX";
    const int fd = mkostemp(name, O_CLOEXEC);
    if (fd >= 0)
        unlink(name);
    return fd;
}

} // namespace

std::string ProcessResult::summary() const
{
    std::string s = timedOut ? "timed out" :
                    signal != 0 ? "killed by signal " + std::to_string(signal) :
                                  "exit code " + std::to_string(exitCode);
    return s + "\n--- stdout ---\n" + out + "\n--- stderr ---\n" + err;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extraEnvironment)
{
    if (argv.empty())
        throw std::runtime_error("ChildProcess: no program");
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environmentCopy;
    for (char** e = environ; *e != nullptr; ++e)
        environmentCopy.emplace_back(*e);
    environmentCopy.insert(environmentCopy.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> environment;
    for (const std::string& e : environmentCopy)
        environment.push_back(const_cast<char*>(e.c_str()));
    environment.push_back(nullptr);

    stderrFile_ = temporaryFile();
    if (stderrFile_ < 0)
        throw std::runtime_error(std::string("ChildProcess: no temporary file: ") +
                                 std::strerror(errno));
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        close(stderrFile_);
        throw std::runtime_error(std::string("ChildProcess: pipe: ") + std::strerror(errno));
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        close(stderrFile_);
        throw std::runtime_error(std::string("ChildProcess: fork: ") + std::strerror(error));
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on.
        setpgid(0, 0);
#ifdef __linux__
        // A crashing test must not leave the program behind.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
#endif
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            dup2(devNull, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(stderrFile_, STDERR_FILENO);
        execve(args[0], args.data(), environment.data());
        const char message[] = "ChildProcess: cannot execute the program\n";
        (void)!write(STDERR_FILENO, message, sizeof message - 1);
        _exit(127);
    }
    (void)parent;
    close(pipeFds[1]);
    stdout_ = pipeFds[0];
}

ChildProcess::~ChildProcess()
{
    stop(std::chrono::seconds(5));
    if (stdout_ >= 0)
        close(stdout_);
    if (stderrFile_ >= 0)
        close(stderrFile_);
}

bool ChildProcess::readLine(std::string& line, std::chrono::milliseconds limit,
                            std::size_t maxBytes)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::string::size_type newline = pending_.find('\n');
        if (newline != std::string::npos) {
            line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        if (pending_.size() > maxBytes)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{stdout_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = read(stdout_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool ChildProcess::readAll(std::string& out, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    out.swap(pending_);
    pending_.clear();
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{stdout_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[8192];
        const ssize_t n = read(stdout_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        const std::size_t room = kMaxCapturedBytes - std::min(out.size(), kMaxCapturedBytes);
        out.append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
    }
}

void ChildProcess::signal(int number)
{
    if (pid_ > 0 && !reaped_)
        kill(pid_, number);
}

bool ChildProcess::wait(std::chrono::milliseconds limit, int& status)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (reaped_) {
            status = status_;
            return true;
        }
        const pid_t r = waitpid(pid_, &status_, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            continue;
        }
        if (r < 0 && errno != EINTR) {
            reaped_ = true;
            status_ = 0;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool ChildProcess::running()
{
    int status = 0;
    return !wait(std::chrono::milliseconds(0), status);
}

void ChildProcess::stop(std::chrono::milliseconds grace)
{
    if (pid_ <= 0 || reaped_)
        return;
    int status = 0;
    kill(pid_, SIGTERM);
    if (wait(grace, status))
        return;
    kill(pid_, SIGKILL);
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
}

std::string ChildProcess::stderrText() const
{
    return readFileFrom(stderrFile_);
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                         const std::vector<std::string>& extraEnvironment)
{
    ProcessResult result;
    ChildProcess child(argv, extraEnvironment);
    const auto start = std::chrono::steady_clock::now();
    const bool ended = child.readAll(result.out, limit);
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    int status = 0;
    // Closing stdout means the program is ending; give it a moment even when
    // the limit is nearly spent.
    const auto left = ended ? std::max(limit - spent, std::chrono::milliseconds(5000))
                            : std::chrono::milliseconds(0);
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

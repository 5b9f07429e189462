#include "ChildProcess.h"

#include "CliError.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace VapixcamCli {

namespace {

int temporaryFile()
{
    char name[] = "/tmp/vapixcam-stderr-XXXXXX";
    const int fd = mkostemp(name, O_CLOEXEC);
    if (fd >= 0)
        unlink(name);
    return fd;
}

// Waits up to `left` for stdout to be readable and appends what is there;
// 1 on data, 0 on end of file, -1 on the limit.
int readSome(int fd, std::string& into, std::chrono::milliseconds left, std::size_t bound)
{
    for (;;) {
        if (left.count() <= 0)
            return -1;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        char buffer[8192];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        const std::size_t room = bound - std::min(into.size(), bound);
        into.append(buffer, std::min(room, static_cast<std::size_t>(n)));
        return 1;
    }
}

std::chrono::milliseconds until(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
{
    if (argv.empty())
        throw CliError(kExitError, "no program to start");
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environmentCopy;
    for (char** e = environ; *e != nullptr; ++e)
        environmentCopy.emplace_back(*e);
    environmentCopy.insert(environmentCopy.end(), options.extraEnvironment.begin(), options.extraEnvironment.end());
    std::vector<char*> environment;
    for (const std::string& e : environmentCopy)
        environment.push_back(const_cast<char*>(e.c_str()));
    environment.push_back(nullptr);

    if (options.captureStderr && (stderrFile_ = temporaryFile()) < 0)
        throw CliError(kExitError, std::string("cannot create a temporary file: ") + std::strerror(errno));
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        const int error = errno;
        if (stderrFile_ >= 0)
            close(stderrFile_);
        throw CliError(kExitError, std::string("cannot create a pipe: ") + std::strerror(error));
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (stderrFile_ >= 0)
            close(stderrFile_);
        throw CliError(kExitError, std::string("cannot start ") + argv[0] + ": " + std::strerror(error));
    }
    if (pid_ == 0) {
        setpgid(0, 0);
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
#endif
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            dup2(devNull, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        if (stderrFile_ >= 0)
            dup2(stderrFile_, STDERR_FILENO);
        execve(args[0], args.data(), environment.data());
        const char message[] = "cannot execute the program\n";
        (void)!write(STDERR_FILENO, message, sizeof message - 1);
        _exit(127);
    }
    (void)parent;
    close(pipeFds[1]);
    stdout_ = pipeFds[0];
}

ChildProcess::~ChildProcess()
{
    stop();
    if (stdout_ >= 0)
        close(stdout_);
    if (stderrFile_ >= 0)
        close(stderrFile_);
}

bool ChildProcess::readLine(std::string& line, std::chrono::milliseconds limit, std::size_t maxBytes)
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
        if (pending_.size() > maxBytes || readSome(stdout_, pending_, until(deadline), maxBytes + 1) <= 0)
            return false;
    }
}

bool ChildProcess::readAll(std::string& out, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    out.swap(pending_);
    pending_.clear();
    for (;;) {
        const int r = readSome(stdout_, out, until(deadline), kMaxCapturedBytes);
        if (r <= 0)
            return r == 0;
    }
}

void ChildProcess::forwardOutput()
{
    if (!pending_.empty()) {
        (void)!write(STDOUT_FILENO, pending_.data(), pending_.size());
        pending_.clear();
    }
    const int fd = dup(stdout_);
    if (fd < 0)
        return;
    std::thread([fd] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            (void)!write(STDOUT_FILENO, buffer, static_cast<std::size_t>(n));
        }
        close(fd);
    }).detach();
}

void ChildProcess::signal(int number)
{
    if (pid_ > 0 && !reaped_)
        kill(pid_, number);
}

bool ChildProcess::wait(std::chrono::milliseconds limit, int& status)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!reaped_) {
        const pid_t r = waitpid(pid_, &status_, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            reaped_ = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    status = status_;
    return true;
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
    std::string text;
    char buffer[8192];
    off_t offset = 0;
    while (stderrFile_ >= 0 && text.size() < kMaxCapturedBytes) {
        const ssize_t n = pread(stderrFile_, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, std::min(kMaxCapturedBytes - text.size(), static_cast<std::size_t>(n)));
        offset += n;
    }
    return text;
}

} // namespace VapixcamCli

#include "ChildProcess.h"

#include "CliError.h"

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

namespace VapixcamCli {

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    if (argv.empty())
        throw CliError(kExitError, "no program to start");
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw CliError(kExitError, std::string("cannot create a pipe: ") + std::strerror(errno));
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        throw CliError(kExitError, std::string("cannot start ") + argv[0] + ": " +
                                       std::strerror(error));
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
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(args[0], args.data());
        const char message[] = "vapixcam: cannot execute the program\n";
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

bool ChildProcess::reap(int& status)
{
    if (reaped_)
        return true;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD))
        reaped_ = true;
    return reaped_;
}

void ChildProcess::stop(std::chrono::milliseconds grace)
{
    if (pid_ <= 0 || reaped_)
        return;
    int status = 0;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!reap(status) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!reaped_) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
}

} // namespace VapixcamCli

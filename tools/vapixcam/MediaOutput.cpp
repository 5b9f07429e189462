#include "MediaOutput.h"

#include "CliError.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#define VAPIXCAM_STDOUT_IS_TERMINAL() (_isatty(_fileno(stdout)) != 0)
#else
#include <unistd.h>
#define VAPIXCAM_STDOUT_IS_TERMINAL() (isatty(STDOUT_FILENO) != 0)
#endif

namespace VapixcamCli {

MediaOutput::MediaOutput(const std::string& path) : path_(path), standardOutput_(isStandardOutput(path))
{
    if (standardOutput_) {
        refuseTerminal(path);
#ifdef SIGPIPE
        // A closed pipe shows as EPIPE on the write instead of ending the
        // process, so the command can stop and sum up.
        std::signal(SIGPIPE, SIG_IGN);
#endif
        file_ = stdout;
        return;
    }
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr)
        throw CliError(kExitError, "cannot create " + path_ + ": " + std::strerror(errno));
}

void MediaOutput::refuseTerminal(const std::string& path)
{
    // As curl does: binary media would only garble a terminal.
    if (isStandardOutput(path) && VAPIXCAM_STDOUT_IS_TERMINAL())
        throw CliError(kExitUsage, "standard output is a terminal: pipe it into a player "
                                   "(--out - | ffplay -), redirect it, or use --out FILE");
}

MediaOutput::~MediaOutput()
{
    finish();
}

MediaOutput::Result MediaOutput::failed(int errorNumber)
{
    if (errorNumber == EPIPE) {
        state_ = Result::ReaderGone;
    } else {
        state_ = Result::Failed;
        error_ = "cannot write " + (standardOutput_ ? std::string("to standard output") : path_) + ": " +
                 std::strerror(errorNumber);
    }
    return state_;
}

MediaOutput::Result MediaOutput::write(const void* data, std::size_t size)
{
    if (state_ != Result::Written || file_ == nullptr)
        return state_;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size)
        return failed(errno);
    return state_;
}

MediaOutput::Result MediaOutput::finish()
{
    if (file_ == nullptr)
        return state_;
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    const bool ok = standardOutput_ ? std::fflush(file) == 0 : std::fclose(file) == 0;
    if (!ok && state_ == Result::Written)
        failed(errno);
    if (standardOutput_ && state_ != Result::Written)
        std::clearerr(file); // nothing left for the exit-time flush to report
    return state_;
}

} // namespace VapixcamCli

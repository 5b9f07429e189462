#pragma once
// Where a command writes media: a file, or standard output for "-" so that
// `vapixcam live URL --out - | ffplay -` works as with ffmpeg and curl. A
// reader that goes away (a closed pipe) is not an error: the command stops
// writing and ends normally.
#include <cstddef>
#include <cstdio>
#include <string>

namespace VapixcamCli {

class MediaOutput {
public:
    enum class Result { Written, ReaderGone, Failed };

    // "-" is standard output. Throws CliError when the file cannot be created.
    explicit MediaOutput(const std::string& path);
    ~MediaOutput();
    MediaOutput(const MediaOutput&) = delete;
    MediaOutput& operator=(const MediaOutput&) = delete;

    static bool isStandardOutput(const std::string& path) { return path == "-"; }
    // Throws CliError (usage) when path is "-" and standard output is a
    // terminal; commands call it before they contact the camera.
    static void refuseTerminal(const std::string& path);
    bool toStandardOutput() const { return standardOutput_; }

    // Writes all bytes. After ReaderGone or Failed nothing more is written
    // and every later call answers the same.
    Result write(const void* data, std::size_t size);
    // Flushes (and closes a file); the same results as write.
    Result finish();

    // Why the last Failed happened.
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

private:
    Result failed(int errorNumber);

    std::string path_;
    std::FILE* file_ = nullptr;
    bool standardOutput_ = false;
    Result state_ = Result::Written;
    std::string error_;
};

} // namespace VapixcamCli

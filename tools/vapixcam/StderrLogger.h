#pragma once
// The host's logger: one line per message on stderr,
//   "LEVEL file:line function: message"
// gated by the level chosen on the command line (0 admits everything,
// 3 only errors).
#include <mutex>
#include <string>
#include <orix/ILogger.h>

namespace VapixcamCli {

class StderrLogger final : public Orix::ILogger {
public:
    explicit StderrLogger(unsigned level) : level_(level) {}

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    unsigned GetLogLevel() const override { return level_; }
    void Log(int level, const char* file, int line, const char* function,
             const char* message) override;
    void Log(int level, const char* text) override;

    static const char* levelName(int level);

    // The last error-level message the driver logged in this process, on one
    // line and cut to a readable length (whatever the level admits to
    // stderr); empty when there was none. Driver logs carry no passwords.
    static std::string lastError();

private:
    void write(const std::string& line);

    unsigned level_;
    std::mutex mutex_;
};

} // namespace VapixcamCli

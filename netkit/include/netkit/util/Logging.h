#pragma once
// Logger ownership with a prefix and level gating. A message is built only
// when the owner's logger admits its level:
//
//   ORIX_LOG(*this, Orix::LogWarning, " Use " << port << " as RTSP port");
//
// The call reaches the logger with the level, the source file relative to the
// project root, the line, the qualified function name and the prefixed text.
#include <cstddef>
#include <memory>
#include <orix/ILogger.h>
#include <sstream>
#include <string>

namespace Orix {

using LoggerPtr = std::shared_ptr<ILogger>;

class LoggerOwner {
public:
    explicit LoggerOwner(LoggerPtr logger = {}, std::string prefix = {});
    virtual ~LoggerOwner() = default;

    bool isLogEnabled(int level) const;
    // Sends an already built message; prefix is put in front.
    void writeLog(int level, const char* file, int line, const char* prettyFunction,
                  const std::string& message) const;

    const LoggerPtr& getLogger() const { return logger_; }
    void setLogger(LoggerPtr logger) { logger_ = std::move(logger); }
    // The prefix may hold "%1%", replaced by the argument ("tc %1%" -> "tc 2").
    void setLogPrefix(const std::string& prefix, const std::string& argument = {});
    const std::string& logPrefix() const { return prefix_; }

private:
    LoggerPtr logger_;
    std::string prefix_;
};

// A message longer than this is cut, with a note of how much was left out:
// a camera's answer quoted in a log line cannot flood the log.
inline constexpr std::size_t kMaxLogMessageBytes = 16 * 1024;
std::string capLogMessage(const std::string& message);

// "void Vapixcam::Device::tryConnect(const string&)" -> "Vapixcam::Device::tryConnect"
std::string qualifiedFunctionName(const char* prettyFunction);

namespace LoggerDetail {
// A logger that appends to a file in the system's temporary directory
// ("velto-vapixcam.log"), or to the path in setFileLoggerPath() when set
// before the first call. Messages below the threshold are not written.
LoggerPtr initFileLogger();
void setFileLoggerPath(const std::string& path);

// A logger that forwards to a host logger it does not own.
LoggerPtr borrowLogger(ILogger* hostLogger);
} // namespace LoggerDetail

} // namespace Orix

#define ORIX_LOG(owner, level, pieces)                                                    \
    do {                                                                                  \
        const ::Orix::LoggerOwner& orixLogOwner_ = (owner);                               \
        if (orixLogOwner_.isLogEnabled(level)) {                                          \
            std::ostringstream orixLogStream_;                                            \
            orixLogStream_ << pieces;                                                     \
            orixLogOwner_.writeLog(level, __FILE__, __LINE__, __PRETTY_FUNCTION__,        \
                                   orixLogStream_.str());                                 \
        }                                                                                 \
    } while (false)

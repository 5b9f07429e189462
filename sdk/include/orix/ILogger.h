#pragma once
#include <orix/IContract.h>

namespace Orix {

// Log levels: 0 trace detail, 1 anomalies in camera data, 2 connection
// milestones and fallbacks, 3 errors. A message of level L is built and sent
// only when GetLogLevel() answers 0 or a value not above L.
enum LogLevel : int { LogDebug = 0, LogNotice = 1, LogWarning = 2, LogError = 3 };

class ILogger : public IContract {
public:
    // slot 3
    virtual unsigned GetLogLevel() const = 0;
    // slot 4
    virtual void Log(int level, const char* file, int line, const char* function,
                     const char* message) = 0;
    // slot 5: short form without a source location.
    virtual void Log(int level, const char* text) = 0;
};

inline bool logLevelAdmits(unsigned loggerLevel, int messageLevel)
{
    return loggerLevel == 0 || static_cast<int>(loggerLevel) <= messageLevel;
}

} // namespace Orix

#include <netkit/util/Logging.h>

#include <boost/filesystem.hpp>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <mutex>

namespace Orix {

LoggerOwner::LoggerOwner(LoggerPtr logger, std::string prefix)
    : logger_(std::move(logger)), prefix_(std::move(prefix))
{
}

bool LoggerOwner::isLogEnabled(int level) const
{
    return logger_ && logLevelAdmits(logger_->GetLogLevel(), level);
}

std::string capLogMessage(const std::string& message)
{
    if (message.size() <= kMaxLogMessageBytes)
        return message;
    // Cut at a character boundary: a UTF-8 sequence is not split.
    std::size_t keep = kMaxLogMessageBytes;
    while (keep > 0 && (static_cast<unsigned char>(message[keep]) & 0xC0) == 0x80)
        --keep;
    return message.substr(0, keep) + "... [" + std::to_string(message.size() - keep) +
           " more bytes not logged]";
}

void LoggerOwner::writeLog(int level, const char* file, int line, const char* prettyFunction,
                           const std::string& message) const
{
    if (!logger_)
        return;
    const std::string function = qualifiedFunctionName(prettyFunction);
    const std::string text = capLogMessage(prefix_.empty() ? message : prefix_ + message);
    logger_->Log(level, file, line, function.c_str(), text.c_str());
}

void LoggerOwner::setLogPrefix(const std::string& prefix, const std::string& argument)
{
    prefix_ = prefix;
    const auto at = prefix_.find("%1%");
    if (at != std::string::npos)
        prefix_.replace(at, 3, argument);
}

std::string qualifiedFunctionName(const char* prettyFunction)
{
    if (prettyFunction == nullptr)
        return {};
    const std::string text(prettyFunction);
    // The argument list starts at the first '(' that is not part of the name
    // ("operator()" keeps its parentheses).
    std::size_t open = text.find('(');
    if (open != std::string::npos && text.compare(open, 2, "()") == 0 && open >= 8 &&
        text.compare(open - 8, 8, "operator") == 0)
        open = text.find('(', open + 2);
    std::string head = text.substr(0, open);
    // Drop the return type: the name starts after the last space that is not
    // inside template brackets.
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const char c = head[i];
        if (c == '<')
            ++depth;
        else if (c == '>')
            --depth;
        else if (c == ' ' && depth == 0)
            start = i + 1;
    }
    return head.substr(start);
}

namespace {

const char* levelName(int level)
{
    switch (level) {
    case LogDebug: return "DEBUG";
    case LogNotice: return "NOTICE";
    case LogWarning: return "WARN";
    case LogError: return "ERROR";
    }
    return "LOG";
}

class FileLogger final : public ILogger {
public:
    explicit FileLogger(const std::string& path) : out_(path, std::ios::app) {}

    IContract* QueryContract(const char* name) override
    {
        return const_cast<IContract*>(QueryConstContract(name));
    }
    const IContract* QueryConstContract(const char*) const override { return nullptr; }

    unsigned GetLogLevel() const override { return LogWarning; }

    void Log(int level, const char* file, int line, const char* function,
             const char* message) override
    {
        if (!logLevelAdmits(GetLogLevel(), level))
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!out_)
            return;
        stamp();
        out_ << levelName(level) << ' ' << (file ? file : "") << ':' << line << ' '
             << (function ? function : "") << ':' << (message ? message : "") << '\n';
        out_.flush();
    }

    void Log(int level, const char* text) override
    {
        if (!logLevelAdmits(GetLogLevel(), level))
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!out_)
            return;
        stamp();
        out_ << levelName(level) << ' ' << (text ? text : "") << '\n';
        out_.flush();
    }

private:
    void stamp()
    {
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        std::tm tm{};
#ifdef _WIN32
        gmtime_s(&tm, &t);
#else
        gmtime_r(&t, &tm);
#endif
        out_ << std::put_time(&tm, "%Y-%m-%dT%H:%M:%SZ") << ' ';
    }

    std::mutex mutex_;
    std::ofstream out_;
};

class BorrowedLogger final : public ILogger {
public:
    explicit BorrowedLogger(ILogger* host) : host_(host) {}
    IContract* QueryContract(const char* name) override { return host_->QueryContract(name); }
    const IContract* QueryConstContract(const char* name) const override
    {
        return host_->QueryConstContract(name);
    }
    unsigned GetLogLevel() const override { return host_->GetLogLevel(); }
    void Log(int level, const char* file, int line, const char* function,
             const char* message) override
    {
        host_->Log(level, file, line, function, message);
    }
    void Log(int level, const char* text) override { host_->Log(level, text); }

private:
    ILogger* host_;
};

std::mutex& pathMutex()
{
    static std::mutex m;
    return m;
}

std::string& configuredPath()
{
    static std::string path;
    return path;
}

} // namespace

namespace LoggerDetail {

void setFileLoggerPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(pathMutex());
    configuredPath() = path;
}

LoggerPtr initFileLogger()
{
    std::string path;
    {
        std::lock_guard<std::mutex> lock(pathMutex());
        path = configuredPath();
    }
    if (path.empty()) {
        boost::system::error_code ec;
        const auto dir = boost::filesystem::temp_directory_path(ec);
        if (ec)
            return {};
        path = (dir / "velto-vapixcam.log").string();
    }
    return std::make_shared<FileLogger>(path);
}

LoggerPtr borrowLogger(ILogger* hostLogger)
{
    if (hostLogger == nullptr)
        return {};
    return std::make_shared<BorrowedLogger>(hostLogger);
}

} // namespace LoggerDetail
} // namespace Orix

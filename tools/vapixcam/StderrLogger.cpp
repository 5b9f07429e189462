#include "StderrLogger.h"

#include <cstdio>
#include <string>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

namespace {

const char* orEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

struct LastError {
    std::mutex mutex;
    std::string text;
};

LastError& lastErrorStore()
{
    static LastError store;
    return store;
}

void rememberError(int level, const char* message)
{
    if (level < Orix::LogError || message == nullptr)
        return;
    constexpr std::size_t kMaxLength = 300;
    std::string text;
    for (const char* c = message; *c != '\0' && text.size() < kMaxLength; ++c)
        text += *c == '\r' || *c == '\n' || *c == '\t' ? ' ' : *c;
    if (message[text.size()] != '\0')
        text += "...";
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return;
    // "ApplySettings is finished with error 6": the handler wrappers' report
    // of the code the command prints anyway; the reason came before it.
    static const std::string kCodeReport = " with error ";
    const std::size_t number = text.find_last_not_of("0123456789") + 1; // npos + 1 == 0
    if (number < text.size() && number >= kCodeReport.size() &&
        text.compare(number - kCodeReport.size(), kCodeReport.size(), kCodeReport) == 0)
        return;
    LastError& store = lastErrorStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    store.text = text.substr(first);
}

} // namespace

Orix::IContract* StderrLogger::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* StderrLogger::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::ILogger>(this, name);
}

const char* StderrLogger::levelName(int level)
{
    switch (level) {
    case Orix::LogDebug: return "DEBUG";
    case Orix::LogNotice: return "NOTICE";
    case Orix::LogWarning: return "WARNING";
    case Orix::LogError: return "ERROR";
    }
    return level < Orix::LogDebug ? "DEBUG" : "ERROR";
}

std::string StderrLogger::lastError()
{
    LastError& store = lastErrorStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    return store.text;
}

void StderrLogger::Log(int level, const char* file, int line, const char* function,
                       const char* message)
{
    rememberError(level, message);
    if (!Orix::logLevelAdmits(level_, level))
        return;
    std::string text = levelName(level);
    text += ' ';
    text += file != nullptr && *file != '\0' ? file : "?";
    text += ':';
    text += std::to_string(line);
    text += ' ';
    text += orEmpty(function);
    text += ':';
    const char* body = orEmpty(message);
    // Driver messages begin with one space of their own.
    if (*body != ' ')
        text += ' ';
    text += body;
    write(text);
}

void StderrLogger::Log(int level, const char* text)
{
    rememberError(level, text);
    if (!Orix::logLevelAdmits(level_, level))
        return;
    std::string line = levelName(level);
    line += ' ';
    line += orEmpty(text);
    write(line);
}

void StderrLogger::write(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace VapixcamCli

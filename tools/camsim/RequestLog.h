#pragma once
// Every request the simulator saw, newest last: kept in memory (bounded) for
// GET /camsim/requests and, when a file is given, appended to it one JSON
// object per line. Credentials never get here: only whether an
// Authorization header came along, and password-like query values are
// replaced before a target is stored.
#include <deque>
#include <fstream>
#include <mutex>
#include <string>

#include <json/value.h>

namespace Camsim {

struct RequestRecord {
    std::string time;   // ISO 8601 UTC with milliseconds
    std::string method;
    std::string target; // redacted
    bool authorization = false;
    int status = 0;     // 0: no answer was sent
    std::string fault;  // the injected fault, if any
    bool secure = false;
    std::string ptzControlId; // the ptz_ctl_id cookie the client sent
};

// Replaces the values of query arguments that look like passwords
// ("pwd", "password", "passwd", "pass") with "****".
std::string redactTarget(const std::string& target);

std::string utcTimestamp();

class RequestLog {
public:
    explicit RequestLog(const std::string& file = {}, std::size_t maxEntries = 10000);

    void add(RequestRecord record);
    void clear();
    Json::Value toJson() const;
    // False when the log file could not be opened.
    bool fileOk() const { return fileOk_; }

    static Json::Value toJson(const RequestRecord& r);

private:
    mutable std::mutex mutex_;
    std::deque<RequestRecord> records_;
    std::size_t maxEntries_;
    std::ofstream file_;
    bool fileOk_ = true;
};

} // namespace Camsim

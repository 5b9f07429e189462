#include "RequestLog.h"

#include "HttpMessage.h"

#include <json/writer.h>

#include <chrono>
#include <ctime>
#include <cstdio>

namespace Camsim {

std::string redactTarget(const std::string& target)
{
    const auto q = target.find('?');
    if (q == std::string::npos)
        return target;
    std::string out = target.substr(0, q + 1);
    const std::string query = target.substr(q + 1);
    std::size_t start = 0;
    bool first = true;
    while (start <= query.size()) {
        auto end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        std::string piece = query.substr(start, end - start);
        const auto eq = piece.find('=');
        const std::string name = toLower(piece.substr(0, eq));
        if (eq != std::string::npos &&
            (name == "pwd" || name == "password" || name == "passwd" || name == "pass"))
            piece = piece.substr(0, eq + 1) + "****";
        out += (first ? "" : "&") + piece;
        first = false;
        start = end + 1;
    }
    return out;
}

std::string utcTimestamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

RequestLog::RequestLog(const std::string& file, std::size_t maxEntries) : maxEntries_(maxEntries)
{
    if (!file.empty()) {
        file_.open(file, std::ios::app);
        fileOk_ = file_.is_open();
    }
}

Json::Value RequestLog::toJson(const RequestRecord& r)
{
    Json::Value v;
    v["time"] = r.time;
    v["method"] = r.method;
    v["target"] = r.target;
    v["authorization"] = r.authorization;
    v["status"] = r.status;
    v["secure"] = r.secure;
    if (!r.fault.empty())
        v["fault"] = r.fault;
    if (!r.ptzControlId.empty())
        v["ptzControlId"] = r.ptzControlId;
    return v;
}

void RequestLog::add(RequestRecord record)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_.is_open()) {
        Json::StreamWriterBuilder b;
        b["indentation"] = "";
        file_ << Json::writeString(b, toJson(record)) << '\n';
        file_.flush();
    }
    records_.push_back(std::move(record));
    while (records_.size() > maxEntries_)
        records_.pop_front();
}

void RequestLog::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
}

Json::Value RequestLog::toJson() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Json::Value list(Json::arrayValue);
    for (const auto& r : records_)
        list.append(toJson(r));
    return list;
}

} // namespace Camsim

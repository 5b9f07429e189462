#include "FaultInjector.h"

#include <cctype>

namespace Camsim {

namespace {

constexpr long kMaxDelayMs = 600000;
constexpr long kMaxEndSeconds = 86400;

std::optional<long> parseNumber(const std::string& s)
{
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    long v = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace

std::optional<FaultSpec> parseFaultSpec(const std::string& text, std::string& error)
{
    FaultSpec spec;
    bool actionSeen = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        const auto colon = item.find(':');
        const std::string key = item.substr(0, colon);
        const std::string arg = colon == std::string::npos ? std::string() : item.substr(colon + 1);
        const bool hasArg = colon != std::string::npos;
        if (key == "count") {
            const auto n = parseNumber(arg);
            if (!n || *n < 1) {
                error = "count needs a positive number, got '" + arg + "'";
                return std::nullopt;
            }
            spec.count = static_cast<unsigned>(*n);
            continue;
        }
        if (actionSeen) {
            error = "one fault at a time, got '" + item + "' as well";
            return std::nullopt;
        }
        actionSeen = true;
        if (key == "status") {
            const auto n = parseNumber(arg);
            if (!n || *n < 100 || *n > 599) {
                error = "status needs a code 100..599, got '" + arg + "'";
                return std::nullopt;
            }
            spec.kind = FaultSpec::Kind::Status;
            spec.status = static_cast<int>(*n);
        } else if (key == "delay") {
            const auto n = parseNumber(arg);
            if (!n || *n > kMaxDelayMs) {
                error = "delay needs milliseconds 0..600000, got '" + arg + "'";
                return std::nullopt;
            }
            spec.kind = FaultSpec::Kind::Delay;
            spec.delay = std::chrono::milliseconds(*n);
        } else if (key == "end") {
            const auto n = parseNumber(arg);
            if (!n || *n < 1 || *n > kMaxEndSeconds) {
                error = "end needs seconds 1..86400, got '" + arg + "'";
                return std::nullopt;
            }
            spec.kind = FaultSpec::Kind::End;
            spec.delay = std::chrono::seconds(*n);
        } else if (key == "truncate") {
            const auto n = parseNumber(arg);
            if (!n) {
                error = "truncate needs a byte count, got '" + arg + "'";
                return std::nullopt;
            }
            spec.kind = FaultSpec::Kind::Truncate;
            spec.bytes = static_cast<std::size_t>(*n);
        } else if ((key == "close" || key == "empty" || key == "garbage" || key == "stall" || key == "refuse") &&
                   !hasArg) {
            spec.kind = key == "close"   ? FaultSpec::Kind::Close
                        : key == "empty" ? FaultSpec::Kind::Empty
                        : key == "stall" ? FaultSpec::Kind::Stall
                        : key == "refuse" ? FaultSpec::Kind::Refuse
                                          : FaultSpec::Kind::Garbage;
        } else {
            error = "unknown fault '" + item +
                    "' (status:CODE, delay:MS, close, empty, garbage, truncate:BYTES, end:SECONDS, stall, refuse)";
            return std::nullopt;
        }
    }
    if (!actionSeen) {
        error = "no fault given";
        return std::nullopt;
    }
    return spec;
}

std::string toString(const FaultSpec& spec)
{
    switch (spec.kind) {
    case FaultSpec::Kind::Status: return "status:" + std::to_string(spec.status);
    case FaultSpec::Kind::Delay: return "delay:" + std::to_string(spec.delay.count());
    case FaultSpec::Kind::Close: return "close";
    case FaultSpec::Kind::Empty: return "empty";
    case FaultSpec::Kind::Garbage: return "garbage";
    case FaultSpec::Kind::End:
        return "end:" + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(spec.delay).count());
    case FaultSpec::Kind::Stall: return "stall";
    case FaultSpec::Kind::Refuse: return "refuse";
    case FaultSpec::Kind::Truncate: return "truncate:" + std::to_string(spec.bytes);
    }
    return {};
}

void FaultInjector::set(const std::string& path, const FaultSpec& spec)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[path] = spec;
}

void FaultInjector::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void FaultInjector::clear(const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.erase(path);
}

std::optional<FaultSpec> FaultInjector::take(const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = faults_.find(path);
    if (it == faults_.end())
        return std::nullopt;
    FaultSpec spec = it->second;
    if (it->second.count && --*it->second.count == 0)
        faults_.erase(it);
    return spec;
}

std::optional<FaultSpec> FaultInjector::takeIf(const std::string& path, std::initializer_list<FaultSpec::Kind> kinds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = faults_.find(path);
    if (it == faults_.end())
        return std::nullopt;
    bool wanted = false;
    for (auto k : kinds)
        wanted = wanted || k == it->second.kind;
    if (!wanted)
        return std::nullopt;
    FaultSpec spec = it->second;
    if (it->second.count && --*it->second.count == 0)
        faults_.erase(it);
    return spec;
}

Json::Value FaultInjector::toJson() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Json::Value list(Json::arrayValue);
    for (const auto& f : faults_) {
        Json::Value item;
        item["path"] = f.first;
        item["fault"] = toString(f.second);
        item["count"] = f.second.count ? Json::Value(*f.second.count) : Json::Value();
        list.append(item);
    }
    return list;
}

} // namespace Camsim

#pragma once
// Faults armed per request path (the target without its query):
//   status:CODE   answer CODE with a short body
//   delay:MS      answer normally, MS milliseconds late
//   close         close the connection without an answer
//   empty         200 with an empty body
//   garbage       write bytes that are not HTTP, then close
// each optionally followed by ",count:N" to hit only the next N requests.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <json/value.h>

namespace Camsim {

struct FaultSpec {
    enum class Kind { Status, Delay, Close, Empty, Garbage };
    Kind kind = Kind::Status;
    int status = 0;
    std::chrono::milliseconds delay{0};
    std::optional<unsigned> count; // nullopt: every request until cleared
};

std::optional<FaultSpec> parseFaultSpec(const std::string& text, std::string& error);
std::string toString(const FaultSpec& spec); // without the count

class FaultInjector {
public:
    void set(const std::string& path, const FaultSpec& spec);
    void clear();
    void clear(const std::string& path);
    // The fault for this request, counting it down.
    std::optional<FaultSpec> take(const std::string& path);
    Json::Value toJson() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, FaultSpec> faults_;
};

} // namespace Camsim

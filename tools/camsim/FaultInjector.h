#pragma once
// Faults armed per request path (the target without its query):
//   status:CODE   answer CODE with a short body
//   delay:MS      answer normally, MS milliseconds late
//   close         close the connection without an answer
//   empty         200 with an empty body
//   garbage       write bytes that are not HTTP, then close
//   truncate:N    answer normally, but with only the first N bytes of the
//                 body (the length header says N: a short, well-formed answer)
// and on the RTSP path /axis-media/media.amp (taken at DESCRIBE, or at the
// first SETUP without one, and applied at PLAY; refuse at connect):
//   end:SECONDS   end the session after that much play time
//   stall         keep the session but send no media
//   garbage       send bytes that are neither RTSP nor interleaved data
//   refuse        close RTSP connections as soon as they are accepted
// each optionally followed by ",count:N" to hit only the next N requests.
#include <chrono>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <json/value.h>

namespace Camsim {

struct FaultSpec {
    enum class Kind { Status, Delay, Close, Empty, Garbage, End, Stall, Refuse, Truncate };
    Kind kind = Kind::Status;
    int status = 0;
    std::chrono::milliseconds delay{0}; // Delay; End: the play time
    std::size_t bytes = 0;              // Truncate: the body bytes kept
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
    // Likewise, but only a fault of one of these kinds; others stay armed.
    std::optional<FaultSpec> takeIf(const std::string& path, std::initializer_list<FaultSpec::Kind> kinds);
    Json::Value toJson() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, FaultSpec> faults_;
};

} // namespace Camsim

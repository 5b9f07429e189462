#pragma once
// The camera's edge storage: its disks and the recordings on them, made
// from camsim's own clips when the simulator starts. The recordings lie in
// the past of the start time: two that follow each other directly, one
// after a gap, and one that is still being recorded (its stop time is the
// time of each answer). Answers are laid out as the camera writes them:
// disks/list.cgi and record/list.cgi XML, compact, LF line ends.
//
// Thread-safe: everything is fixed at construction except the clock.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

struct Recording {
    std::string id;
    std::string diskId;
    std::int64_t startMicros = 0;     // UTC, since 1970
    std::int64_t stopMicros = 0;      // for a running recording: when it was made
    bool running = false;
    unsigned width = 1280;
    unsigned height = 720;
    unsigned fps = 25;
};

// The arguments of record/list.cgi that camsim honours.
struct RecordingQuery {
    std::vector<std::string> ids;     // empty: all
    std::string diskId;               // empty or "all": every disk
    std::optional<std::int64_t> startMicros;
    std::optional<std::int64_t> stopMicros;
    std::optional<unsigned> maxResults;
    bool descending = false;
};

class RecordingStore {
public:
    using Now = std::function<std::int64_t()>; // UTC micros
    static constexpr const char* kMac = "ACCC8E5A7C01";

    // The recordings are placed relative to now() at construction.
    explicit RecordingStore(Now now = {});

    std::vector<std::string> disks() const { return {"SD_DISK", "NetworkShare"}; }
    // A copy whose running recording stops now.
    std::vector<Recording> recordings() const;
    std::optional<Recording> find(const std::string& id) const;

    std::string diskListXml() const;
    std::string recordListXml(const RecordingQuery& query) const;

    std::int64_t now() const { return now_(); }

private:
    Now now_;
    std::vector<Recording> recordings_;
};

// "2024-06-21T07:17:25.349296Z" (the fraction optional, Z optional, as the
// camera accepts starttime=2024-10-23T00:00:00) → UTC micros.
std::optional<std::int64_t> parseIsoUtc(const std::string& text);
// With six fractional digits, as the camera writes its times.
std::string formatIsoUtc(std::int64_t micros);
// RTSP Range clock times (RFC 2326 section 3.7): "20240621T071725Z" or
// "20240621T071725.250Z" → UTC micros, and back with milliseconds.
std::optional<std::int64_t> parseClockTime(const std::string& text);
std::string formatClockTime(std::int64_t micros);
// The recording id's local-time part, "20240621_151725".
std::string formatIdTime(std::int64_t micros);

} // namespace Camsim

#pragma once
// What storage search and playback share: the storage-source identifier,
// the conversions between host time and the camera's UTC texts, the disk
// and recording list requests and the parsing of their answers. No I/O.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Orix {
class LoggerOwner;
}

namespace Vapixcam {

// "0.SD_DISK" → channel 0 on disk SD_DISK; "1" → channel 1 on every disk.
struct StorageSourceId {
    std::uint32_t channel = 0;
    std::string disk;
};

// Splits at the first "."; nothing (and a log line) when the channel part is
// not a decimal number.
std::optional<StorageSourceId> splitRecordingId(const std::string& id, const Orix::LoggerOwner& log);
std::string storageSourceId(std::uint32_t channel, const std::string& disk);

// Host time (ms since 1970 UTC) → "2024-06-21T07:17:25Z"; the camera's
// list arguments take whole seconds.
std::string toVapixTime(std::uint64_t hostTime);
// "2024-06-21T07:17:25.349296Z" (fraction optional) → host time, the
// fraction truncated to milliseconds; nothing for another text or a time
// before 1970.
std::optional<std::uint64_t> toVeltoTime(const std::string& text);
// Host time → "2024-06-21T07:17:25.349Z", for logs and the host's texts.
std::string timestampToString(std::uint64_t hostTime);

struct RecordingEntry {
    std::string id;
    std::uint32_t status = 0; // 0 other, 1 finished, 2 still recording
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// "/axis-cgi/record/list.cgi?recordingid=all[&diskid=D]" + extra +
// "&starttime=...&stoptime=...".
std::string recordingListUrl(const std::string& disk, const std::string& extra, std::uint64_t begin,
                             std::uint64_t end);

// Parses a record/list.cgi answer: the recordings that overlap [begin, end],
// in document order; a recording still running ends at now. A count
// attribute of 0 means none, whatever children follow. Returns 0, or 1
// (logged) for an answer that cannot be read.
std::uint32_t parseRecordingList(const std::string& body, std::uint64_t begin, std::uint64_t end,
                                 std::uint64_t now, const Orix::LoggerOwner& log,
                                 std::vector<RecordingEntry>& out);

// The disk identifiers of a disks/list.cgi answer, in answer order; empty
// for an answer that cannot be read.
std::vector<std::string> parseDiskList(const std::string& body);

} // namespace Vapixcam

#pragma once
// Recordings on the camera's own storage: the storage device lists its
// storage sources (one per video channel and disk), searches their
// recordings and plays them back. Times are host time: milliseconds since
// 1970-01-01 00:00:00 UTC.
#include <cstdint>
#include <orix/Handlers.h>
#include <orix/IContract.h>
#include <orix/gdrv/Channels.h>

namespace Orix::GDRV {

struct StorageTrack {
    const char* name = "";           // "Video track", "Audio track"
    std::uint32_t type = 0;          // 1 video, 2 audio
};

struct StorageSourceDescription {
    const char* id = "";             // "0.SD_DISK": channel, then "." and the disk, when there is one
    const char* name = "";
    const StorageTrack* tracks = nullptr;
    std::uint32_t trackCount = 0;
};

// One recording that covers part of a searched interval.
struct RecordingRange {
    const char* id = "";
    std::uint32_t status = 0;        // 0 other, 1 finished, 2 still recording
    std::uint64_t begin = 0;
    std::uint64_t end = 0;           // of a recording still running: when the camera answered
};

// Every pointer handed to a handler is valid only during the call.
class IStorageSourcesHandler : public IContract {
public:
    // slot 3
    virtual void Completed(const IContract* source, const StorageSourceDescription* sources,
                           std::uint32_t count) = 0;
    // slot 4
    virtual void Failed(const IContract* source, std::uint32_t result) = 0;
};

class IRecordingSearchHandler : public IContract {
public:
    // slot 3
    virtual void Completed(const IContract* source, const RecordingRange* ranges, std::uint32_t count) = 0;
    // slot 4
    virtual void Failed(const IContract* source, std::uint32_t result) = 0;
};

class IRecordingSearch : public IContract {
public:
    // slot 3: returns when no answer can reach the handler any more.
    virtual void Destroy() = 0;
    // slot 4: the recordings of the source that overlap [begin, end].
    virtual void FindRecordings(std::uint64_t begin, std::uint64_t end, IRecordingSearchHandler* handler) = 0;
    // slot 5
    virtual void Cancel() = 0;
};

class IRecordingPlaybackHandler : public IContract {
public:
    // slot 3: a video or audio frame; its timestamp is the time it was recorded.
    virtual void OnFrame(const IContract* source, const MediaFrame& frame) = 0;
    // slot 4: a recording began to play (id, where it starts).
    virtual void OnRecordingStarted(const IContract* source, const char* recordingId, std::uint64_t begin) = 0;
    // slot 5: playback ended: 0 after the last recording, else the failure.
    virtual void Ended(const IContract* source, std::uint32_t result) = 0;
    // slot 6: Teardown has finished.
    virtual void TornDown(const IContract* source) = 0;
};

class IRecordingPlayback : public IContract {
public:
    // slot 3: returns when nothing can call the handler any more.
    virtual void Destroy() = 0;
    // slot 4: final; later requests are refused with 12.
    virtual void Teardown() = 0;
    // slot 5: plays from the play position at speed (1.0 real time; 1000.0
    // as fast as the host pulls); handler hears whether playing began.
    virtual void Play(double speed, IAsyncActionHandler* handler) = 0;
    // slot 6: moves the play position; the next Play starts there.
    virtual void Seek(std::uint64_t time, IAsyncActionHandler* handler) = 0;
    // slot 7: completes with 8 (not supported).
    virtual void Step(IAsyncActionHandler* handler) = 0;
};

class IStorageDevice : public IContract {
public:
    // slot 3
    virtual void ListStorageSources(IStorageSourcesHandler* handler) = 0;
    // slot 4
    virtual void DescribeStorageSource(const char* id, IStorageSourcesHandler* handler) = 0;
    // slot 5
    virtual IRecordingSearch* CreateRecordingSearch(const char* id) = 0;
    // slot 6: reserved, returns null.
    virtual IContract* CreateReserved(const char* id) = 0;
    // slot 7
    virtual IRecordingPlayback* CreateRecordingPlayback(const char* id, IRecordingPlaybackHandler* handler) = 0;
};

} // namespace Orix::GDRV

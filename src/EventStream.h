#pragma once
// The device's one event stream. Detectors of every channel register here;
// the stream keeps one RTSP session to the camera's media server carrying
// only the event metadata track, with a topic filter that joins the
// detectors' pieces, parses the notifications (MetadataParser) and hands
// each to the detectors whose event name equals its topic.
//
// A change of the detector set arms the coalescing timer (10 s): when it
// fires, handleClientsChange opens the session, reopens it with the new
// filter, or closes it when no detector is left, so a burst of Start calls
// opens the session once. The session itself runs on a StreamSupervisor: a
// failed or dropped session is reported to the detectors once per outage
// (reportStreamError with the host code) and retried every 10 s while
// detectors remain.
//
// Threading: every operation runs on the device's I/O thread; a call from
// another thread is logged ("Called not from connection thread") and
// ignored. The device owns the stream through a shared pointer and calls
// shutdown() on its I/O thread before it goes; timers and the session hold
// weak handles. Detectors are not owned: a detector removes itself (Stop or
// Destroy) before it goes.
#include "EventStruct.h"

#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/util/Logging.h>
#include <string>
#include <vector>

namespace Orix::Utility {
class RTSPClient;
}

namespace Vapixcam {

class DeviceServices;
class StreamSupervisor;

enum class DetectorEventKind { immediate = 0, twoPhase = 1, targetList = 2 };

// The detector side of the event stream (implemented by VideoAnalyticsBase).
class EventDetector {
public:
    virtual ~EventDetector() = default;
    // The topic text after "tnsaxis:" the detector answers to.
    virtual std::string eventName() const = 0;
    virtual DetectorEventKind eventKind() const = 0;
    // The detector's piece of the eventtopic filter, ending with "|".
    virtual std::string topicFilter() const = 0;
    // One notification of its topic; timestamp in host time (ms).
    virtual void handleEvent(const std::string& source, const std::string& data,
                             std::uint64_t timestamp) = 0;
    // Raises the detector's host event (state: two-phase only).
    virtual void raiseEvent(std::uint64_t timestamp, bool state) = 0;
    // The event stream failed with the host code.
    virtual void reportStreamError(std::uint32_t code) = 0;
    // How log lines name the detector.
    virtual std::string logName() const = 0;
};

// What handleClientsChange does for the session state, the number of
// registered detectors and the timer's outcome.
enum class ClientsChangeAction {
    ignore,         // a cancelled wait
    openSession,    // nothing runs and detectors wait
    restartSession, // a session runs (or waits for a retry): reopen with the new filter
    closeSession,   // no detector is left
};
ClientsChangeAction decideClientsChange(bool active, std::size_t detectors,
                                        const boost::system::error_code& error);

// "/axis-media/media.amp?video=0&audio=0&event=on&eventtopic=" and the
// pieces joined (each ends with "|", the last one's is dropped); empty for
// no pieces.
std::string eventStreamUrl(const std::vector<std::string>& topicFilters);

class EventStream final : public std::enable_shared_from_this<EventStream>,
                          public Orix::LoggerOwner {
public:
    static constexpr std::chrono::milliseconds kCoalescingDelay{10000};
    static constexpr std::chrono::milliseconds kRetryDelay{10000};

    static std::shared_ptr<EventStream> create(DeviceServices& device);
    ~EventStream() override;
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    // Registers a detector (again: nothing) and schedules a clients change.
    void addDetector(EventDetector* detector);
    // Unregisters it; a two-phase detector first closes its event (state
    // false, now) in case an alarm is open. Schedules a clients change.
    void removeDetector(EventDetector* detector);
    bool hasDetector(const EventDetector* detector) const;

    // The RTSP path for the registered detectors, in registration order;
    // empty (and logged) without detectors.
    std::string getURL() const;

    // The decision point run by the coalescing timer.
    void handleClientsChange(const boost::system::error_code& error);
    // Re-arms the coalescing timer.
    void scheduleClientsChange();

    // Notifications of one metadata document, in document order.
    void dispatchEvents(const std::vector<EventStruct>& events);

    // Final, on the I/O thread: the session ends, timers stop, detectors are
    // forgotten; nothing is called afterwards.
    void shutdown();

    // Tests shorten the coalescing and retry delays; set before the first
    // detector.
    void setDelays(std::chrono::milliseconds coalescing, std::chrono::milliseconds retry);

    // A session is open or waiting for its retry.
    bool active() const;
    std::size_t detectorCount() const { return detectors_.size(); }
    // Sessions opened since construction.
    std::uint64_t sessions() const;

private:
    struct Timer;
    explicit EventStream(DeviceServices& device);
    void init();
    bool checkThread() const;
    // Opens one RTSP session; the supervisor's open hook.
    std::function<void()> initializeStream(
        std::function<void(const boost::system::error_code&, bool)> ended);
    void retireClient();
    void reportError(const boost::system::error_code& error);
    void deliverDocument(const std::vector<EventStruct>& events);

    DeviceServices& device_;
    std::unique_ptr<Timer> timer_;
    std::shared_ptr<StreamSupervisor> supervisor_;
    std::shared_ptr<Orix::Utility::RTSPClient> client_;
    std::vector<EventDetector*> detectors_;
    std::chrono::milliseconds coalescing_ = kCoalescingDelay;
    std::chrono::milliseconds retry_ = kRetryDelay;
    bool shutDown_ = false;
};

} // namespace Vapixcam

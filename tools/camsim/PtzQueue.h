#pragma once
// The PTZ control queue of ptzqueue.cgi, one per camera number: one client
// holds control for a period and must ask again before it ends; others wait
// in line and get control, in order, when the holder drops it or lets it
// lapse. Clients are told apart by their ptz_ctl_id cookie. Time is passed
// in, nothing runs in the background.
#include "PtzHead.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace Camsim {

struct PtzQueueStatus {
    std::string id;       // the client's ptz_ctl_id
    unsigned position = 0; // 1: in control, 2..: waiting, 0: not in the queue
    long secondsLeft = 0;  // of control
};

class PtzQueue {
public:
    // Joins the queue or extends control; `id` empty gives a new identifier.
    // nullopt when the queue already holds `limit` clients.
    std::optional<PtzQueueStatus> request(unsigned camera, const std::string& id, std::chrono::seconds period,
                                          unsigned limit, PtzClock::time_point now);
    PtzQueueStatus query(unsigned camera, const std::string& id, PtzClock::time_point now);
    void drop(unsigned camera, const std::string& id, PtzClock::time_point now);
    bool inControl(unsigned camera, const std::string& id, PtzClock::time_point now);

    struct Snapshot {
        std::optional<std::string> holder;
        long secondsLeft = 0;
        std::size_t waiting = 0;
    };
    Snapshot snapshot(unsigned camera, PtzClock::time_point now);
    // Gives control to `id` for `period` whoever holds it (another operator
    // taking over the head); an empty id clears the queue.
    void seize(unsigned camera, const std::string& id, std::chrono::seconds period, PtzClock::time_point now);

private:
    struct Entry {
        std::string id;
        PtzClock::time_point until; // end of control, or by when a waiting client must ask again
    };
    struct Line {
        std::optional<Entry> holder;
        std::deque<Entry> waiting;
        std::chrono::seconds period{20};
    };
    Line& expire(unsigned camera, PtzClock::time_point now);
    std::string newId();

    std::map<unsigned, Line> lines_;
    std::uint64_t next_ = 0;
};

// The ptz_ctl_id value of a Cookie header, or empty.
std::string ptzControlCookie(const std::string& cookieHeader);

} // namespace Camsim

#pragma once
// The one-line status of `vapixcam live` on a terminal: rates over the last
// interval and the totals so far, rewritten in place about twice a second.
#include "VideoSink.h"

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>

namespace VapixcamCli {

// "H264  25.0 fps  4000 kbit/s  frames 250 (key 10)  lost 0  reconnects 0":
// frame and bit rates between two snapshots taken `interval` apart (0 when
// the interval is not positive), totals from `now`. A stream without a frame
// yet shows "waiting for the first frame" with the failures so far.
std::string formatStatusLine(const LiveCounters& before, const LiveCounters& now,
                             std::chrono::milliseconds interval);

class StatusLine {
public:
    using Clock = std::chrono::steady_clock;

    // Disabled, it prints nothing (stderr is not a terminal).
    StatusLine(std::ostream& out, bool enabled,
               std::chrono::milliseconds period = std::chrono::milliseconds(500));
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Rewrites the line once a period has passed since the last update.
    void update(const LiveCounters& counters, Clock::time_point now);
    // Erases the line, so that what follows starts on a clean one.
    void clear();

private:
    std::ostream& out_;
    bool enabled_;
    std::chrono::milliseconds period_;
    std::optional<Clock::time_point> last_;
    LiveCounters previous_;
    bool shown_ = false;
};

} // namespace VapixcamCli

#include "StatusLine.h"

#include "ErrorMeaning.h"

#include <cstdio>
#include <ostream>

namespace VapixcamCli {

namespace {

// Erase the terminal line and go back to its start (ECMA-48 EL 2 after CR).
constexpr const char* kEraseLine = "\r\x1b[2K";

} // namespace

std::string formatStatusLine(const LiveCounters& before, const LiveCounters& now,
                             std::chrono::milliseconds interval)
{
    char text[256];
    if (now.frames == 0) {
        if (now.failures == 0)
            return "waiting for the first frame";
        std::snprintf(text, sizeof text, "waiting for the first frame  failures %llu (last %s)",
                      static_cast<unsigned long long>(now.failures),
                      formatResultCode(now.lastFailure).c_str());
        return text;
    }
    const double seconds = interval.count() > 0 ? interval.count() / 1000.0 : 0.0;
    const std::uint64_t frames = now.frames >= before.frames ? now.frames - before.frames : 0;
    const std::uint64_t bytes = now.bytes >= before.bytes ? now.bytes - before.bytes : 0;
    const double fps = seconds > 0 ? frames / seconds : 0.0;
    const double kbits = seconds > 0 ? bytes * 8.0 / 1000.0 / seconds : 0.0;
    std::snprintf(text, sizeof text,
                  "%s  %.1f fps  %.0f kbit/s  frames %llu (key %llu)  lost %llu  reconnects %llu",
                  now.codec.empty() ? "?" : now.codec.c_str(), fps, kbits,
                  static_cast<unsigned long long>(now.frames),
                  static_cast<unsigned long long>(now.keyFrames),
                  static_cast<unsigned long long>(now.lostFrames),
                  static_cast<unsigned long long>(now.reconnects));
    return text;
}

StatusLine::StatusLine(std::ostream& out, bool enabled, std::chrono::milliseconds period)
    : out_(out), enabled_(enabled), period_(period)
{
}

StatusLine::~StatusLine()
{
    clear();
}

void StatusLine::update(const LiveCounters& counters, Clock::time_point now)
{
    if (!enabled_)
        return;
    if (!last_) {
        last_ = now;
        previous_ = counters;
        return;
    }
    const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(now - *last_);
    if (interval < period_)
        return;
    out_ << kEraseLine << formatStatusLine(previous_, counters, interval) << std::flush;
    shown_ = true;
    last_ = now;
    previous_ = counters;
}

void StatusLine::clear()
{
    if (!shown_)
        return;
    out_ << kEraseLine << std::flush;
    shown_ = false;
}

} // namespace VapixcamCli

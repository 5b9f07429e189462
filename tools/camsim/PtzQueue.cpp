#include "PtzQueue.h"

#include <algorithm>
#include <random>

namespace Camsim {

namespace {

long secondsUntil(PtzClock::time_point until, PtzClock::time_point now)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    return left <= 0 ? 0 : (left + 999) / 1000;
}

} // namespace

std::string ptzControlCookie(const std::string& header)
{
    std::size_t start = 0;
    while (start < header.size()) {
        auto end = header.find(';', start);
        if (end == std::string::npos)
            end = header.size();
        std::string pair = header.substr(start, end - start);
        const auto b = pair.find_first_not_of(' ');
        pair = b == std::string::npos ? std::string() : pair.substr(b);
        if (pair.rfind("ptz_ctl_id=", 0) == 0)
            return pair.substr(11, 64);
        start = end + 1;
    }
    return {};
}

std::string PtzQueue::newId()
{
    // Ten digits, as cameras hand them out.
    if (next_ == 0)
        next_ = 1000000000ull + std::random_device{}() % 1000000000ull;
    return std::to_string(next_++);
}

PtzQueue::Line& PtzQueue::expire(unsigned camera, PtzClock::time_point now)
{
    Line& line = lines_[camera];
    if (line.holder && line.holder->until <= now)
        line.holder.reset();
    line.waiting.erase(std::remove_if(line.waiting.begin(), line.waiting.end(),
                                      [&](const Entry& e) { return e.until <= now; }),
                       line.waiting.end());
    if (!line.holder && !line.waiting.empty()) {
        line.holder = Entry{line.waiting.front().id, now + line.period};
        line.waiting.pop_front();
    }
    return line;
}

std::optional<PtzQueueStatus> PtzQueue::request(unsigned camera, const std::string& id, std::chrono::seconds period,
                                                unsigned limit, PtzClock::time_point now)
{
    Line& line = lines_[camera];
    line.period = period;
    expire(camera, now);
    if (!id.empty() && line.holder && line.holder->id == id) {
        line.holder->until = now + period;
        return query(camera, id, now);
    }
    for (auto& w : line.waiting) {
        if (!id.empty() && w.id == id) {
            w.until = now + 2 * period; // must ask again within two polls
            return query(camera, id, now);
        }
    }
    if (line.waiting.size() + (line.holder ? 1 : 0) >= limit)
        return std::nullopt;
    const std::string client = id.empty() ? newId() : id;
    if (!line.holder)
        line.holder = Entry{client, now + period};
    else
        line.waiting.push_back(Entry{client, now + 2 * period});
    return query(camera, client, now);
}

PtzQueueStatus PtzQueue::query(unsigned camera, const std::string& id, PtzClock::time_point now)
{
    Line& line = expire(camera, now);
    PtzQueueStatus status;
    status.id = id;
    if (id.empty())
        return status;
    if (line.holder && line.holder->id == id) {
        status.position = 1;
        status.secondsLeft = secondsUntil(line.holder->until, now);
        return status;
    }
    for (std::size_t i = 0; i < line.waiting.size(); ++i) {
        if (line.waiting[i].id == id)
            status.position = static_cast<unsigned>(i + 2);
    }
    return status;
}

void PtzQueue::drop(unsigned camera, const std::string& id, PtzClock::time_point now)
{
    Line& line = lines_[camera];
    if (line.holder && line.holder->id == id)
        line.holder.reset();
    line.waiting.erase(std::remove_if(line.waiting.begin(), line.waiting.end(),
                                      [&](const Entry& e) { return e.id == id; }),
                       line.waiting.end());
    expire(camera, now);
}

bool PtzQueue::inControl(unsigned camera, const std::string& id, PtzClock::time_point now)
{
    return !id.empty() && query(camera, id, now).position == 1;
}

PtzQueue::Snapshot PtzQueue::snapshot(unsigned camera, PtzClock::time_point now)
{
    Line& line = expire(camera, now);
    Snapshot s;
    if (line.holder) {
        s.holder = line.holder->id;
        s.secondsLeft = secondsUntil(line.holder->until, now);
    }
    s.waiting = line.waiting.size();
    return s;
}

void PtzQueue::seize(unsigned camera, const std::string& id, std::chrono::seconds period, PtzClock::time_point now)
{
    Line& line = lines_[camera];
    line.waiting.clear();
    line.holder.reset();
    if (!id.empty())
        line.holder = Entry{id, now + period};
}

} // namespace Camsim

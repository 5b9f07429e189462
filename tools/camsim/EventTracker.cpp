// The tracker's side of the engine: frames of tracked objects, one
// notification each, carried as a tt:ElementItem in the tt:Data of
// tnsaxis:CameraApplicationPlatform/AnalyticVideoTracker.
#include "EventEngine.h"

#include <boost/asio/steady_timer.hpp>

#include <cstdio>

namespace Camsim {

namespace asio = boost::asio;

namespace {

constexpr unsigned kMaxTrackerFrames = 500;
constexpr std::size_t kMaxTrackedObjects = 32;
const char* const kTrackerTopic = "tnsaxis:CameraApplicationPlatform/AnalyticVideoTracker";

std::string number(double v)
{
    char out[32];
    std::snprintf(out, sizeof out, "%.4g", v);
    return out;
}

// The tracker's object data: one tt:Frame in a tt:ElementItem.
std::string trackerFrame(const std::vector<EventEngine::TrackedObject>& objects, double progress,
                         const std::string& behaviour, const std::string& utcTime)
{
    std::string s = "<tt:ElementItem Name=\"Frame\"><tt:Frame UtcTime=\"" + utcTime + "\">";
    for (const auto& o : objects) {
        double box[4];
        for (int i = 0; i < 4; ++i)
            box[i] = o.from[i] + (o.to[i] - o.from[i]) * progress;
        s += "<tt:Object ObjectId=\"" + std::to_string(o.id) + "\"><tt:Appearance><tt:Shape><tt:BoundingBox left=\"" +
             number(box[0]) + "\" top=\"" + number(box[1]) + "\" right=\"" + number(box[2]) + "\" bottom=\"" +
             number(box[3]) + "\"/><tt:CenterOfGravity x=\"" + number((box[0] + box[2]) / 2) + "\" y=\"" +
             number((box[1] + box[3]) / 2) + "\"/></tt:Shape>";
        if (o.color)
            s += "<tt:Color><tt:Color X=\"" + std::to_string((*o.color)[0]) + "\" Y=\"" +
                 std::to_string((*o.color)[1]) + "\" Z=\"" + std::to_string((*o.color)[2]) + "\"/></tt:Color>";
        s += "</tt:Appearance><tt:Behaviour>";
        if (behaviour == "Removed")
            s += "<tt:Removed/>";
        s += "<tt:Extension>" + behaviour + "</tt:Extension></tt:Behaviour></tt:Object>";
    }
    return s + "</tt:Frame></tt:ElementItem>";
}

} // namespace

// The frames of one track trigger after the first, each on its timer.
struct EventEngine::TrackerRun : std::enable_shared_from_this<TrackerRun> {
    TrackerRun(asio::io_context& io, std::weak_ptr<EventEngine> engine, std::vector<TrackedObject> objects,
               unsigned frames, std::chrono::milliseconds interval)
        : timer(io), engine(std::move(engine)), objects(std::move(objects)), frames(frames), interval(interval)
    {
    }

    void next(unsigned frame)
    {
        timer.expires_after(interval);
        timer.async_wait([self = shared_from_this(), frame](const boost::system::error_code& ec) {
            auto engine = self->engine.lock();
            if (ec || !engine)
                return;
            {
                std::lock_guard<std::mutex> lock(engine->mutex_);
                engine->sendFrame(self->objects, frame, self->frames);
            }
            if (frame < self->frames)
                self->next(frame + 1);
        });
    }

    asio::steady_timer timer;
    std::weak_ptr<EventEngine> engine;
    std::vector<TrackedObject> objects;
    unsigned frames;
    std::chrono::milliseconds interval;
};

EventEngine::Result EventEngine::sendFrame(const std::vector<TrackedObject>& objects, unsigned frame, unsigned frames)
{
    const std::string now = utcTimeText(std::chrono::system_clock::now());
    const bool removed = frame == frames;
    const double progress = removed ? 1.0 : static_cast<double>(frame) / (frames - 1);
    Notification n;
    n.topic = kTrackerTopic;
    n.utcTime = now;
    n.source = {{"channel", "1"}};
    n.elementData = trackerFrame(objects, progress, removed ? "Removed" : frame == 0 ? "Created" : "Changed", now);
    return publish(n);
}

EventEngine::Result EventEngine::track(std::vector<TrackedObject> objects, unsigned frames,
                                       std::chrono::milliseconds interval)
{
    if (objects.empty() || objects.size() > kMaxTrackedObjects)
        return {400, "between 1 and " + std::to_string(kMaxTrackedObjects) + " objects", 0};
    if (frames < 2 || frames > kMaxTrackerFrames)
        return {400, "\"frames\" must be 2.." + std::to_string(kMaxTrackerFrames), 0};
    Result first;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!declared("tracker", capabilities()))
            return {409, "the QVT application is not running", 0};
        first = sendFrame(objects, 0, frames);
    }
    // The rest follows in real time, one frame per interval, the Removed
    // frame last.
    auto run = std::make_shared<TrackerRun>(io_, weak_from_this(), std::move(objects), frames, interval);
    run->next(1);
    return first;
}

} // namespace Camsim

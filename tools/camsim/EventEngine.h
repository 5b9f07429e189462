#pragma once
// The camera's event producers and the metadata sessions that listen to
// them. Stateful events (motion windows, VMD 3 and VMD 4 profiles, audio
// trigger level, temperature zones) keep their state per instance: a
// session gets an empty document right after PLAY, then Initialized for
// every instance its topic filter matches, then Changed on every change.
// Pulses (tampering, shock, Sound Intelligence classifications, tracker
// frames) go out as they happen, without PropertyOperation.
//
// Thread-safe: triggers come from the HTTP threads, sessions live on their
// RTSP connection's executor; documents are posted there, in order. Locks
// are taken engine first, then camera or applications, never the other way.
#include "EventDocument.h"
#include "EventTopicFilter.h"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/io_context.hpp>

#include <json/value.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Camsim {

class Camera;

// The model parameters (value "yes") that give a camera shock detection and
// temperature alarm zones.
inline constexpr const char* kShockDetectionProperty = "Properties.Tampering.ShockDetection";
inline constexpr const char* kTemperatureDetectionProperty = "Properties.TemperatureAlarm.TemperatureDetection";

// A temperature zone of a thermometric camera (temperature_alarm/get.cgi).
struct TemperatureZone {
    unsigned id = 1;
    std::string name;
    double emissivity = 0.95;
    std::string detectionType = "above"; // above | below | increasing | decreasing
    double temperature = 60;
    std::string temperatureType = "max"; // max | min | average
    unsigned delayTime = 0;              // seconds
    unsigned xLeft = 0, xRight = 9999, yTop = 0, yBottom = 9999;
};

// What the analytics CGIs configure; the engine derives instances and
// declarations from it.
struct AnalyticsConfig {
    Json::Value vmd4;                    // {"cameras":[...],"profiles":[...]} as setConfiguration stores it
    std::string vmd3;                    // the <config> document of vaconfig.cgi
    bool shockEnabled = false;
    unsigned shockLevel = 50;            // 0..100
    std::vector<TemperatureZone> zones;
    std::set<std::string> undeclared;    // event kinds left out of GetEventInstances
};

class EventEngine : public std::enable_shared_from_this<EventEngine> {
public:
    using PayloadSink = std::function<void(std::vector<RtpPayload>)>;

    // Unsubscribes when the last owner lets go.
    class Subscription {
    public:
        Subscription(std::weak_ptr<EventEngine> engine, unsigned id) : engine_(std::move(engine)), id_(id) {}
        ~Subscription();
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;

    private:
        std::weak_ptr<EventEngine> engine_;
        unsigned id_;
    };

    // The outcome of a trigger: status 200 with the sessions reached, or an
    // HTTP status and why.
    struct Result {
        int status = 200;
        std::string error;
        unsigned sessions = 0;
    };

    struct TrackedObject {
        unsigned id = 1;
        std::array<double, 4> from{-0.5, 0.5, -0.3, 0.1}; // left, top, right, bottom in -1..1, y up
        std::array<double, 4> to{0.3, 0.5, 0.5, 0.1};
        std::optional<std::array<int, 3>> color;         // X, Y, Z (red, green, blue 0..255)
    };

    // The event kinds, also the names of the control interface and of
    // AnalyticsConfig::undeclared.
    static const std::vector<std::string>& kinds();

    // applicationRunning: whether a camera application (package name) runs.
    EventEngine(Camera& camera, boost::asio::io_context& io,
                std::function<bool(const std::string&)> applicationRunning);

    // A metadata session at its first PLAY; deliver and drop are posted to
    // executor. The subscription lives as long as the session.
    // filterText: the eventtopic argument (an expression EventTopicFilter
    // refuses selects nothing).
    std::shared_ptr<Subscription> subscribe(const std::string& filterText, boost::asio::any_io_executor executor,
                                            PayloadSink deliver, std::function<void()> drop);

    Result motion(unsigned window, bool active);
    Result vmd3(unsigned camera, bool active);
    Result vmd4(unsigned camera, unsigned profile, bool active);
    Result audio(unsigned channel, bool triggered);
    Result temperature(unsigned zone, bool active);
    Result tampering(unsigned channel);
    Result shock();
    // kind: alarm | gunshot | breakingglass; source overrides the
    // classification the notification carries.
    Result sound(const std::string& kind, const std::string& source);
    // Frames of objects moving from their from to their to box (at least 2
    // frames: Created, then Changed), then one frame with them Removed.
    Result track(std::vector<TrackedObject> objects, unsigned frames, std::chrono::milliseconds interval);
    // Closes every metadata session, as a camera restarting its event service.
    unsigned dropSessions();

    // GetEventInstances answer for what the camera has now.
    std::string declarations();

    // State for /camsim/events: sessions, filters, instances.
    Json::Value toJson();
    void resetCounters();
    void setMaxPayload(std::size_t bytes);

    template <class F>
    auto withConfig(F&& fn)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return fn(config_);
    }

private:
    struct TrackerRun;
    struct Subscriber {
        unsigned id;
        EventTopicFilter filter;
        boost::asio::any_io_executor executor;
        PayloadSink deliver;
        std::function<void()> drop;
    };
    struct Instance {
        std::string kind;
        std::string topic;
        std::vector<SimpleItem> source;
        std::string item;
    };
    struct Capabilities {
        bool motion = false;
        std::vector<unsigned> motionWindows;
        unsigned videoChannels = 1;
        std::vector<unsigned> audioChannels; // 1-based
        bool tampering = false;
        bool shock = false;
        bool thermometry = false;
    };

    void unsubscribe(unsigned id);
    Capabilities capabilities();
    bool declared(const std::string& kind, const Capabilities& caps);
    std::vector<Instance> instances(const Capabilities& caps);
    std::vector<std::pair<unsigned, unsigned>> vmd4Profiles(); // (camera, uid)
    Result setState(const Instance& instance, bool on);
    Result publish(const Notification& notification);
    void deliver(const Subscriber& subscriber, const std::string& document);
    bool stateOf(const Instance& instance) const;
    Result sendFrame(const std::vector<TrackedObject>& objects, unsigned frame, unsigned frames);

    Camera& camera_;
    boost::asio::io_context& io_;
    std::function<bool(const std::string&)> applicationRunning_;
    std::string producer_;

    std::mutex mutex_;
    AnalyticsConfig config_;
    std::vector<Subscriber> subscribers_;
    unsigned nextId_ = 1;
    unsigned opened_ = 0;
    std::vector<std::string> filters_; // the eventtopic of every session opened, the last 32
    std::map<std::string, bool> states_; // instance key -> state
    std::size_t maxPayload_ = kMaxRtpPayload;
};

} // namespace Camsim

#include "EventEngine.h"

#include "Camera.h"
#include "EventDeclarations.h"

#include <boost/asio/post.hpp>

#include <algorithm>

namespace Camsim {

namespace asio = boost::asio;

namespace {

constexpr std::size_t kFilterHistory = 32;

const char* const kMotionTopic = "tns1:VideoAnalytics/tnsaxis:MotionDetection";
const char* const kTamperingTopic = "tns1:VideoSource/tnsaxis:Tampering";
const char* const kAudioTopic = "tns1:AudioSource/tnsaxis:TriggerLevel";
const char* const kTemperatureTopic = "tns1:VideoSource/tnsaxis:TemperatureDetection";
const char* const kShockTopic = "tns1:Device/tnsaxis:Tampering/ShockDetected";

struct SoundDetector {
    const char* kind;
    const char* application;
    const char* classification;
};
const SoundDetector kSoundDetectors[] = {
    {"alarm", "SIAlarmDetector", "Alarm"},
    {"gunshot", "SIGunshotDetector", "Gunshot"},
    {"breakingglass", "SIBreakingGlassDetector", "BreakingGlass"},
};

std::string vmd3Topic(unsigned camera) { return "tns1:RuleEngine/tnsaxis:VMD3/vmd3_video_" + std::to_string(camera); }

std::string vmd4Topic(unsigned camera, const std::string& profile)
{
    return "tnsaxis:CameraApplicationPlatform/VMD/Camera" + std::to_string(camera) + "Profile" + profile;
}

std::string paramValue(Model& m, const std::string& path)
{
    const Param* p = m.params.findParam(path);
    return p ? p->value : std::string();
}

// "M3" with letter "M" -> 3.
std::optional<unsigned> instanceNumber(const std::string& name, char letter)
{
    if (name.size() < 2 || name[0] != letter || name.size() > 6 ||
        name.find_first_not_of("0123456789", 1) != std::string::npos)
        return std::nullopt;
    return static_cast<unsigned>(std::stoul(name.substr(1)));
}

std::string instanceKey(const std::string& topic, const std::vector<SimpleItem>& source)
{
    std::string key = topic;
    for (const auto& i : source)
        key += "|" + i.name + "=" + i.value;
    return key;
}

// What a fresh VMD 4 installation reports: camera 1 with one profile
// covering nearly the whole picture.
Json::Value defaultVmd4Configuration()
{
    Json::Value config;
    Json::Value camera1;
    camera1["id"] = 1;
    camera1["rotation"] = 0;
    camera1["active"] = true;
    config["cameras"].append(camera1);
    Json::Value profile;
    profile["name"] = "Profile 1";
    profile["uid"] = 1;
    profile["camera"] = 1;
    Json::Value filter;
    filter["type"] = "timeShortLivedLimit", filter["data"] = 1, filter["active"] = true;
    profile["filters"].append(filter);
    filter["type"] = "distanceSwayingObject", filter["data"] = 5;
    profile["filters"].append(filter);
    filter["type"] = "sizePercentage", filter["data"] = Json::Value(Json::arrayValue);
    filter["data"].append(5), filter["data"].append(5);
    profile["filters"].append(filter);
    Json::Value area;
    area["type"] = "includeArea";
    for (auto [x, y] : {std::pair{-0.97, -0.97}, {-0.97, 0.97}, {0.97, 0.97}, {0.97, -0.97}}) {
        Json::Value point(Json::arrayValue);
        point.append(x), point.append(y);
        area["data"].append(point);
    }
    profile["triggers"].append(area);
    config["profiles"].append(profile);
    return config;
}

} // namespace

EventEngine::Subscription::~Subscription()
{
    if (auto engine = engine_.lock())
        engine->unsubscribe(id_);
}

const std::vector<std::string>& EventEngine::kinds()
{
    static const std::vector<std::string> names = {"motion",      "vmd3",  "vmd4",  "tampering", "audio",
                                                   "temperature", "shock", "sound", "tracker"};
    return names;
}

EventEngine::EventEngine(Camera& camera, asio::io_context& io, std::function<bool(const std::string&)> applicationRunning)
    : camera_(camera), io_(io), applicationRunning_(std::move(applicationRunning))
{
    // A uuid of the camera's own, fixed by its MAC address.
    std::string mac = camera_.realm().substr(5);
    for (auto& c : mac)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    producer_ = "5f3a9c1e-7d2b-4e8a-9c41-" + mac.substr(0, 12);

    config_.vmd4 = defaultVmd4Configuration();

    const bool thermometry = camera_.withModel(
        [](Model& m) { return paramValue(m, kTemperatureDetectionProperty) == "yes"; });
    if (thermometry) {
        TemperatureZone z1;
        z1.id = 1, z1.name = "Zone 1", z1.xRight = 4999;
        TemperatureZone z2;
        z2.id = 2, z2.name = "Zone 2", z2.detectionType = "below", z2.temperature = 5, z2.temperatureType = "min";
        z2.xLeft = 5000;
        config_.zones = {z1, z2};
    }
}

EventEngine::Capabilities EventEngine::capabilities()
{
    return camera_.withModel([](Model& m) {
        Capabilities caps;
        const std::string sources = paramValue(m, "ImageSource.NbrOfSources");
        if (!sources.empty() && sources.size() < 3 && sources.find_first_not_of("0123456789") == std::string::npos)
            caps.videoChannels = std::max(1u, static_cast<unsigned>(std::stoul(sources)));
        // The windows' event exists where the firmware has both.
        const ParamGroup* motion = m.params.findGroup("Motion");
        caps.motion = paramValue(m, "Properties.Motion.Motion") == "yes" && motion;
        if (caps.motion) {
            for (const auto& g : motion->groups) {
                if (const auto n = instanceNumber(g.name, 'M'))
                    caps.motionWindows.push_back(*n);
            }
        }
        if (paramValue(m, "Properties.Audio.Audio") == "yes") {
            if (const ParamGroup* audio = m.params.findGroup("AudioSource")) {
                for (const auto& g : audio->groups) {
                    const auto n = instanceNumber(g.name, 'A');
                    if (n && g.param("AlarmLevel"))
                        caps.audioChannels.push_back(*n + 1);
                }
            }
        }
        caps.tampering = paramValue(m, "Properties.Tampering.Tampering") == "yes";
        caps.shock = paramValue(m, kShockDetectionProperty) == "yes";
        caps.thermometry = paramValue(m, kTemperatureDetectionProperty) == "yes";
        return caps;
    });
}

bool EventEngine::declared(const std::string& kind, const Capabilities& caps)
{
    if (config_.undeclared.count(kind))
        return false;
    if (kind == "motion")
        return caps.motion;
    if (kind == "vmd3")
        return applicationRunning_("VMD3");
    if (kind == "vmd4")
        return applicationRunning_("vmd");
    if (kind == "tampering")
        return caps.tampering;
    if (kind == "audio")
        return !caps.audioChannels.empty();
    if (kind == "temperature")
        return caps.thermometry;
    if (kind == "shock")
        return caps.shock;
    if (kind == "tracker")
        return applicationRunning_("QVT");
    return false;
}

std::vector<std::pair<unsigned, unsigned>> EventEngine::vmd4Profiles()
{
    std::vector<std::pair<unsigned, unsigned>> out;
    for (const auto& p : config_.vmd4["profiles"]) {
        if (p["camera"].isUInt() && p["uid"].isUInt())
            out.emplace_back(p["camera"].asUInt(), p["uid"].asUInt());
    }
    return out;
}

std::vector<EventEngine::Instance> EventEngine::instances(const Capabilities& caps)
{
    std::vector<Instance> out;
    if (declared("motion", caps)) {
        for (unsigned w : caps.motionWindows)
            out.push_back({"motion", kMotionTopic, {{"window", std::to_string(w)}}, "motion"});
    }
    if (declared("vmd3", caps)) {
        for (unsigned c = 1; c <= caps.videoChannels; ++c)
            out.push_back({"vmd3", vmd3Topic(c), {{"areaid", "0"}}, "active"});
    }
    if (declared("vmd4", caps)) {
        std::set<unsigned> cameras;
        for (const auto& [camera, uid] : vmd4Profiles()) {
            cameras.insert(camera);
            out.push_back({"vmd4", vmd4Topic(camera, std::to_string(uid)), {}, "active"});
        }
        for (unsigned camera : cameras)
            out.push_back({"vmd4", vmd4Topic(camera, "ANY"), {}, "active"});
    }
    if (declared("audio", caps)) {
        for (unsigned c : caps.audioChannels)
            out.push_back({"audio", kAudioTopic, {{"channel", std::to_string(c)}}, "triggered"});
    }
    if (declared("temperature", caps)) {
        for (const auto& z : config_.zones)
            out.push_back({"temperature", kTemperatureTopic, {{"TemperatureZone", std::to_string(z.id)}}, "active"});
    }
    return out;
}

bool EventEngine::stateOf(const Instance& instance) const
{
    const auto it = states_.find(instanceKey(instance.topic, instance.source));
    return it != states_.end() && it->second;
}

std::shared_ptr<EventEngine::Subscription> EventEngine::subscribe(const std::string& filterText,
                                                                  asio::any_io_executor executor,
                                                                  PayloadSink deliverPayloads,
                                                                  std::function<void()> drop)
{
    std::string why;
    const auto parsed = EventTopicFilter::parse(filterText, why);
    std::lock_guard<std::mutex> lock(mutex_);
    Subscriber s{nextId_++, parsed ? *parsed : EventTopicFilter::nothing(), std::move(executor),
                 std::move(deliverPayloads), std::move(drop)};
    const EventTopicFilter& filter = s.filter;
    ++opened_;
    filters_.push_back(filterText);
    if (filters_.size() > kFilterHistory)
        filters_.erase(filters_.begin());

    deliver(s, emptyMetadataDocument());
    const std::string now = utcTimeText(std::chrono::system_clock::now());
    for (const auto& instance : instances(capabilities())) {
        if (!filter.matches(instance.topic))
            continue;
        Notification n;
        n.topic = instance.topic;
        n.utcTime = now;
        n.operation = PropertyOperation::Initialized;
        n.source = instance.source;
        n.data = {{instance.item, stateOf(instance) ? "1" : "0"}};
        deliver(s, notificationDocument(n, producer_));
    }
    subscribers_.push_back(std::move(s));
    return std::make_shared<Subscription>(weak_from_this(), subscribers_.back().id);
}

void EventEngine::unsubscribe(unsigned id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    subscribers_.erase(std::remove_if(subscribers_.begin(), subscribers_.end(),
                                      [id](const Subscriber& s) { return s.id == id; }),
                       subscribers_.end());
}

void EventEngine::deliver(const Subscriber& subscriber, const std::string& document)
{
    asio::post(subscriber.executor, [sink = subscriber.deliver, payloads = metadataPayloads(document, maxPayload_)] {
        sink(payloads);
    });
}

EventEngine::Result EventEngine::publish(const Notification& notification)
{
    Result r;
    const std::string document = notificationDocument(notification, producer_);
    for (const auto& s : subscribers_) {
        if (s.filter.matches(notification.topic)) {
            deliver(s, document);
            ++r.sessions;
        }
    }
    return r;
}

EventEngine::Result EventEngine::setState(const Instance& instance, bool on)
{
    bool& state = states_[instanceKey(instance.topic, instance.source)];
    if (state == on)
        return {};
    state = on;
    Notification n;
    n.topic = instance.topic;
    n.utcTime = utcTimeText(std::chrono::system_clock::now());
    n.operation = PropertyOperation::Changed;
    n.source = instance.source;
    n.data = {{instance.item, on ? "1" : "0"}};
    return publish(n);
}

EventEngine::Result EventEngine::motion(unsigned window, bool active)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto caps = capabilities();
    if (!declared("motion", caps))
        return {409, "this camera has no motion detection (Properties.Motion.Motion)", 0};
    if (std::find(caps.motionWindows.begin(), caps.motionWindows.end(), window) == caps.motionWindows.end())
        return {404, "no motion window Motion.M" + std::to_string(window), 0};
    return setState({"motion", kMotionTopic, {{"window", std::to_string(window)}}, "motion"}, active);
}

EventEngine::Result EventEngine::vmd3(unsigned camera, bool active)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto caps = capabilities();
    if (!declared("vmd3", caps))
        return {409, "the VMD3 application is not running", 0};
    if (camera < 1 || camera > caps.videoChannels)
        return {404, "no camera " + std::to_string(camera), 0};
    return setState({"vmd3", vmd3Topic(camera), {{"areaid", "0"}}, "active"}, active);
}

EventEngine::Result EventEngine::vmd4(unsigned camera, unsigned profile, bool active)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!declared("vmd4", capabilities()))
        return {409, "the vmd application is not running", 0};
    const auto profiles = vmd4Profiles();
    if (std::find(profiles.begin(), profiles.end(), std::make_pair(camera, profile)) == profiles.end())
        return {404, "no VMD 4 profile " + std::to_string(profile) + " on camera " + std::to_string(camera), 0};
    const Instance any{"vmd4", vmd4Topic(camera, "ANY"), {}, "active"};
    const bool anyBefore = stateOf(any);
    Result r = setState({"vmd4", vmd4Topic(camera, std::to_string(profile)), {}, "active"}, active);
    // The any-profile topic is on while at least one profile of the camera is.
    bool anyNow = false;
    for (const auto& [c, uid] : profiles)
        anyNow = anyNow || (c == camera && stateOf({"vmd4", vmd4Topic(c, std::to_string(uid)), {}, "active"}));
    if (anyNow != anyBefore)
        setState(any, anyNow);
    return r;
}

EventEngine::Result EventEngine::audio(unsigned channel, bool triggered)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto caps = capabilities();
    if (!declared("audio", caps))
        return {409, "this camera has no audio alarm level", 0};
    if (std::find(caps.audioChannels.begin(), caps.audioChannels.end(), channel) == caps.audioChannels.end())
        return {404, "no audio channel " + std::to_string(channel), 0};
    return setState({"audio", kAudioTopic, {{"channel", std::to_string(channel)}}, "triggered"}, triggered);
}

EventEngine::Result EventEngine::temperature(unsigned zone, bool active)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!declared("temperature", capabilities()))
        return {409, "this camera has no temperature zones", 0};
    if (std::none_of(config_.zones.begin(), config_.zones.end(), [zone](const TemperatureZone& z) { return z.id == zone; }))
        return {404, "no temperature zone " + std::to_string(zone), 0};
    return setState({"temperature", kTemperatureTopic, {{"TemperatureZone", std::to_string(zone)}}, "active"}, active);
}

EventEngine::Result EventEngine::tampering(unsigned channel)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto caps = capabilities();
    if (!declared("tampering", caps))
        return {409, "this camera has no tampering detection", 0};
    if (channel < 1 || channel > caps.videoChannels)
        return {404, "no video channel " + std::to_string(channel), 0};
    Notification n;
    n.topic = kTamperingTopic;
    n.utcTime = utcTimeText(std::chrono::system_clock::now());
    n.source = {{"channel", std::to_string(channel)}};
    n.data = {{"tampering", "1"}};
    return publish(n);
}

EventEngine::Result EventEngine::shock()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!declared("shock", capabilities()))
        return {409, "this camera has no shock detection", 0};
    if (!config_.shockEnabled)
        return {409, "shock detection is disabled (shockdetection/setenabled.cgi)", 0};
    Notification n;
    n.topic = kShockTopic;
    n.utcTime = utcTimeText(std::chrono::system_clock::now());
    n.data = {{"shock", "1"}};
    return publish(n);
}

EventEngine::Result EventEngine::sound(const std::string& kind, const std::string& source)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const SoundDetector* detector = nullptr;
    for (const auto& d : kSoundDetectors) {
        if (kind == d.kind)
            detector = &d;
    }
    if (!detector)
        return {400, "\"sound\" must be alarm, gunshot or breakingglass", 0};
    if (config_.undeclared.count("sound") || !applicationRunning_(detector->application))
        return {409, std::string("the ") + detector->application + " application is not running", 0};
    Notification n;
    n.topic = std::string("tnsaxis:CameraApplicationPlatform/") + detector->application;
    n.utcTime = utcTimeText(std::chrono::system_clock::now());
    n.source = {{"Source", source.empty() ? detector->classification : source}};
    n.data = {{"active", "1"}};
    return publish(n);
}

unsigned EventEngine::dropSessions()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& s : subscribers_)
        asio::post(s.executor, s.drop);
    return static_cast<unsigned>(subscribers_.size());
}

std::string EventEngine::declarations()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto caps = capabilities();
    EventDeclarationSet set;
    set.motion = declared("motion", caps);
    set.motionWindows = caps.motionWindows;
    set.tampering = declared("tampering", caps);
    for (unsigned c = 1; c <= caps.videoChannels; ++c) {
        set.tamperingChannels.push_back(c);
        if (declared("vmd3", caps))
            set.vmd3Cameras.push_back(c);
    }
    if (declared("audio", caps))
        set.audioChannels = caps.audioChannels;
    set.thermometry = declared("temperature", caps);
    for (const auto& z : config_.zones)
        set.temperatureZones.push_back(z.id);
    set.shock = declared("shock", caps);
    set.vmd4 = declared("vmd4", caps);
    if (set.vmd4) {
        std::set<unsigned> cameras;
        for (const auto& c : config_.vmd4["cameras"]) {
            if (c["id"].isUInt())
                cameras.insert(c["id"].asUInt());
        }
        for (const auto& p : config_.vmd4["profiles"]) {
            if (p["camera"].isUInt() && p["uid"].isUInt()) {
                cameras.insert(p["camera"].asUInt());
                set.vmd4Profiles.push_back({p["camera"].asUInt(), p["uid"].asUInt(), p["name"].asString()});
            }
        }
        set.vmd4Cameras.assign(cameras.begin(), cameras.end());
    }
    if (!config_.undeclared.count("sound")) {
        for (const auto& d : kSoundDetectors) {
            if (applicationRunning_(d.application))
                set.soundDetectors.push_back(d.application);
        }
    }
    set.tracker = declared("tracker", caps);
    return eventInstancesResponse(set);
}

Json::Value EventEngine::toJson()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Json::Value v;
    v["sessions"]["open"] = static_cast<unsigned>(subscribers_.size());
    v["sessions"]["opened"] = opened_;
    v["lastTopicFilter"] = filters_.empty() ? Json::Value() : Json::Value(filters_.back());
    v["topicFilters"] = Json::Value(Json::arrayValue);
    for (const auto& f : filters_)
        v["topicFilters"].append(f);
    v["maxPayload"] = static_cast<Json::UInt64>(maxPayload_);
    v["instances"] = Json::Value(Json::arrayValue);
    for (const auto& instance : instances(capabilities())) {
        Json::Value i;
        i["kind"] = instance.kind;
        i["topic"] = instance.topic;
        i["source"] = Json::Value(Json::objectValue);
        for (const auto& s : instance.source)
            i["source"][s.name] = s.value;
        i["state"] = stateOf(instance);
        v["instances"].append(i);
    }
    v["undeclared"] = Json::Value(Json::arrayValue);
    for (const auto& k : config_.undeclared)
        v["undeclared"].append(k);
    v["shock"]["enabled"] = config_.shockEnabled;
    v["shock"]["level"] = config_.shockLevel;
    return v;
}

void EventEngine::resetCounters()
{
    std::lock_guard<std::mutex> lock(mutex_);
    opened_ = 0;
    filters_.clear();
}

void EventEngine::setMaxPayload(std::size_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    maxPayload_ = std::max<std::size_t>(1, std::min(bytes, kMaxRtpPayload));
}

} // namespace Camsim

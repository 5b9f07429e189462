#include "PtzHead.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Camsim {

namespace {

// Full speed (100) of a continuous move: degrees per second for pan and
// tilt; the zoom, focus and iris ranges are crossed in five seconds.
constexpr double kPanTiltRate = 90.0;
constexpr double kRangeSeconds = 5.0;

double seconds(PtzClock::duration d) { return std::chrono::duration<double>(d).count(); }

std::optional<double> paramNumber(const Model& model, const std::string& path)
{
    const Param* p = model.params.findParam(path);
    return p ? parseDecimal(p->value) : std::nullopt;
}

// "P12" with letter "P" -> 12.
std::optional<unsigned> instanceNumber(const std::string& name, char letter)
{
    if (name.size() < 2 || name.size() > 6 || (name[0] != letter && name[0] != letter + ('a' - 'A')))
        return std::nullopt;
    unsigned n = 0;
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return std::nullopt;
        n = n * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return n;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

PtzPosition lerp(const PtzPosition& a, const PtzPosition& b, double t)
{
    return {lerp(a.pan, b.pan, t), lerp(a.tilt, b.tilt, t), lerp(a.zoom, b.zoom, t), lerp(a.focus, b.focus, t),
            lerp(a.iris, b.iris, t)};
}

ParamType stringType(bool readOnly)
{
    ParamType t;
    t.maxLen = readOnly ? 256u : 31u;
    t.readOnly = readOnly;
    return t;
}

// Recorded tours as (seconds, pan, tilt, zoom share of the range) key
// frames; the last frame closes the loop.
struct KeyFrame {
    double at, pan, tilt, zoom;
};
const std::vector<KeyFrame>& recording(unsigned id)
{
    static const std::vector<KeyFrame> tours[PtzHead::kRecordedTours] = {
        {{0, -60, -10, 0}, {10, 60, -10, 0}, {20, 60, -30, 0.5}, {30, -60, -10, 0}},
        {{0, 0, -20, 0}, {5, 90, -20, 0.2}, {10, 0, -20, 0}},
    };
    return tours[id];
}

} // namespace

std::optional<double> parseDecimal(const std::string& text)
{
    if (text.empty() || text.size() > 32)
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

PtzPosition PtzLimits::clamp(PtzPosition p) const
{
    p.pan = std::clamp(p.pan, minPan, maxPan);
    p.tilt = std::clamp(p.tilt, minTilt, maxTilt);
    p.zoom = std::clamp(p.zoom, minZoom, maxZoom);
    p.focus = std::clamp(p.focus, minFocus, maxFocus);
    p.iris = std::clamp(p.iris, minIris, maxIris);
    return p;
}

double PtzLimits::fieldAngle(double zoom) const
{
    const double ratio = maxFieldAngle / minFieldAngle;
    const double share = maxZoom > minZoom ? std::clamp((zoom - minZoom) / (maxZoom - minZoom), 0.0, 1.0) : 0.0;
    return maxFieldAngle / (1.0 + share * (ratio - 1.0));
}

double PtzLimits::zoomForFieldAngle(double angle) const
{
    const double ratio = maxFieldAngle / minFieldAngle;
    if (ratio <= 1.0 || angle <= 0.0)
        return minZoom;
    const double share = (maxFieldAngle / angle - 1.0) / (ratio - 1.0);
    return std::clamp(minZoom + share * (maxZoom - minZoom), minZoom, maxZoom);
}

std::optional<PtzPosition> parsePresetData(const std::string& data, PtzPosition base)
{
    bool any = false;
    std::size_t start = 0;
    while (start <= data.size()) {
        auto end = data.find(':', start);
        if (end == std::string::npos)
            end = data.size();
        const std::string field = data.substr(start, end - start);
        const auto eq = field.find('=');
        if (eq != std::string::npos) {
            const auto v = parseDecimal(field.substr(eq + 1));
            if (!v)
                return std::nullopt;
            const std::string key = field.substr(0, eq);
            double* target = key == "pan" ? &base.pan : key == "tilt" ? &base.tilt : key == "zoom" ? &base.zoom
                             : key == "focus" ? &base.focus : key == "iris" ? &base.iris : nullptr;
            if (target) {
                *target = *v;
                any = true;
            }
        }
        start = end + 1;
    }
    return any ? std::optional<PtzPosition>(base) : std::nullopt;
}

bool validPresetName(const std::string& name)
{
    if (name.empty() || name.size() > 31)
        return false;
    for (const char c : name) {
        if (c == '"' || c == '<' || c == '>' || c == '~' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

bool PtzHead::available(const Model& model) { return model.params.findGroup("PTZ") != nullptr; }

PtzHead::PtzHead(const Model& model, unsigned maxPresets) : maxPresets_(maxPresets)
{
    const auto count = paramNumber(model, "PTZ.NbrOfCameras");
    const unsigned n = count && *count >= 1 && *count <= 16 ? static_cast<unsigned>(*count) : 1;
    const auto def = paramNumber(model, "PTZ.CameraDefault");
    defaultCamera_ = def && *def >= 1 && *def <= n ? static_cast<unsigned>(*def) : 1;
    heads_.resize(n);
    for (unsigned c = 1; c <= n; ++c) {
        Head& h = heads_[c - 1];
        // Single-head groups (L1, S1) stand for every camera that has none of its own.
        auto own = [&](const std::string& group) {
            const std::string path = "PTZ." + group + std::to_string(c);
            return model.params.findGroup(path) ? path : "PTZ." + group + "1";
        };
        const std::string limit = own("Limit.L");
        PtzLimits& l = h.limits;
        auto read = [&](const char* name, double& out) {
            if (const auto v = paramNumber(model, limit + "." + name))
                out = *v;
        };
        read("MinPan", l.minPan);
        read("MaxPan", l.maxPan);
        read("MinTilt", l.minTilt);
        read("MaxTilt", l.maxTilt);
        read("MinZoom", l.minZoom);
        read("MaxZoom", l.maxZoom);
        read("MinFocus", l.minFocus);
        read("MaxFocus", l.maxFocus);
        read("MinIris", l.minIris);
        read("MaxIris", l.maxIris);
        l.focus = model.params.findParam(limit + ".MaxFocus") != nullptr;
        l.iris = model.params.findParam(limit + ".MaxIris") != nullptr;
        // Mechanical domes give the field angles in tenths of a degree
        // (22..623), digital PTZ in degrees (1..100).
        const auto minAngle = paramNumber(model, limit + ".MinFieldAngle");
        const auto maxAngle = paramNumber(model, limit + ".MaxFieldAngle");
        if (minAngle && maxAngle && *minAngle > 0 && *maxAngle >= *minAngle) {
            const double scale = *maxAngle > 180 ? 0.1 : 1.0;
            l.minFieldAngle = *minAngle * scale;
            l.maxFieldAngle = *maxAngle * scale;
        }
        const std::string support = own("Support.S");
        h.speedControl = model.value(support + ".SpeedCtl") == "true";
        if (model.value(support + ".Auxiliary") == "true")
            h.auxiliaries = {"wiper", "washer", "defog"};
        h.base.focus = (l.minFocus + l.maxFocus) / 2;
        h.base.iris = (l.minIris + l.maxIris) / 2;
        h.base.zoom = l.minZoom;
        h.base.tilt = std::clamp(0.0, l.minTilt, l.maxTilt);
        const unsigned home = homePreset(model, c);
        for (const auto& p : presets(model, c)) {
            if (p.number == home && p.position)
                h.base = *p.position;
        }
        h.base = l.clamp(h.base);
    }
}

PtzPosition PtzHead::position(Model& model, unsigned camera, PtzClock::time_point now)
{
    const Head& h = head(camera);
    if (h.recordedTour)
        return recordedTourPosition(camera, now);
    if (h.guardTour) {
        if (const auto p = guardTourPosition(model, camera, now))
            return *p;
    }
    const double dt = std::max(0.0, seconds(now - h.since));
    PtzPosition p = h.base;
    p.pan += h.velocity.pan * dt;
    p.tilt += h.velocity.tilt * dt;
    p.zoom += h.velocity.zoom * dt;
    p.focus += h.velocity.focus * dt;
    p.iris += h.velocity.iris * dt;
    return h.limits.clamp(p);
}

void PtzHead::settle(Model& model, unsigned camera, PtzClock::time_point now)
{
    Head& h = head(camera);
    h.base = position(model, camera, now);
    h.since = now;
    h.recordedTour.reset();
    if (h.guardTour) {
        if (Param* running = model.params.findParam("GuardTour.G" + std::to_string(*h.guardTour) + ".Running"))
            running->value = "no";
        h.guardTour.reset();
    }
}

void PtzHead::moveTo(Model& model, unsigned camera, const PtzPosition& target, PtzClock::time_point now)
{
    settle(model, camera, now);
    Head& h = head(camera);
    h.base = h.limits.clamp(target);
    h.velocity = {};
}

void PtzHead::continuous(Model& model, unsigned camera, const PtzVelocity& velocity, PtzClock::time_point now)
{
    settle(model, camera, now);
    head(camera).velocity = velocity;
}

void PtzHead::continuousSpeeds(Model& model, unsigned camera, const Speeds& s, PtzClock::time_point now)
{
    const PtzLimits& l = limits(camera);
    PtzVelocity v = velocity(camera);
    auto set = [](const std::optional<double>& speed, double& out, double rate) {
        if (speed)
            out = std::clamp(*speed, -100.0, 100.0) / 100.0 * rate;
    };
    set(s.pan, v.pan, kPanTiltRate);
    set(s.tilt, v.tilt, kPanTiltRate);
    set(s.zoom, v.zoom, (l.maxZoom - l.minZoom) / kRangeSeconds);
    set(s.focus, v.focus, (l.maxFocus - l.minFocus) / kRangeSeconds);
    set(s.iris, v.iris, (l.maxIris - l.minIris) / kRangeSeconds);
    continuous(model, camera, v, now);
}

void PtzHead::areaZoom(Model& model, unsigned camera, double x, double y, double width, double height,
                       std::optional<double> zoomPercent, PtzClock::time_point now)
{
    settle(model, camera, now);
    Head& h = head(camera);
    PtzPosition p = h.base;
    const double horizontal = h.limits.fieldAngle(p.zoom);
    const double vertical = horizontal * height / width;
    p.pan += (x / width - 0.5) * horizontal;
    p.tilt -= (y / height - 0.5) * vertical; // picture rows grow downwards
    if (zoomPercent && *zoomPercent > 0)
        p.zoom = h.limits.zoomForFieldAngle(horizontal * 100.0 / *zoomPercent);
    h.base = h.limits.clamp(p);
    h.velocity = {};
}

namespace {

// The PTZ.Preset.P<k> group whose ImageSource is the camera's (camera - 1).
template <class Group>
Group* findPresetGroup(Group* presets, unsigned camera)
{
    if (!presets)
        return nullptr;
    for (auto& g : presets->groups) {
        const Param* source = g.param("ImageSource");
        if (source && source->value == std::to_string(camera - 1))
            return &g;
    }
    return nullptr;
}

} // namespace

const ParamGroup* PtzHead::presetGroup(const Model& model, unsigned camera) const
{
    return findPresetGroup(model.params.findGroup("PTZ.Preset"), camera);
}

ParamGroup* PtzHead::presetGroup(Model& model, unsigned camera, bool create) const
{
    if (ParamGroup* g = findPresetGroup(model.params.findGroup("PTZ.Preset"), camera))
        return g;
    if (!create)
        return nullptr;
    const std::string base = "PTZ.Preset.P" + std::to_string(camera - 1);
    ParamType number;
    number.kind = ParamType::Kind::Int;
    number.min = 0;
    model.params.define(base + ".HomePosition", "0", number);
    model.params.define(base + ".ImageSource", std::to_string(camera - 1), number);
    model.params.define(base + ".Name", "", stringType(false));
    return model.params.findGroup(base);
}

std::vector<PtzHead::Preset> PtzHead::presets(const Model& model, unsigned camera) const
{
    std::vector<Preset> out;
    const ParamGroup* g = presetGroup(model, camera);
    const ParamGroup* positions = g ? g->group("Position") : nullptr;
    if (!positions)
        return out;
    for (const auto& p : positions->groups) {
        const auto n = instanceNumber(p.name, 'P');
        if (!n)
            continue;
        Preset preset;
        preset.number = *n;
        if (const Param* name = p.param("Name"))
            preset.name = name->value;
        if (const Param* data = p.param("Data"))
            preset.data = data->value;
        preset.position = parsePresetData(preset.data, head(camera).base);
        out.push_back(std::move(preset));
    }
    return out;
}

unsigned PtzHead::homePreset(const Model& model, unsigned camera) const
{
    const ParamGroup* g = presetGroup(model, camera);
    const Param* home = g ? g->param("HomePosition") : nullptr;
    const auto n = home ? parseDecimal(home->value) : std::nullopt;
    if (!n || *n < 1)
        return 0;
    for (const auto& p : presets(model, camera)) {
        if (p.number == static_cast<unsigned>(*n))
            return p.number;
    }
    return 0;
}

std::string PtzHead::presetData(unsigned camera, const PtzPosition& p) const
{
    char text[160];
    std::snprintf(text, sizeof text, "pan=%.6f:tilt=%.6f:zoom=%.6f", p.pan, p.tilt, p.zoom);
    std::string data = text;
    if (limits(camera).focus) {
        std::snprintf(text, sizeof text, ":focus=%.6f", p.focus);
        data += text;
    }
    if (limits(camera).iris) {
        std::snprintf(text, sizeof text, ":iris=%.6f", p.iris);
        data += text;
    }
    return data;
}

std::optional<PtzError> PtzHead::storePreset(Model& model, unsigned camera, std::optional<unsigned> number,
                                             const std::optional<std::string>& name, PtzClock::time_point now,
                                             bool home)
{
    const std::string argument = number ? "setserverpresetno" : "setserverpresetname";
    if (name && !validPresetName(*name))
        return PtzError{argument, "Invalid preset name"};
    if (number && (*number < 1 || *number > 9999))
        return PtzError{argument, "Invalid preset number"};
    const auto existing = presets(model, camera);
    unsigned n = number.value_or(0);
    bool known = false;
    for (const auto& p : existing) {
        if ((number && p.number == *number) || (!number && name && p.name == *name)) {
            n = p.number;
            known = true;
        }
    }
    if (!known && existing.size() >= maxPresets_)
        return PtzError{argument, "too many preset positions"};
    if (n == 0) {
        n = 1;
        for (const auto& p : existing) // numbers come in ascending order
            n = p.number == n ? n + 1 : n;
    }
    ParamGroup* group = presetGroup(model, camera, true);
    if (!group)
        return PtzError{argument, "Could not store the preset"};
    const std::string base = "PTZ.Preset." + group->name + ".Position.P" + std::to_string(n);
    if (!known || name)
        model.params.define(base + ".Name", name.value_or("Preset " + std::to_string(n)), stringType(false));
    model.params.define(base + ".Data", presetData(camera, position(model, camera, now)), stringType(true));
    if (home) {
        if (Param* p = group->param("HomePosition"))
            p->value = std::to_string(n);
    }
    return std::nullopt;
}

std::optional<PtzError> PtzHead::removePreset(Model& model, unsigned camera, std::optional<unsigned> number,
                                              const std::optional<std::string>& name)
{
    ParamGroup* group = presetGroup(model, camera, false);
    for (const auto& p : presets(model, camera)) {
        if ((number && p.number == *number) || (!number && name && p.name == *name)) {
            model.params.removeGroup("PTZ.Preset." + group->name + ".Position.P" + std::to_string(p.number));
            return std::nullopt;
        }
    }
    return PtzError{number ? "removeserverpresetno" : "removeserverpresetname", "No such preset position found"};
}

std::optional<PtzError> PtzHead::gotoPreset(Model& model, unsigned camera, std::optional<unsigned> number,
                                            const std::optional<std::string>& name, PtzClock::time_point now)
{
    for (const auto& p : presets(model, camera)) {
        if (((number && p.number == *number) || (!number && name && p.name == *name)) && p.position) {
            moveTo(model, camera, *p.position, now);
            return std::nullopt;
        }
    }
    return PtzError{number ? "gotoserverpresetno" : "gotoserverpresetname", "No such preset position found"};
}

void PtzHead::syncTours(Model& model, PtzClock::time_point now)
{
    std::vector<std::optional<unsigned>> running(cameras());
    if (const ParamGroup* tours = model.params.findGroup("GuardTour")) {
        for (const auto& g : tours->groups) {
            const auto index = instanceNumber(g.name, 'G');
            const Param* flag = g.param("Running");
            const Param* cam = g.param("CamNbr");
            const auto c = cam ? parseDecimal(cam->value) : std::optional<double>(1.0);
            if (!index || !flag || flag->value != "yes" || !c || !validCamera(static_cast<unsigned>(*c)))
                continue;
            auto& slot = running[static_cast<unsigned>(*c) - 1];
            if (!slot)
                slot = *index;
        }
    }
    for (unsigned c = 1; c <= cameras(); ++c) {
        Head& h = head(c);
        if (running[c - 1] == h.guardTour)
            continue;
        // The head stays where the old tour (or move) had taken it.
        h.base = position(model, c, now);
        h.since = now;
        h.velocity = {};
        h.recordedTour.reset();
        h.guardTour = running[c - 1];
        h.tourFrom = h.base;
        h.tourStart = now;
    }
}

std::optional<PtzPosition> PtzHead::guardTourPosition(const Model& model, unsigned camera,
                                                      PtzClock::time_point now) const
{
    const Head& h = head(camera);
    const ParamGroup* tour = model.params.findGroup("GuardTour.G" + std::to_string(*h.guardTour));
    const ParamGroup* points = tour ? tour->group("Tour") : nullptr;
    if (!points)
        return std::nullopt;
    struct Stop {
        double order;
        PtzPosition at;
        double rate; // degrees per second on the way there
        double wait;
    };
    std::vector<Stop> stops;
    const auto all = presets(model, camera);
    for (const auto& t : points->groups) {
        auto value = [&](const char* name, double fallback) {
            const Param* p = t.param(name);
            const auto v = p ? parseDecimal(p->value) : std::nullopt;
            return v.value_or(fallback);
        };
        const auto preset = std::find_if(all.begin(), all.end(), [&](const Preset& p) {
            return p.position && p.number == static_cast<unsigned>(value("PresetNbr", 0));
        });
        if (preset == all.end())
            continue;
        const Param* unit = t.param("WaitTimeViewType");
        const double wait = value("WaitTime", 10) * (unit && unit->value == "Minutes" ? 60.0 : 1.0);
        const double speed = std::clamp(value("MoveSpeed", 70), 1.0, 100.0);
        stops.push_back({value("Position", 1), h.limits.clamp(*preset->position), kPanTiltRate * speed / 100.0,
                         std::max(0.0, wait)});
    }
    if (stops.empty())
        return std::nullopt;
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.order < b.order; });

    auto travel = [](const PtzPosition& a, const PtzPosition& b, double rate) {
        return std::max(std::abs(b.pan - a.pan), std::abs(b.tilt - a.tilt)) / rate;
    };
    double e = std::max(0.0, seconds(now - h.tourStart));
    const double first = travel(h.tourFrom, stops[0].at, stops[0].rate);
    if (e < first)
        return lerp(h.tourFrom, stops[0].at, e / first);
    e -= first;

    // One round: wait at each stop, then travel to the next (after the last
    // stop the pause between rounds, then back to the first).
    const Param* between = tour->param("TimeBetweenSequences");
    const double pause = std::max(0.0, between ? parseDecimal(between->value).value_or(0) : 0);
    double round = pause;
    for (std::size_t i = 0; i < stops.size(); ++i)
        round += stops[i].wait + travel(stops[i].at, stops[(i + 1) % stops.size()].at, stops[(i + 1) % stops.size()].rate);
    if (round <= 0)
        return stops[0].at;
    e = std::fmod(e, round);
    for (std::size_t i = 0; i < stops.size(); ++i) {
        const Stop& next = stops[(i + 1) % stops.size()];
        const double hold = stops[i].wait + (i + 1 == stops.size() ? pause : 0.0);
        if (e < hold)
            return stops[i].at;
        e -= hold;
        const double leg = travel(stops[i].at, next.at, next.rate);
        if (e < leg)
            return lerp(stops[i].at, next.at, e / leg);
        e -= leg;
    }
    return stops[0].at;
}

PtzPosition PtzHead::recordedTourPosition(unsigned camera, PtzClock::time_point now) const
{
    const Head& h = head(camera);
    const auto& frames = recording(*h.recordedTour);
    const double length = frames.back().at;
    double e = std::max(0.0, seconds(now - h.tourStart));
    e = h.recordedLoop ? std::fmod(e, length) : std::min(e, length);
    std::size_t i = 1;
    while (i + 1 < frames.size() && frames[i].at <= e)
        ++i;
    const KeyFrame& a = frames[i - 1];
    const KeyFrame& b = frames[i];
    const double t = std::clamp((e - a.at) / (b.at - a.at), 0.0, 1.0);
    const PtzLimits& l = h.limits;
    PtzPosition p = h.base;
    p.pan = lerp(a.pan, b.pan, t);
    p.tilt = lerp(a.tilt, b.tilt, t);
    p.zoom = l.minZoom + lerp(a.zoom, b.zoom, t) * (l.maxZoom - l.minZoom);
    return l.clamp(p);
}

bool PtzHead::playRecordedTour(Model& model, unsigned camera, unsigned id, bool loop, PtzClock::time_point now)
{
    if (id >= kRecordedTours)
        return false;
    settle(model, camera, now);
    Head& h = head(camera);
    h.velocity = {};
    h.recordedTour = id;
    h.recordedLoop = loop;
    h.tourStart = now;
    return true;
}

std::optional<unsigned> PtzHead::runningRecordedTour(unsigned camera, PtzClock::time_point now) const
{
    const Head& h = head(camera);
    if (h.recordedTour && !h.recordedLoop && seconds(now - h.tourStart) >= recording(*h.recordedTour).back().at)
        return std::nullopt;
    return h.recordedTour;
}

bool PtzHead::stopRecordedTour(Model& model, unsigned camera, unsigned id, PtzClock::time_point now)
{
    if (runningRecordedTour(camera, now) != id)
        return false;
    settle(model, camera, now);
    return true;
}

} // namespace Camsim

#include "PtzCgi.h"

#include "ControlEndpoint.h"
#include "ErrorPages.h"
#include "PtzCommand.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Camsim {

namespace {

HttpResponse error(const std::string& argument, const std::string& message)
{
    return HttpResponse::text(200, "Error:\n" + argument + ": " + message + "\n");
}

HttpResponse noContent() { return HttpResponse::text(204, "", ""); }

// Up to four decimals without trailing zeros, as the cameras print angles.
std::string decimal(double v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", v);
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string integer(double v) { return std::to_string(std::lround(v)); }

bool queueing(const Model& model, unsigned camera)
{
    return model.value("PTZ.Various.V" + std::to_string(camera) + ".CtlQueueing") == "true";
}

unsigned queueSetting(const Model& model, unsigned camera, const char* name, unsigned fallback)
{
    const auto v = parseUnsigned(model.value("PTZ.Various.V" + std::to_string(camera) + "." + name), 100000);
    return v && *v > 0 ? *v : fallback;
}

std::string anchors(const PtzQueueStatus& s, unsigned poll)
{
    // Place in the queue, seconds of control left, poll period.
    return "<a name=\"" + std::to_string(s.position) + "\"></a><a name=\"" + std::to_string(s.secondsLeft) +
           "\"></a><a name=\"" + std::to_string(poll) + "\"></a>\n";
}

std::string recordedTourAnswer(const std::string& inner)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RecordedTourResponse SchemaVersion=\"1.0\">\n" + inner +
           "</RecordedTourResponse>\n";
}

HttpResponse recordedTourError(int code, const std::string& description)
{
    return HttpResponse::text(200,
                              recordedTourAnswer("  <Error>\n    <ErrorCode>" + std::to_string(code) +
                                                 "</ErrorCode>\n    <ErrorDescription>" + description +
                                                 "</ErrorDescription>\n  </Error>\n"),
                              "text/xml");
}

} // namespace

PtzCgi::PtzCgi(Camera& camera, PtzOptions options, Clock clock)
    : camera_(camera), options_(options), clock_(std::move(clock))
{
    camera_.withModel([this](Model& m) { head_ = std::make_unique<PtzHead>(m, options_.maxPresets); });
}

bool PtzCgi::available(Camera& camera)
{
    return camera.withModel([](Model& m) { return PtzHead::available(m); });
}

void PtzCgi::registerRoutes(Router& router)
{
    router.add("/axis-cgi/com/ptz.cgi", [this](const HttpRequest& r) { return ptz(r); });
    router.add("/axis-cgi/com/ptzconfig.cgi", [this](const HttpRequest& r) { return ptzConfig(r); });
    router.add("/axis-cgi/com/ptzqueue.cgi", [this](const HttpRequest& r) { return ptzQueue(r); });
    router.add("/axis-cgi/recordedtour/play.cgi", [this](const HttpRequest& r) { return recordedTour(r, true); });
    router.add("/axis-cgi/recordedtour/stopplayback.cgi",
               [this](const HttpRequest& r) { return recordedTour(r, false); });
    router.addControl("/camsim/ptz", [this](const HttpRequest& r) { return control(r); });
}

std::optional<unsigned> PtzCgi::cameraOf(const std::optional<std::string>& arg) const
{
    const auto camera = arg ? parseUnsigned(*arg, 1000) : head_->defaultCamera();
    return camera && head_->validCamera(*camera) ? camera : std::nullopt;
}

void PtzCgi::paramsChanged()
{
    camera_.withModel([this](Model& m) { head_->syncTours(m, clock_()); });
}

HttpResponse PtzCgi::ptz(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequestPage("Malformed %-escape in the request arguments.");
    const std::string cookie = ptzControlCookie(request.header("Cookie"));
    return camera_.withModel([&](Model& model) {
        head_->syncTours(model, clock_());
        const auto cameraArg = formValue(*args, "camera");
        const auto what = formValue(*args, "query");
        if (what && cameraArg && *cameraArg == "all")
            return query(model, *what, *cameraArg, 0);
        const auto camera = cameraOf(cameraArg);
        if (!camera)
            return error("camera", "invalid camera number '" + cameraArg.value_or("") + "'");
        if (what)
            return query(model, *what, cameraArg.value_or(""), *camera);
        if (queueing(model, *camera) && !queue_.inControl(*camera, cookie, clock_()))
            return error("control", "Not in control of the PTZ head");
        return ptzCommand(model, *camera, *args);
    });
}

std::optional<HttpResponse> PtzCgi::storeAndRemove(Model& model, unsigned camera, const PtzCommand& c, bool home)
{
    if (c.setNo || c.setName) {
        if (auto e = head_->storePreset(model, camera, c.setNo, c.setName, clock_(), home))
            return error(e->argument, e->message);
    }
    if (c.removeNo || c.removeName) {
        if (auto e = head_->removePreset(model, camera, c.removeNo, c.removeName))
            return error(e->argument, e->message);
    }
    return std::nullopt;
}

HttpResponse PtzCgi::ptzCommand(Model& model, unsigned camera, const FormPairs& args)
{
    const PtzLimits& limits = head_->limits(camera);
    PtzCommand c;
    bool any = false;
    for (const auto& [name, value] : args) {
        if (name == "camera")
            continue;
        if (auto refused = readPtzArgument(c, name, value, limits, head_->auxiliaries(camera)))
            return error(refused->argument, refused->message);
        // The image size and the speed only qualify other commands.
        if (name != "imagewidth" && name != "imageheight" && name != "speed")
            any = true;
    }
    if (!any && !c.speed)
        return error("ptz.cgi", "no command given");

    if (auto refused = storeAndRemove(model, camera, c, false))
        return *refused;
    const auto now = clock_();
    if (c.gotoNo || c.gotoName) {
        if (auto e = head_->gotoPreset(model, camera, c.gotoNo, c.gotoName, now))
            return error(e->argument, e->message);
    }
    if (c.deviceNo) // the heads here keep no presets of their own
        return error("gotodevicepreset", "No such preset position found");

    auto moveBy = [&](const std::optional<double>(&values)[5], bool relative) {
        PtzPosition p = head_->position(model, camera, now);
        double* axes[] = {&p.pan, &p.tilt, &p.zoom, &p.focus, &p.iris};
        bool changed = false;
        for (int a = 0; a < 5; ++a) {
            if (values[a]) {
                *axes[a] = relative ? *axes[a] + *values[a] : *values[a];
                changed = true;
            }
        }
        if (changed)
            head_->moveTo(model, camera, p, now);
    };
    moveBy(c.absolute, false);
    moveBy(c.relative, true);
    if (c.continuous)
        head_->continuousSpeeds(model, camera, c.speeds, now);
    if (c.move)
        step(model, camera, *c.move);
    if (c.center)
        head_->areaZoom(model, camera, (*c.center)[0], (*c.center)[1], c.imageWidth, c.imageHeight, std::nullopt,
                        now);
    if (c.areazoom)
        head_->areaZoom(model, camera, (*c.areazoom)[0], (*c.areazoom)[1], c.imageWidth, c.imageHeight,
                        (*c.areazoom)[2], now);
    if (c.autofocus)
        head_->setAutofocus(camera, *c.autofocus);
    if (c.autoiris)
        head_->setAutoiris(camera, *c.autoiris);
    if (c.speed && !c.gotoNo && !c.gotoName)
        head_->setSpeed(camera, *c.speed);
    return noContent();
}

void PtzCgi::step(Model& model, unsigned camera, const std::string& move)
{
    const PtzLimits& limits = head_->limits(camera);
    const auto now = clock_();
    if (move == "stop") {
        head_->continuous(model, camera, {}, now);
    } else if (move == "home") {
        const unsigned home = head_->homePreset(model, camera);
        if (!home || head_->gotoPreset(model, camera, home, std::nullopt, now))
            head_->moveTo(model, camera, PtzPosition{0, 0, limits.minZoom, limits.minFocus, limits.minIris}, now);
    } else {
        // Half the view in the named direction.
        PtzPosition p = head_->position(model, camera, now);
        const double h = limits.fieldAngle(p.zoom) / 2, v = h * 3 / 4;
        if (move.find("left") != std::string::npos)
            p.pan -= h;
        if (move.find("right") != std::string::npos)
            p.pan += h;
        if (move.rfind("up", 0) == 0)
            p.tilt += v;
        if (move.rfind("down", 0) == 0)
            p.tilt -= v;
        head_->moveTo(model, camera, p, now);
    }
}

HttpResponse PtzCgi::query(Model& model, const std::string& what, const std::string& cameraArg, unsigned camera)
{
    const auto now = clock_();
    const bool all = camera == 0;
    if (what == "presetposcam" || what == "presetposall" || what == "presetposcamdata") {
        std::string body;
        const bool every = all || what == "presetposall";
        for (unsigned c = every ? 1 : camera; c <= (every ? head_->cameras() : camera); ++c) {
            body += "Preset Positions for camera " + std::to_string(c) + "\n";
            for (const auto& p : head_->presets(model, c)) {
                body += "presetposno" + std::to_string(p.number) + "=" + p.name;
                if (what == "presetposcamdata" && !p.data.empty())
                    body += ":" + p.data;
                body += "\n";
            }
        }
        return HttpResponse::text(200, body);
    }
    if (all)
        return error("camera", "invalid camera number '" + cameraArg + "'");
    const PtzLimits& l = head_->limits(camera);
    if (what == "position") {
        const PtzPosition p = head_->position(model, camera, now);
        std::string body = "pan=" + decimal(p.pan) + "\ntilt=" + decimal(p.tilt) + "\nzoom=" + integer(p.zoom) + "\n";
        if (l.iris)
            body += "iris=" + integer(p.iris) + "\n";
        if (l.focus)
            body += "focus=" + integer(p.focus) + "\n";
        if (l.focus)
            body += std::string("autofocus=") + (head_->autofocus(camera) ? "on" : "off") + "\n";
        if (l.iris)
            body += std::string("autoiris=") + (head_->autoiris(camera) ? "on" : "off") + "\n";
        return HttpResponse::text(200, body);
    }
    if (what == "speed") {
        if (!head_->speedControl(camera))
            return HttpResponse::text(200, "speed control: unsupported\n");
        return HttpResponse::text(200, "speed=" + std::to_string(head_->speed(camera)) + "\n");
    }
    if (what == "limits") {
        std::string body = "MinPan=" + integer(l.minPan) + "\nMaxPan=" + integer(l.maxPan) +
                           "\nMinTilt=" + integer(l.minTilt) + "\nMaxTilt=" + integer(l.maxTilt) +
                           "\nMinZoom=" + integer(l.minZoom) + "\nMaxZoom=" + integer(l.maxZoom) + "\n";
        if (l.iris)
            body += "MinIris=" + integer(l.minIris) + "\nMaxIris=" + integer(l.maxIris) + "\n";
        if (l.focus)
            body += "MinFocus=" + integer(l.minFocus) + "\nMaxFocus=" + integer(l.maxFocus) + "\n";
        return HttpResponse::text(200, body);
    }
    if (what == "mode")
        return HttpResponse::text(200, "mode=normal\n");
    if (what == "auxiliary") {
        std::string body;
        for (const auto& name : head_->auxiliaries(camera))
            body += name + "\r\n";
        return body.empty() ? noContent() : HttpResponse::text(200, body);
    }
    return error("query", "unknown value: " + what);
}

HttpResponse PtzCgi::ptzConfig(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequestPage("Malformed %-escape in the request arguments.");
    return camera_.withModel([&](Model& model) {
        const auto cameraArg = formValue(*args, "camera");
        const auto camera = cameraOf(cameraArg);
        if (!camera)
            return error("camera", "invalid camera number '" + cameraArg.value_or("") + "'");
        PtzCommand c;
        bool home = false;
        for (const auto& [name, value] : *args) {
            if (name == "home" && (value == "yes" || value == "no")) {
                home = value == "yes";
            } else if (name.find("serverpreset") == std::string::npos || name.rfind("goto", 0) == 0) {
                if (name != "camera")
                    return error(name, "unknown argument");
            } else if (auto refused = readPtzArgument(c, name, value, head_->limits(*camera), {})) {
                return error(refused->argument, refused->message);
            }
        }
        if (!c.setNo && !c.setName && !c.removeNo && !c.removeName)
            return error("ptzconfig.cgi", "no command given");
        if (auto refused = storeAndRemove(model, *camera, c, home))
            return *refused;
        return noContent();
    });
}

HttpResponse PtzCgi::ptzQueue(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequestPage("Malformed %-escape in the request arguments.");
    const std::string cookie = ptzControlCookie(request.header("Cookie"));
    return camera_.withModel([&](Model& model) {
        const auto cameraArg = formValue(*args, "camera");
        const auto camera = cameraOf(cameraArg);
        if (!camera)
            return error("camera", "invalid camera number '" + cameraArg.value_or("") + "'");
        const auto control = formValue(*args, "control");
        if (!control)
            return error("control", "missing");
        if (!queueing(model, *camera))
            return error("control", "PTZ control queueing is disabled");
        const auto now = clock_();
        const unsigned poll = queueSetting(model, *camera, "CtlQueuePollTime", 20);
        PtzQueueStatus status;
        if (*control == "request") {
            const auto granted = queue_.request(*camera, cookie, std::chrono::seconds(poll),
                                                queueSetting(model, *camera, "CtlQueueLimit", 20), now);
            if (!granted)
                return error("control", "The PTZ control queue is full");
            status = *granted;
        } else if (*control == "query") {
            status = queue_.query(*camera, cookie, now);
        } else if (*control == "drop") {
            queue_.drop(*camera, cookie, now);
            status = queue_.query(*camera, cookie, now);
        } else {
            return error("control", "unknown value: " + *control);
        }
        HttpResponse r = HttpResponse::text(200, anchors(status, poll), "text/html");
        if (*control == "request") {
            r.headers.emplace_back("Set-Cookie", "ptz_ctl_id=" + status.id + "; path=/");
            if (options_.queueReply == PtzOptions::QueueReply::Redirect) {
                r.status = 302;
                r.headers.emplace_back("Location", "/axis-cgi/com/ptzqueue.cgi?control=query&camera=" +
                                                       std::to_string(*camera) + "&ptz_ctl_id=" + status.id);
            }
        }
        return r;
    });
}

HttpResponse PtzCgi::recordedTour(const HttpRequest& request, bool play)
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequestPage("Malformed %-escape in the request arguments.");
    return camera_.withModel([&](Model& model) {
        const auto version = formValue(*args, "schemaversion");
        if (!version || (*version != "1" && *version != "1.0"))
            return recordedTourError(10, "Unsupported schema version");
        const auto idArg = formValue(*args, "recordedtourid");
        const auto id = idArg ? parseUnsigned(*idArg, 1000000) : std::nullopt;
        if (!id)
            return recordedTourError(20, "Invalid recorded tour id");
        const auto camera = cameraOf(formValue(*args, "camera"));
        if (!camera)
            return recordedTourError(20, "Invalid camera");
        const auto now = clock_();
        head_->syncTours(model, now);
        if (play) {
            const auto loop = formValue(*args, "loop").value_or("0");
            if (loop != "0" && loop != "1")
                return recordedTourError(20, "Invalid loop value");
            if (!head_->playRecordedTour(model, *camera, *id, loop == "1", now))
                return recordedTourError(30, "Recorded tour " + std::to_string(*id) + " does not exist");
            return HttpResponse::text(200, recordedTourAnswer("  <PlaySuccess/>\n"), "text/xml");
        }
        if (!head_->stopRecordedTour(model, *camera, *id, now))
            return recordedTourError(30, "Recorded tour " + std::to_string(*id) + " is not playing");
        return HttpResponse::text(200, recordedTourAnswer("  <StopPlaybackSuccess/>\n"), "text/xml");
    });
}

Json::Value PtzCgi::state(Model& model)
{
    const auto now = clock_();
    head_->syncTours(model, now);
    Json::Value out;
    out["queueReply"] = options_.queueReply == PtzOptions::QueueReply::Redirect ? "redirect" : "page";
    Json::Value cameras(Json::arrayValue);
    for (unsigned c = 1; c <= head_->cameras(); ++c) {
        const PtzPosition p = head_->position(model, c, now);
        const PtzLimits& l = head_->limits(c);
        Json::Value v;
        v["camera"] = c;
        v["pan"] = p.pan;
        v["tilt"] = p.tilt;
        v["zoom"] = p.zoom;
        if (l.focus)
            v["focus"] = p.focus;
        if (l.iris)
            v["iris"] = p.iris;
        v["moving"] = head_->velocity(c).moving();
        const auto guard = head_->runningGuardTour(c);
        const auto recorded = head_->runningRecordedTour(c, now);
        v["guardTour"] = guard ? Json::Value(*guard) : Json::Value();
        v["recordedTour"] = recorded ? Json::Value(*recorded) : Json::Value();
        Json::Value q;
        q["enabled"] = queueing(model, c);
        const auto snap = queue_.snapshot(c, now);
        q["holder"] = snap.holder ? Json::Value(*snap.holder) : Json::Value();
        q["secondsLeft"] = static_cast<Json::Int64>(snap.secondsLeft);
        q["waiting"] = static_cast<Json::UInt64>(snap.waiting);
        v["queue"] = q;
        cameras.append(v);
    }
    out["cameras"] = cameras;
    return out;
}

HttpResponse PtzCgi::control(const HttpRequest& request)
{
    if (request.method == "GET")
        return json(200, camera_.withModel([this](Model& m) { return state(m); }));
    if (request.method != "POST")
        return jsonError(405, "method not allowed");
    const auto parsed = parseJsonObject(request.body);
    if (!parsed)
        return jsonError(400, "body must be a JSON object");
    const Json::Value& body = *parsed;
    return camera_.withModel([&](Model& model) {
        const bool given = body.isMember("camera");
        const unsigned camera = given && body["camera"].isUInt() ? body["camera"].asUInt() : head_->defaultCamera();
        if ((given && !body["camera"].isUInt()) || !head_->validCamera(camera))
            return jsonError(400, "no such camera");
        const auto now = clock_();
        if (body.isMember("queueReply")) {
            const std::string form = body["queueReply"].isString() ? body["queueReply"].asString() : "";
            if (form != "redirect" && form != "page")
                return jsonError(400, "\"queueReply\" is redirect or page");
            options_.queueReply = form == "page" ? PtzOptions::QueueReply::Page : PtzOptions::QueueReply::Redirect;
        }
        if (body.isMember("holder")) {
            if (!body["holder"].isString() || (body.isMember("seconds") && !body["seconds"].isUInt()))
                return jsonError(400, "\"holder\" is a string, \"seconds\" a count");
            queue_.seize(camera, body["holder"].asString(),
                         std::chrono::seconds(body.get("seconds", 60).asUInt()), now);
        }
        head_->syncTours(model, now);
        PtzPosition p = head_->position(model, camera, now);
        bool move = false;
        for (const auto& [name, axis] : {std::pair<const char*, double*>{"pan", &p.pan}, {"tilt", &p.tilt},
                                         {"zoom", &p.zoom}, {"focus", &p.focus}, {"iris", &p.iris}}) {
            if (!body.isMember(name))
                continue;
            if (!body[name].isNumeric())
                return jsonError(400, std::string("\"") + name + "\" must be a number");
            *axis = body[name].asDouble();
            move = true;
        }
        if (move)
            head_->moveTo(model, camera, p, now);
        return json(200, state(model));
    });
}

} // namespace Camsim

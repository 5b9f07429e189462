#pragma once
// The PTZ CGIs of models with a PTZ parameter group:
//   /axis-cgi/com/ptz.cgi           moves, presets, auxiliary commands, queries
//   /axis-cgi/com/ptzconfig.cgi     storing and removing server presets
//   /axis-cgi/com/ptzqueue.cgi      the control queue (PTZ.Various.V<n>.CtlQueueing)
//   /axis-cgi/recordedtour/play.cgi, stopplayback.cgi
// and the control route /camsim/ptz (GET: head, tours and queue per camera;
// POST: set a position, hand control to another client, pick the queue's
// answer form). Commands answer 204; failures 200 with a body starting
// "Error:" whose next line names the argument and the reason, e.g.
//   Error:
//   gotoserverpresetno: No such preset position found
// Everything runs under the camera's model lock.
#include "Camera.h"
#include "FormData.h"
#include "HttpMessage.h"
#include "PtzHead.h"
#include "PtzQueue.h"
#include "Router.h"

#include <functional>
#include <memory>

#include <json/value.h>

namespace Camsim {

struct PtzCommand;

struct PtzOptions {
    // How control=request hands out the ptz_ctl_id: a 302 whose Location
    // carries it, or a 200 page; both set it as a cookie too.
    enum class QueueReply { Redirect, Page };
    QueueReply queueReply = QueueReply::Redirect;
    unsigned maxPresets = 100; // per camera, Home included
};

class PtzCgi {
public:
    using Clock = std::function<PtzClock::time_point()>;

    PtzCgi(Camera& camera, PtzOptions options, Clock clock = &PtzClock::now);

    static bool available(Camera& camera);
    void registerRoutes(Router& router);

    HttpResponse ptz(const HttpRequest& request);
    HttpResponse ptzConfig(const HttpRequest& request);
    HttpResponse ptzQueue(const HttpRequest& request);
    HttpResponse recordedTour(const HttpRequest& request, bool play);
    HttpResponse control(const HttpRequest& request);
    // After every param.cgi request: guard tours may have started or stopped.
    void paramsChanged();

private:
    // camera=N, or PTZ.CameraDefault without it; nullopt for no such camera.
    std::optional<unsigned> cameraOf(const std::optional<std::string>& arg) const;
    HttpResponse ptzCommand(Model& model, unsigned camera, const FormPairs& args);
    void step(Model& model, unsigned camera, const std::string& move); // move=...
    // Stores, then removes, the presets the command names; the refusal, if any.
    std::optional<HttpResponse> storeAndRemove(Model& model, unsigned camera, const PtzCommand& c, bool home);
    HttpResponse query(Model& model, const std::string& what, const std::string& cameraArg, unsigned camera);
    Json::Value state(Model& model);

    Camera& camera_;
    PtzOptions options_;
    Clock clock_;
    std::unique_ptr<PtzHead> head_;
    PtzQueue queue_;
};

} // namespace Camsim

#pragma once
// /camsim/... : the simulator's own control surface for tests and scripts.
//   GET    /camsim/requests   the request log (JSON array; control calls are not in it)
//   DELETE /camsim/requests   clears it
//   GET    /camsim/faults     armed faults
//   POST   /camsim/faults     {"path":"/axis-cgi/param.cgi","fault":"status:404","count":1}
//   DELETE /camsim/faults     clears all (or ?path=... for one)
//   GET    /camsim/state      model, parameters and lens state
// PTZ models add GET|POST /camsim/ptz (PtzCgi.h); the event side adds
// /camsim/events and /camsim/applications (EventControl.h).
#include "Camera.h"
#include "FaultInjector.h"
#include "RequestLog.h"
#include "Router.h"

#include <optional>
#include <string>

#include <json/value.h>

namespace Camsim {

// Answers and request bodies of the control routes.
HttpResponse json(int status, const Json::Value& value);
HttpResponse jsonError(int status, const std::string& message);
std::optional<Json::Value> parseJsonObject(const std::string& text); // nullopt unless a JSON object

class ControlEndpoint {
public:
    ControlEndpoint(Camera& camera, FaultInjector& faults, RequestLog& log)
        : camera_(camera), faults_(faults), log_(log)
    {
    }

    void registerRoutes(Router& router);

    HttpResponse requests(const HttpRequest& request);
    HttpResponse faults(const HttpRequest& request);
    HttpResponse state(const HttpRequest& request);

private:
    Camera& camera_;
    FaultInjector& faults_;
    RequestLog& log_;
};

} // namespace Camsim

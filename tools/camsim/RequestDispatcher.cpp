#include "RequestDispatcher.h"

#include "ErrorPages.h"
#include "PtzQueue.h"

namespace Camsim {

namespace {

bool isProtectedPath(const std::string& path)
{
    return path.rfind("/axis-cgi/", 0) == 0 || path.rfind("/local/", 0) == 0 ||
           path.rfind("/axis-media/", 0) == 0;
}

} // namespace

DispatchOutcome RequestDispatcher::dispatch(const HttpRequest& request)
{
    const std::string path = request.path();
    const Route* route = router_.find(path);
    if (route && route->control) {
        DispatchOutcome out;
        try {
            out.response = route->handler(request);
        } catch (const std::exception&) {
            out.response = HttpResponse::text(500, std::string("{\"error\":\"internal\"}\n"), "application/json");
        }
        // Control calls stay out of the log so that it shows camera traffic only.
        return out;
    }

    const auto fault = faults_.take(path);
    if (fault) {
        const std::string name = toString(*fault);
        DispatchOutcome out;
        switch (fault->kind) {
        case FaultSpec::Kind::Status:
            out.response = HttpResponse::text(fault->status, std::to_string(fault->status) + " " +
                                                                 reasonPhrase(fault->status) + "\n");
            record(request, fault->status, name);
            return out;
        case FaultSpec::Kind::Empty:
            out.response = HttpResponse::text(200, "");
            record(request, 200, name);
            return out;
        case FaultSpec::Kind::Close:
        case FaultSpec::Kind::End:    // the RTSP faults, met on a plain HTTP
        case FaultSpec::Kind::Stall:  // request for the media path: the
        case FaultSpec::Kind::Refuse: // connection ends without an answer
            out.action = DispatchOutcome::Action::Close;
            record(request, 0, name);
            return out;
        case FaultSpec::Kind::Garbage:
            out.action = DispatchOutcome::Action::Garbage;
            record(request, 0, name);
            return out;
        case FaultSpec::Kind::Delay:
            out = serve(request, route);
            out.delay = fault->delay;
            record(request, out.response.status, name);
            return out;
        case FaultSpec::Kind::Truncate:
            out = serve(request, route);
            if (out.response.body.size() > fault->bytes)
                out.response.body.resize(fault->bytes);
            record(request, out.response.status, name);
            return out;
        }
    }
    DispatchOutcome out = serve(request, route);
    record(request, out.response.status, {});
    return out;
}

DispatchOutcome RequestDispatcher::serve(const HttpRequest& request, const Route* route)
{
    DispatchOutcome out;
    const std::string path = request.path();
    if (route || isProtectedPath(path)) {
        auto verdict = auth_.check(request.method, request.target, request.header("Authorization"));
        if (!verdict.accepted) {
            out.response = unauthorizedPage(style_, path);
            for (auto& c : verdict.challenges)
                out.response.headers.emplace_back("WWW-Authenticate", std::move(c));
            return out;
        }
    }
    if (!route) {
        out.response = notFoundPage(style_, path);
        return out;
    }
    try {
        out.response = route->handler(request);
    } catch (const std::exception&) {
        out.response = HttpResponse::text(500, "Internal error\n");
    }
    return out;
}

void RequestDispatcher::record(const HttpRequest& request, int status, const std::string& fault)
{
    RequestRecord r;
    r.time = utcTimestamp();
    r.method = request.method;
    r.target = redactTarget(request.target);
    r.authorization = request.hasHeader("Authorization");
    r.status = status;
    r.fault = fault;
    r.secure = request.secure;
    r.ptzControlId = ptzControlCookie(request.header("Cookie"));
    log_.add(std::move(r));
}

void RequestDispatcher::logRefused(const std::string& method, const std::string& target, bool authorization,
                                   int status, bool secure)
{
    RequestRecord r;
    r.time = utcTimestamp();
    r.method = method;
    r.target = redactTarget(target);
    r.authorization = authorization;
    r.status = status;
    r.secure = secure;
    log_.add(std::move(r));
}

} // namespace Camsim

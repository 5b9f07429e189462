#pragma once
// What happens to one parsed request, independent of the socket: control
// routes first, then an armed fault, then authentication, then the CGI.
// Every camera request ends up in the request log with the status
// answered; control requests (/camsim/...) do not.
#include "Authenticator.h"
#include "FaultInjector.h"
#include "HttpMessage.h"
#include "Model.h"
#include "RequestLog.h"
#include "Router.h"

#include <chrono>

namespace Camsim {

struct DispatchOutcome {
    enum class Action { Respond, Close, Garbage };
    Action action = Action::Respond;
    std::chrono::milliseconds delay{0};
    HttpResponse response;
};

class RequestDispatcher {
public:
    RequestDispatcher(const Router& router, Authenticator& auth, FaultInjector& faults, RequestLog& log,
                      WebServerStyle style)
        : router_(router), auth_(auth), faults_(faults), log_(log), style_(style)
    {
    }

    DispatchOutcome dispatch(const HttpRequest& request);

    // For requests the HTTP layer refused before they could be dispatched.
    void logRefused(const std::string& method, const std::string& target, bool authorization, int status,
                    bool secure);

private:
    DispatchOutcome serve(const HttpRequest& request, const Route* route);
    void record(const HttpRequest& request, int status, const std::string& fault);

    const Router& router_;
    Authenticator& auth_;
    FaultInjector& faults_;
    RequestLog& log_;
    WebServerStyle style_;
};

} // namespace Camsim

#pragma once
// Control routes of the event side, for tests and demonstrations (no
// authentication, not in the request log):
//
//   GET    /camsim/events        sessions (open, opened), lastTopicFilter,
//                                topicFilters, instances with their state
//   POST   /camsim/events        one JSON object, e.g.
//            {"event":"motion","window":0,"active":true}
//            {"event":"vmd3","camera":1,"active":true}
//            {"event":"vmd4","camera":1,"profile":1,"active":true}
//            {"event":"tampering","channel":1}
//            {"event":"audio","channel":1,"active":true}
//            {"event":"temperature","zone":1,"active":true}
//            {"event":"shock"}
//            {"event":"sound","class":"gunshot"}       (alarm|gunshot|breakingglass, "source" overrides)
//            {"event":"tracker","frames":5,"intervalMs":200,
//             "objects":[{"id":7,"from":[l,t,r,b],"to":[l,t,r,b],"color":[r,g,b]}]}
//            {"drop":true}                             closes every event session
//            {"maxPayload":200}                        bytes of metadata per RTP packet
//            {"undeclare":"tampering"} / {"declare":"tampering"}
//          answers {"sessions":N} (the sessions the notification went to)
//   DELETE /camsim/events        forgets the counters and filters seen
//   GET    /camsim/applications  the installed applications and their status
//   POST   /camsim/applications  {"name":"vmd","status":"Running"|"Stopped"|"Removed"}
#include "ApplicationsCgi.h"
#include "EventEngine.h"
#include "Router.h"

namespace Camsim {

class EventControl {
public:
    EventControl(EventEngine& engine, ApplicationsCgi& applications) : engine_(engine), applications_(applications) {}

    void registerRoutes(Router& router);
    HttpResponse events(const HttpRequest& request);
    HttpResponse applications(const HttpRequest& request);

private:
    HttpResponse trigger(const Json::Value& body);

    EventEngine& engine_;
    ApplicationsCgi& applications_;
};

} // namespace Camsim

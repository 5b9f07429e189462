#pragma once
// /vapix/services GetEventInstances: the event declarations of the camera,
// as the SOAP answer of Axis firmware lays them out. Written without
// whitespace between elements, so that a nested declaration reads as one
// run of text ("<tns1:AudioSource><tnsaxis:TriggerLevel ...").
#include "HttpMessage.h"

#include <string>
#include <vector>

namespace Camsim {

struct EventDeclarationSet {
    struct Vmd4Profile {
        unsigned camera = 1;
        unsigned uid = 1;
        std::string name;
    };

    bool motion = false;
    std::vector<unsigned> motionWindows;
    bool tampering = false;
    std::vector<unsigned> tamperingChannels;
    std::vector<unsigned> audioChannels;     // empty: no audio trigger level
    bool thermometry = false;
    std::vector<unsigned> temperatureZones;
    bool shock = false;
    std::vector<unsigned> vmd3Cameras;       // empty: VMD 3 not running
    bool vmd4 = false;
    std::vector<unsigned> vmd4Cameras;
    std::vector<Vmd4Profile> vmd4Profiles;
    std::vector<std::string> soundDetectors; // "SIAlarmDetector", ...
    bool tracker = false;
};

std::string eventInstancesResponse(const EventDeclarationSet& set);

// The SOAP request must ask for GetEventInstances of the VAPIX event service.
bool isGetEventInstancesRequest(const std::string& body);

// A SOAP 1.2 fault for a request the service does not know.
std::string soapFault(const std::string& reason);

class EventEngine;

// POST /vapix/services: GetEventInstances, or a SOAP fault.
HttpResponse eventServices(EventEngine& engine, const HttpRequest& request);

} // namespace Camsim

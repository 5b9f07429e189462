#include "EventDeclarations.h"

#include "EventDocument.h"
#include "EventEngine.h"
#include "ParamFormat.h"

namespace Camsim {

namespace {

constexpr const char* kEnvelopeOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:SOAP-ENC=\"http://www.w3.org/2003/05/soap-encoding\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:wstop=\"http://docs.oasis-open.org/wsn/t-1\" xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
    "xmlns:aev=\"http://www.axis.com/vapix/ws/event1\" xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
    "xmlns:tns1=\"http://www.onvif.org/ver10/topics\" xmlns:tnsaxis=\"http://www.axis.com/2009/event/topics\">";

struct Item {
    std::string name;
    std::string type;
    std::string niceName;
    std::vector<std::string> values;
    bool propertyState = false;
};

std::string item(const Item& i)
{
    std::string s = "<aev:SimpleItemInstance";
    if (!i.niceName.empty())
        s += " aev:NiceName=\"" + xmlEscape(i.niceName) + "\"";
    s += " Type=\"" + i.type + "\" Name=\"" + i.name + "\"";
    if (i.propertyState)
        s += " isPropertyState=\"true\"";
    if (i.values.empty())
        return s + "/>";
    s += ">";
    for (const auto& v : i.values)
        s += "<aev:Value>" + xmlEscape(v) + "</aev:Value>";
    return s + "</aev:SimpleItemInstance>";
}

std::string message(bool property, const std::vector<Item>& source, const std::vector<Item>& data)
{
    std::string s = property ? "<aev:MessageInstance aev:isProperty=\"true\">" : "<aev:MessageInstance>";
    if (!source.empty()) {
        s += "<aev:SourceInstance>";
        for (const auto& i : source)
            s += item(i);
        s += "</aev:SourceInstance>";
    }
    s += "<aev:DataInstance>";
    for (const auto& i : data)
        s += item(i);
    return s + "</aev:DataInstance></aev:MessageInstance>";
}

// <name wstop:topic="true" aev:NiceName="...">message</name>; no nice name
// for the application topics that are declared without one.
std::string topic(const std::string& name, const std::string& niceName, const std::string& body,
                  const std::string& attributes = {})
{
    std::string s = "<" + name + " wstop:topic=\"true\"" + attributes;
    if (!niceName.empty())
        s += " aev:NiceName=\"" + xmlEscape(niceName) + "\"";
    return s + ">" + body + "</" + name + ">";
}

std::vector<std::string> numbers(const std::vector<unsigned>& list)
{
    std::vector<std::string> out;
    for (unsigned n : list)
        out.push_back(std::to_string(n));
    return out;
}

Item activeState(const std::string& name = "active") { return {name, "xsd:boolean", "", {}, true}; }

std::string ruleEngine(const EventDeclarationSet& set)
{
    if (set.vmd3Cameras.empty() && !set.vmd4)
        return {};
    std::string s = "<tns1:RuleEngine aev:NiceName=\"Application\">";
    if (!set.vmd3Cameras.empty()) {
        s += "<tnsaxis:VMD3 aev:NiceName=\"Video Motion Detection 3\">";
        for (unsigned c : set.vmd3Cameras)
            s += topic("vmd3_video_" + std::to_string(c), "VMD 3",
                       message(true, {{"areaid", "xsd:int", "Area ID", {"0"}, false}}, {activeState()}));
        s += "</tnsaxis:VMD3>";
    }
    if (set.vmd4) {
        std::vector<std::string> rules;
        for (const auto& p : set.vmd4Profiles)
            rules.push_back(p.name);
        std::vector<Item> source;
        if (!rules.empty())
            source.push_back({"RuleName", "xsd:string", "", rules, false});
        source.push_back({"VideoSource", "tt:ReferenceToken", "", {"0"}, false});
        s += "<MotionRegionDetector>" +
             topic("Motion", "", message(true, source, {activeState("State")}), " isApplicationData=\"true\"") +
             "</MotionRegionDetector>";
    }
    return s + "</tns1:RuleEngine>";
}

std::string applicationPlatform(const EventDeclarationSet& set)
{
    // Every application declares its topics in a block of its own.
    const std::string open = "<tnsaxis:CameraApplicationPlatform>";
    const std::string close = "</tnsaxis:CameraApplicationPlatform>";
    std::string s;
    if (set.vmd4) {
        s += open + "<VMD aev:NiceName=\"Video Motion Detection\">";
        for (unsigned c : set.vmd4Cameras) {
            const std::string camera = "Camera" + std::to_string(c);
            s += topic(camera + "ProfileANY", "VMD 4: Any Profile", message(true, {}, {activeState()}));
            for (const auto& p : set.vmd4Profiles) {
                if (p.camera == c)
                    s += topic(camera + "Profile" + std::to_string(p.uid), "VMD 4: " + p.name,
                               message(true, {}, {activeState()}));
            }
        }
        s += "</VMD>" + close;
    }
    for (const auto& detector : set.soundDetectors) {
        const std::string classification = detector.substr(2, detector.size() - 2 - 8); // SI...Detector
        s += open +
             topic(detector, "",
                   message(false, {{"Source", "xsd:string", "Source", {classification}, false}},
                           {{"active", "xsd:boolean", "", {}, false}})) +
             close;
    }
    if (set.tracker) {
        s += open +
             topic("AnalyticVideoTracker", "",
                   message(false, {{"channel", "xsd:int", "Channel", {"1"}, false}},
                           {{"Frame", "tt:Frame", "", {}, false}})) +
             close;
    }
    return s;
}

std::string videoSource(const EventDeclarationSet& set)
{
    std::string s = "<tns1:VideoSource aev:NiceName=\"Video source\">";
    if (set.tampering)
        s += topic("tnsaxis:Tampering", "Camera tampering",
                   message(false, {{"channel", "xsd:int", "Channel", numbers(set.tamperingChannels), false}},
                           {{"tampering", "xsd:int", "Tampering", {"1"}, false}}));
    s += topic("tnsaxis:DayNightVision", "Day night vision",
               message(true,
                       {{"VideoSourceConfigurationToken", "xsd:int", "Video source configuration token", {"1"},
                         false}},
                       {{"day", "xsd:boolean", "day", {}, true}}));
    if (set.thermometry)
        s += topic("tnsaxis:TemperatureDetection", "Temperature detection",
                   message(true, {{"TemperatureZone", "xsd:int", "Temperature zone", numbers(set.temperatureZones), false}},
                           {{"active", "xsd:boolean", "Active", {}, true}}));
    return s + "</tns1:VideoSource>";
}

std::string device(const EventDeclarationSet& set)
{
    if (!set.thermometry && !set.shock)
        return {};
    std::string s = "<tns1:Device aev:NiceName=\"Device\">";
    if (set.thermometry) {
        s += "<tnsaxis:Status aev:NiceName=\"Device sensors\"><Temperature aev:NiceName=\"Temperature sensors\">";
        for (const char* limit : {"Above", "Below", "Inside"})
            s += topic(limit, std::string(limit) + " operating temperature",
                       message(true, {}, {{"sensor_level", "xsd:boolean", "", {}, true}}));
        s += "</Temperature></tnsaxis:Status>";
    }
    if (set.shock)
        s += "<tnsaxis:Tampering aev:NiceName=\"Tampering\">" +
             topic("ShockDetected", "Shock Detected", message(false, {}, {{"shock", "xsd:int", "Shock", {"1"}, false}})) +
             "</tnsaxis:Tampering>";
    return s + "</tns1:Device>";
}

} // namespace

std::string eventInstancesResponse(const EventDeclarationSet& set)
{
    std::string s = kEnvelopeOpen;
    s += "<SOAP-ENV:Body><aev:GetEventInstancesResponse><wstop:TopicSet>";
    s += ruleEngine(set);
    s += applicationPlatform(set);
    s += videoSource(set);
    if (set.motion)
        s += "<tns1:VideoAnalytics aev:NiceName=\"Video analytics\">" +
             topic("tnsaxis:MotionDetection", "Motion detection",
                   message(true, {{"window", "xsd:int", "Window", numbers(set.motionWindows), false}},
                           {{"motion", "xsd:boolean", "Motion", {}, true}})) +
             "</tns1:VideoAnalytics>";
    if (!set.audioChannels.empty())
        s += "<tns1:AudioSource>" +
             topic("tnsaxis:TriggerLevel", "Audio detection",
                   message(true, {{"channel", "xsd:int", "Channel", numbers(set.audioChannels), false}},
                           {{"triggered", "xsd:boolean", "Triggered", {}, true}})) +
             "</tns1:AudioSource>";
    s += device(set);
    s += "</wstop:TopicSet></aev:GetEventInstancesResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
    return s;
}

bool isGetEventInstancesRequest(const std::string& body)
{
    return body.find("GetEventInstances") != std::string::npos &&
           body.find("http://www.axis.com/vapix/ws/event1") != std::string::npos;
}

HttpResponse eventServices(EventEngine& engine, const HttpRequest& request)
{
    const std::string type = "application/soap+xml; charset=utf-8";
    if (request.method != "POST")
        return HttpResponse::text(405, soapFault("The service accepts SOAP requests by POST only"), type);
    if (!isGetEventInstancesRequest(request.body))
        return HttpResponse::text(400, soapFault("Unknown or malformed request"), type);
    return HttpResponse::text(200, engine.declarations(), type);
}

std::string soapFault(const std::string& reason)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\"><SOAP-ENV:Body>"
           "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value></SOAP-ENV:Code>"
           "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">" +
           xmlEscape(reason) + "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

} // namespace Camsim

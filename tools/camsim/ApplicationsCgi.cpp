#include "ApplicationsCgi.h"

#include "Router.h"

#include <algorithm>

namespace Camsim {

namespace {

struct KnownApplication {
    const char* niceName;
    const char* version;
    const char* id;
};

// Attributes of real installations; an unknown name gets generic ones.
const std::map<std::string, KnownApplication>& knownApplications()
{
    static const std::map<std::string, KnownApplication> known = {
        {"vmd", {"AXIS Video Motion Detection", "4.4-5", "143440"}},
        {"VMD3", {"AXIS Video Motion Detection", "3.2-1", "46396"}},
        {"fenceguard", {"AXIS Fence Guard", "2.2-6", "47775"}},
        {"RemoteAccess", {"AXIS Remote Access solution", "1.12", "1234"}},
        {"SIAlarmDetector", {"Sound Intelligence Aggression Detector", "2.1-3", "207312"}},
        {"SIGunshotDetector", {"Sound Intelligence Gunshot Detector", "2.1-3", "207313"}},
        {"SIBreakingGlassDetector", {"Sound Intelligence Glass Break Detector", "2.1-3", "207314"}},
        {"QVT", {"Video Tracker", "1.6-2", "98231"}},
    };
    return known;
}

} // namespace

ApplicationsCgi::ApplicationsCgi(const std::vector<std::string>& names)
{
    for (const auto& entry : names) {
        const auto colon = entry.find(':');
        const std::string name = entry.substr(0, colon);
        if (!name.empty())
            applications_.emplace_back(name, colon == std::string::npos || entry.substr(colon + 1) != "stopped");
    }
}

std::string ApplicationsCgi::listReply(const std::vector<std::pair<std::string, bool>>& applications)
{
    std::string body = "<reply result=\"ok\">\n";
    for (const auto& [name, running] : applications) {
        const auto it = knownApplications().find(name);
        const KnownApplication app = it != knownApplications().end() ? it->second
                                                                      : KnownApplication{"Application", "1.0-0", "100000"};
        body += " <application Name=\"" + name + "\" NiceName=\"" + app.niceName +
                "\" Vendor=\"Axis Communications\" Version=\"" + app.version + "\" ApplicationID=\"" + app.id +
                "\" License=\"None\" Status=\"" + (running ? "Running" : "Stopped") +
                "\" ConfigurationPage=\"local/" + name + "/config.html\" VendorHomePage=\"http://www.axis.com\" />\n";
    }
    return body + "</reply>\n";
}

HttpResponse ApplicationsCgi::handle(const HttpRequest&) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return HttpResponse::text(200, listReply(applications_), "text/xml");
}

HttpResponse ApplicationsCgi::control(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    const auto action = args ? formValue(*args, "action") : std::nullopt;
    const auto package = args ? formValue(*args, "package") : std::nullopt;
    if (!action || !package || (*action != "start" && *action != "stop" && *action != "restart" && *action != "remove"))
        return HttpResponse::text(200, "Error: 10");
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(applications_.begin(), applications_.end(),
                                 [&](const auto& a) { return a.first == *package; });
    if (it == applications_.end())
        return HttpResponse::text(200, "Error: 4");
    if (*action == "start") {
        if (it->second)
            return HttpResponse::text(200, "Error: 6");
        it->second = true;
    } else if (*action == "stop") {
        if (!it->second)
            return HttpResponse::text(200, "Error: 7");
        it->second = false;
    } else if (*action == "restart") {
        it->second = true;
    } else {
        applications_.erase(it);
    }
    return HttpResponse::text(200, "OK\r\n");
}

bool ApplicationsCgi::installed(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(applications_.begin(), applications_.end(), [&](const auto& a) { return a.first == name; });
}

bool ApplicationsCgi::running(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(applications_.begin(), applications_.end(),
                       [&](const auto& a) { return a.first == name && a.second; });
}

std::vector<std::string> ApplicationsCgi::names() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto& a : applications_)
        out.push_back(a.first);
    return out;
}

void ApplicationsCgi::setStatus(const std::string& name, const std::string& status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(applications_.begin(), applications_.end(), [&](const auto& a) { return a.first == name; });
    if (status == "Removed") {
        if (it != applications_.end())
            applications_.erase(it);
        return;
    }
    if (it == applications_.end())
        it = applications_.insert(applications_.end(), {name, false});
    it->second = status == "Running";
}

} // namespace Camsim

#include "ApplicationsCgi.h"

#include <map>

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
    };
    return known;
}

} // namespace

std::string ApplicationsCgi::listReply(const std::vector<std::string>& names)
{
    std::string body = "<reply result=\"ok\">\n";
    for (const auto& name : names) {
        const auto it = knownApplications().find(name);
        const KnownApplication app = it != knownApplications().end() ? it->second
                                                                      : KnownApplication{"Application", "1.0-0", "100000"};
        body += " <application Name=\"" + name + "\" NiceName=\"" + app.niceName +
                "\" Vendor=\"Axis Communications\" Version=\"" + app.version + "\" ApplicationID=\"" +
                app.id + "\" License=\"None\" Status=\"Running\" ConfigurationPage=\"local/" + name +
                "/config.html\" VendorHomePage=\"http://www.axis.com\" />\n";
    }
    return body + "</reply>\n";
}

HttpResponse ApplicationsCgi::handle(const HttpRequest&) const
{
    return HttpResponse::text(200, listReply(names_), "text/xml");
}

} // namespace Camsim

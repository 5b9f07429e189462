#pragma once
// A scripted camera for the asynchronous settings classes: answers by
// request target, 404 for anything else.
#include "SettingsTestSupport.h"
#include "support/HttpTestServer.h"

#include <map>
#include <netkit/asio/ConnectionInfo.h>

namespace SettingsTest {

struct ScriptedCamera {
    // target -> (status, body)
    std::map<std::string, std::pair<unsigned, std::string>> answers;

    TestSupport::ScriptedReply operator()(const TestSupport::RecordedRequest& request) const
    {
        const auto it = answers.find(request.target);
        if (it == answers.end())
            return TestSupport::ScriptedReply::raw(
                TestSupport::httpAnswer(404, "Not Found", {"Content-Type: text/html"}, "<HTML>404</HTML>"));
        const auto& [status, body] = it->second;
        return TestSupport::ScriptedReply::raw(TestSupport::httpAnswer(
            status, status == 200 ? "OK" : "Error", {"Content-Type: text/plain"}, body));
    }
};

inline std::shared_ptr<Orix::asio::ConnectionInfo> cameraAt(std::uint16_t port)
{
    auto info = std::make_shared<Orix::asio::ConnectionInfo>();
    info->host = "127.0.0.1";
    info->port = port;
    info->endpoint = {"127.0.0.1", port};
    return info;
}

inline std::vector<std::string> targets(const TestSupport::HttpTestServer& server)
{
    std::vector<std::string> out;
    for (const auto& r : server.requests())
        out.push_back(r.method + " " + r.target);
    return out;
}

} // namespace SettingsTest

#pragma once
// A device as a PTZ channel sees it (connection info, fisheye view, optics
// flag, a running I/O thread) and a scripted camera answering by request
// target, 204 for every command it has no answer for.
#include "support/FakeDeviceServices.h"
#include "support/FakeHost.h"
#include "support/HttpTestServer.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace PtzTest {

using FakeDevice = TestSupport::FakeDeviceServices;

inline TestSupport::ScriptedReply answer(unsigned status, const std::string& body,
                                         std::vector<std::string> headers = {"Content-Type: text/plain"})
{
    const char* reason = status == 204 ? "No Content" : status == 200 ? "OK" : status == 302 ? "Found" : "Error";
    return TestSupport::ScriptedReply::raw(TestSupport::httpAnswer(status, reason, headers, body));
}

// Answers by exact target; 204 for anything else.
struct Camera {
    std::map<std::string, TestSupport::ScriptedReply> answers;

    TestSupport::ScriptedReply operator()(const TestSupport::RecordedRequest& request) const
    {
        const auto it = answers.find(request.target);
        return it == answers.end() ? answer(204, "") : it->second;
    }
};

inline std::vector<std::string> targets(const TestSupport::HttpTestServer& server)
{
    std::vector<std::string> out;
    for (const auto& r : server.requests())
        out.push_back(r.target);
    return out;
}

// The answer of a camera without a home preset and without speed control
// queries, so that preset commands send exactly one request.
const char* const kSpeedQuery = "/axis-cgi/com/ptz.cgi?camera=1&query=speed";
const char* const kHomeQuery = "/axis-cgi/com/ptz.cgi?camera=1&query=presetposcam";

} // namespace PtzTest

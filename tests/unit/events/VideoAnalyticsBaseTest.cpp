#include "EventsTestSupport.h"
#include "support/HttpTestServer.h"

#include <gtest/gtest.h>

using namespace EventsTest;

namespace {

// The event declarations of a camera with VMD 3 and tampering (fragments of
// a real GetEventInstances answer), and of one with neither.
const char* const kDeclarations =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope><SOAP-ENV:Body><aev:GetEventInstancesResponse>"
    "<wstop:TopicSet><tns1:RuleEngine aev:NiceName=\"Application\"><tnsaxis:VMD3 aev:NiceName=\"Video Motion Detection 3\">"
    "<vmd3_video_1 wstop:topic=\"true\" aev:NiceName=\"VMD 3\"></vmd3_video_1></tnsaxis:VMD3></tns1:RuleEngine>"
    "<tns1:VideoSource aev:NiceName=\"Video source\"><tnsaxis:Tampering wstop:topic=\"true\" aev:NiceName=\"Camera tampering\">"
    "</tnsaxis:Tampering></tns1:VideoSource></wstop:TopicSet></aev:GetEventInstancesResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
const char* const kNoDeclarations =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope><SOAP-ENV:Body><aev:GetEventInstancesResponse>"
    "<wstop:TopicSet><tns1:Device aev:NiceName=\"Device\"></tns1:Device></wstop:TopicSet></aev:GetEventInstancesResponse>"
    "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";

TestSupport::ScriptedReply answer(unsigned status, const std::string& body)
{
    return TestSupport::ScriptedReply::raw(
        TestSupport::httpAnswer(status, status == 200 ? "OK" : "Unauthorized", {"Content-Type: text/plain"}, body));
}

struct Camera {
    std::string declarations;
    unsigned servicesStatus = 200;
    std::string applicationAnswer;

    TestSupport::ScriptedReply operator()(const TestSupport::RecordedRequest& request) const
    {
        if (request.target == "/vapix/services")
            return answer(servicesStatus, servicesStatus == 200 ? declarations : "");
        if (request.target == "/axis-cgi/applications/control.cgi?action=start&package=VMD3")
            return answer(200, applicationAnswer);
        return answer(404, "");
    }
};

} // namespace

TEST(VideoAnalyticsBase, StartConfirmsTheEventWithTheCamera)
{
    const struct {
        const char* name;
        bool application;
        bool vmd3;
        Camera camera;
        const char* outcome;
        const char* log;
    } cases[] = {
        {"declared", false, false, {kDeclarations, 200, ""}, "started", ""},
        {"not declared", false, false, {kNoDeclarations, 200, ""}, "failed 1",
         "Cannot parse VAPIX event description for event Tampering"},
        {"refused services", false, false, {kDeclarations, 401, ""}, "failed 1", "Cannot receive Tampering instance"},
        {"application started", true, true, {kDeclarations, 200, "OK\r\n"}, "started", ""},
        {"application already running", true, true, {kDeclarations, 200, "Error: 6"}, "started", ""},
        {"application refused", true, true, {kDeclarations, 200, "Error: 4"}, "failed 1",
         "Cannot start VMD3 application. Camera reports: Error: 4"},
        {"application answers nothing", true, true, {kDeclarations, 200, ""}, "failed 1", "HTTP responce is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::HttpTestServer server(c.camera);
        FakeDevice device(server.port());
        RecordingAnalyticsHandler handler;
        Vapixcam::VideoAnalyticsBase* detector = nullptr;
        if (c.application) {
            auto* app = new ApplicationDetector(&handler, 0, device, c.vmd3);
            app->setApplicationStartWait(std::chrono::milliseconds(0));
            detector = app;
        } else {
            detector = new EmbeddedDetector(&handler, 0, device, c.vmd3);
        }
        detector->Start();
        ASSERT_TRUE(handler.waitFor(1)) << device.log().all();
        EXPECT_EQ(handler.calls().front(), c.outcome);
        EXPECT_TRUE(device.log().contains(c.log)) << device.log().all();
        // Registered with the stream either way, until Stop.
        device.run([&] { EXPECT_TRUE(device.getNotificationStream()->hasDetector(detector)); });
        const auto requests = server.requests();
        ASSERT_FALSE(requests.empty());
        const auto& services = requests.back();
        if (services.target == "/vapix/services") {
            EXPECT_EQ(services.method, "POST");
            EXPECT_EQ(services.body,
                      "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"xmlns:xsd=\"http://www.w3.org/2001/"
                      "XMLSchema\"><GetEventInstances xmlns=\"http://www.axis.com/vapix/ws/event1\"/></s:Body></s:Envelope>");
        }
        detector->Destroy();
    }
}

TEST(VideoAnalyticsBase, StartAndStopTwiceFailWithAlreadyInState)
{
    TestSupport::HttpTestServer server(Camera{kDeclarations, 200, ""});
    FakeDevice device(server.port());
    RecordingAnalyticsHandler handler;
    auto* detector = new EmbeddedDetector(&handler, 0, device, true);
    detector->Start();
    ASSERT_TRUE(handler.waitFor(1));
    detector->Start();
    device.run([&] {
        device.getNotificationStream()->dispatchEvents(
            {{"VMD3/vmd3_video_1", "2019-04-17T09:30:44.352231Z", "", "<tt:SimpleItem Name=\"active\" Value=\"1\"/>"}});
    });
    detector->Stop();
    ASSERT_TRUE(handler.waitFor(5));
    const auto calls = handler.calls();
    EXPECT_EQ(calls[0], "started");
    EXPECT_EQ(calls[1], "failed 3");
    EXPECT_EQ(calls[2], "twoPhase VMD3/vmd3_video_1 1 1555493444352");
    // Stop closes the open alarm before the host hears that it stopped.
    EXPECT_EQ(calls[3].rfind("twoPhase VMD3/vmd3_video_1 0 ", 0), 0u) << calls[3];
    EXPECT_EQ(calls[4], "stopped");
    EXPECT_EQ(device.log().count("Already started"), 1u);
    EXPECT_EQ(device.log().count("Already stopped"), 0u);
    detector->Stop();
    EXPECT_EQ(handler.calls().back(), "failed 3");
    EXPECT_EQ(device.log().count("Already stopped"), 1u);
    detector->Destroy();
}

TEST(VideoAnalyticsBase, TheHostMayDestroyADetectorFromInsideItsEvent)
{
    TestSupport::HttpTestServer server(Camera{kDeclarations, 200, ""});
    FakeDevice device(server.port());
    RecordingAnalyticsHandler handler;
    auto* detector = new EmbeddedDetector(&handler, 0, device, true);
    detector->Start();
    ASSERT_TRUE(handler.waitFor(1));
    handler.onCall = [&](const std::string& call) {
        if (call.rfind("twoPhase", 0) == 0)
            detector->Destroy();
    };
    const std::vector<Vapixcam::EventStruct> active{
        {"VMD3/vmd3_video_1", "2019-04-17T09:30:44.352231Z", "", "<tt:SimpleItem Name=\"active\" Value=\"1\"/>"}};
    device.run([&] { device.getNotificationStream()->dispatchEvents(active); });
    device.run([&] {
        EXPECT_EQ(device.getNotificationStream()->detectorCount(), 0u);
        device.getNotificationStream()->dispatchEvents(active);
    });
    device.run([] {}); // the deferred deletion has run
    EXPECT_EQ(handler.calls(), (std::vector<std::string>{"started", "twoPhase VMD3/vmd3_video_1 1 1555493444352"}));
}

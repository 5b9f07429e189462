// The device's event stream against camsim's event engine: detectors of the
// tampering and VMD 3 kinds on a connected device, one metadata session for
// all of them, events made in camsim reaching the right host handler, the
// session reopened when the detector set grows or the camera drops it.
#include "Device.h"
#include "EventStream.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"
#include "unit/events/EventsTestSupport.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <sstream>
#include <thread>

using EventsTest::ApplicationDetector;
using EventsTest::EmbeddedDetector;
using EventsTest::RecordingAnalyticsHandler;
using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

Json::Value parseJson(const std::string& text)
{
    Json::Value root;
    std::istringstream in(text);
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr))
        ADD_FAILURE() << "not JSON:\n" << text;
    return root;
}

// camsim's view of its event sessions, or a trigger.
Json::Value camsimEvents(const CamsimProcess& camsim, const std::string& body = {})
{
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), body.empty() ? "GET" : "POST",
                                                      "/camsim/events", body);
    EXPECT_EQ(answer.status, 200) << body << ": " << answer.body;
    return parseJson(answer.body);
}

bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 3000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

Orix::GDRV::DeviceDescription genericDescription()
{
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    return description;
}

// A camera with VMD 3 installed, a connected device, and its event stream
// with short delays.
class EventStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        CamsimOptions options;
        options.extraArguments = {"--apps", "vmd,VMD3"};
        camsim_ = std::make_unique<CamsimProcess>(options);
        device_ = std::make_unique<Vapixcam::Device>(&deviceHandler_, genericDescription(), "generic", "", nullptr, log_);
        device_->Connect(camsim_->url().c_str());
        ASSERT_TRUE(deviceHandler_.waitFor(Orix::GDRV::ConnectionState::Connected)) << log_->all();
        Vapixcam::runOnIoThread(*device_, [this] {
            device_->getNotificationStream()->setDelays(std::chrono::milliseconds(1500), std::chrono::milliseconds(300));
        });
    }
    void TearDown() override
    {
        for (auto* detector : detectors_)
            detector->Destroy();
        if (device_)
            device_->Disconnect();
        device_.reset();
    }

    template <class Detector>
    Detector* add(RecordingAnalyticsHandler& handler, std::uint32_t channel, bool vmd3)
    {
        auto* detector = new Detector(&handler, channel, *device_, vmd3);
        detectors_.push_back(detector);
        return detector;
    }
    unsigned opened() { return camsimEvents(*camsim_)["sessions"]["opened"].asUInt(); }
    unsigned open() { return camsimEvents(*camsim_)["sessions"]["open"].asUInt(); }

    std::shared_ptr<TestSupport::CapturingLogger> log_ = std::make_shared<TestSupport::CapturingLogger>();
    TestSupport::RecordingDeviceHandler deviceHandler_;
    std::unique_ptr<CamsimProcess> camsim_;
    std::unique_ptr<Vapixcam::Device> device_;
    std::vector<Vapixcam::VideoAnalyticsBase*> detectors_;
};

} // namespace

TEST_F(EventStreamTest, OneSessionServesABurstAndReopensWithALaterDetector)
{
    RecordingAnalyticsHandler tampering, vmd3, tamperingOther, late;
    add<EmbeddedDetector>(tampering, 0, false)->Start();
    auto* motion = add<ApplicationDetector>(vmd3, 0, true);
    motion->setApplicationStartWait(std::chrono::milliseconds(0));
    motion->Start();
    add<EmbeddedDetector>(tamperingOther, 1, false)->Start();
    for (auto* handler : {&tampering, &vmd3, &tamperingOther}) {
        ASSERT_TRUE(handler->waitFor(1)) << log_->all();
        ASSERT_EQ(handler->calls().front(), "started") << log_->all();
    }
    ASSERT_TRUE(eventually([&] { return open() == 1; })) << log_->all();
    const Json::Value state = camsimEvents(*camsim_);
    EXPECT_EQ(state["sessions"]["opened"].asUInt(), 1u);
    EXPECT_EQ(state["lastTopicFilter"].asString(),
              "onvif:VideoSource/axis:Tampering//.|onvif:RuleEngine/axis:VMD3/vmd3_video_1//.|"
              "onvif:VideoSource/axis:Tampering//.");

    // Tampering has no channel in its name: both tampering detectors hear it.
    EXPECT_EQ(camsimEvents(*camsim_, R"({"event":"tampering","channel":1})")["sessions"].asUInt(), 1u);
    ASSERT_TRUE(tampering.waitFor(2)) << log_->all();
    ASSERT_TRUE(tamperingOther.waitFor(2)) << log_->all();
    EXPECT_EQ(tampering.calls()[1].rfind("event Tampering ", 0), 0u);
    EXPECT_EQ(tamperingOther.calls()[1].rfind("event Tampering ", 0), 0u);

    camsimEvents(*camsim_, R"({"event":"vmd3","camera":1,"active":true})");
    ASSERT_TRUE(eventually([&] { return vmd3.calls().back().rfind("twoPhase VMD3/vmd3_video_1 1 ", 0) == 0; }))
        << log_->all();

    add<EmbeddedDetector>(late, 0, false)->Start();
    ASSERT_TRUE(eventually([&] { return opened() == 2 && open() == 1; })) << log_->all();
    EXPECT_EQ(camsimEvents(*camsim_)["lastTopicFilter"].asString(),
              "onvif:VideoSource/axis:Tampering//.|onvif:RuleEngine/axis:VMD3/vmd3_video_1//.|"
              "onvif:VideoSource/axis:Tampering//.|onvif:VideoSource/axis:Tampering//.");

    // The open VMD 3 alarm closes when its detector stops, before it is stopped.
    const std::size_t before = vmd3.calls().size();
    motion->Stop();
    ASSERT_TRUE(vmd3.waitFor(before + 2)) << log_->all();
    const auto calls = vmd3.calls();
    EXPECT_EQ(calls[before].rfind("twoPhase VMD3/vmd3_video_1 0 ", 0), 0u) << calls[before];
    EXPECT_EQ(calls[before + 1], "stopped");
}

TEST_F(EventStreamTest, AnUndeclaredEventFailsTheStartWithCode1)
{
    camsimEvents(*camsim_, R"({"undeclare":"tampering"})");
    RecordingAnalyticsHandler handler;
    add<EmbeddedDetector>(handler, 0, false)->Start();
    ASSERT_TRUE(handler.waitFor(1)) << log_->all();
    EXPECT_EQ(handler.calls(), std::vector<std::string>{"failed 1"});
    EXPECT_TRUE(log_->contains("Cannot parse VAPIX event description for event Tampering")) << log_->all();
}

TEST_F(EventStreamTest, ADroppedStreamIsReportedOnceAndReopened)
{
    RecordingAnalyticsHandler handler;
    add<EmbeddedDetector>(handler, 0, false)->Start();
    ASSERT_TRUE(handler.waitFor(1)) << log_->all();
    ASSERT_TRUE(eventually([&] { return open() == 1; })) << log_->all();
    camsimEvents(*camsim_, R"({"drop":true})");
    ASSERT_TRUE(eventually([&] { return opened() == 2 && open() == 1; })) << log_->all();
    camsimEvents(*camsim_, R"({"event":"tampering","channel":1})");
    ASSERT_TRUE(handler.waitFor(3)) << log_->all();
    const auto calls = handler.calls();
    EXPECT_EQ(calls[0], "started");
    EXPECT_EQ(calls[1].rfind("streamError ", 0), 0u) << calls[1];
    EXPECT_EQ(calls[2].rfind("event Tampering ", 0), 0u) << calls[2];
    EXPECT_EQ(calls.size(), 3u);
}

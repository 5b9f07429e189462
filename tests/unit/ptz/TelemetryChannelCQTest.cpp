#include "PtzQueueSettings.h"
#include "PtzTestSupport.h"
#include "QueryManager.h"
#include "TelemetryChannelCQ.h"

#include <future>
#include <gtest/gtest.h>
#include <orix/ErrorCodes.h>
#include <thread>

using namespace PtzTest;
using TestSupport::HttpTestServer;
using TestSupport::RecordedRequest;
using Vapixcam::TelemetryChannelCQ;

namespace {

const std::string kRequestControl = "/axis-cgi/com/ptzqueue.cgi?control=request&camera=1";
const std::string kDropControl = "/axis-cgi/com/ptzqueue.cgi?control=drop&camera=1";
const std::string kCookie = "ptz_ctl_id=1501579371";

// Control granted by redirect, with the queue page's anchors.
TestSupport::ScriptedReply granted(const std::string& seconds)
{
    return answer(302, "<a name=\"" + seconds + "\"></a><a name=\"20\"></a>",
                  {"Location: /axis-cgi/com/ptz.cgi?camera=1&" + kCookie, "Content-Type: text/html"});
}

std::vector<RecordedRequest> withTarget(const HttpTestServer& server, const std::string& target)
{
    std::vector<RecordedRequest> out;
    for (const auto& r : server.requests()) {
        if (r.target == target)
            out.push_back(r);
    }
    return out;
}

} // namespace

TEST(TelemetryChannelCQ, ControlIsAskedOnceAndEveryCommandCarriesTheCookie)
{
    HttpTestServer server([](const RecordedRequest& r) {
        return r.target == kRequestControl ? granted("3600") : answer(204, "");
    });
    FakeDevice device(server.port());
    auto* channel = new TelemetryChannelCQ(0, device);
    std::vector<std::uint32_t> results[2];
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i)
                results[t].push_back(t == 0 ? channel->MovePanTilt(i, 0) : channel->StepZoom(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& r : results)
        EXPECT_EQ(r, std::vector<std::uint32_t>(5, Orix::Ok));
    EXPECT_EQ(channel->queryManager()->controlIdentifier(), "1501579371");
    channel->Destroy();

    ASSERT_TRUE(server.waitForRequests(12, std::chrono::seconds(20)));
    const auto seen = server.requests();
    EXPECT_EQ(seen.front().target, kRequestControl);
    EXPECT_EQ(withTarget(server, kRequestControl).size(), 1u);
    for (const auto& r : seen) {
        if (r.target.find("/axis-cgi/com/ptz.cgi") == 0 || r.target == kDropControl) {
            EXPECT_EQ(r.header("Cookie"), kCookie) << r.target;
        }
    }
    EXPECT_EQ(seen.back().target, kDropControl); // control is given back when the channel goes
}

TEST(TelemetryChannelCQ, ControlIsExtendedBeforeThePeriodEnds)
{
    HttpTestServer server([](const RecordedRequest& r) {
        return r.target == kRequestControl ? granted("2") : answer(204, "");
    });
    FakeDevice device(server.port());
    auto* channel = new TelemetryChannelCQ(0, device);
    EXPECT_EQ(channel->MoveZoom(10), Orix::Ok);
    ASSERT_TRUE(server.waitForRequests(3, std::chrono::seconds(20)));
    const auto requests = withTarget(server, kRequestControl);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Cookie"), "");
    EXPECT_EQ(requests[1].header("Cookie"), kCookie);
    channel->Destroy();
}

TEST(TelemetryChannelCQ, QueuedCommandsWaitForControl)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> asked;
    std::atomic<bool> once{false};
    HttpTestServer server([&, released](const RecordedRequest& r) {
        if (r.target != kRequestControl)
            return answer(204, "");
        if (!once.exchange(true))
            asked.set_value();
        released.wait(); // the camera takes its time to grant control
        return granted("3600");
    });
    struct Release {
        std::promise<void>& promise;
        void now() { promise.set_value(); }
        ~Release()
        {
            try {
                promise.set_value();
            } catch (const std::future_error&) {
            }
        }
    } releaser{release};
    FakeDevice device(server.port());
    auto* channel = new TelemetryChannelCQ(0, device);
    auto zoom = std::async(std::launch::async, [&] { return channel->MoveZoom(5); });
    auto focus = std::async(std::launch::async, [&] { return channel->MoveFocus(-5); });
    ASSERT_EQ(asked.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let both calls queue
    EXPECT_EQ(server.requestCount(), 0u); // nothing sent while control is pending
    releaser.now();
    EXPECT_EQ(zoom.get(), Orix::Ok);
    EXPECT_EQ(focus.get(), Orix::Ok);
    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 3u);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].header("Cookie"), kCookie) << seen[i].target;
    channel->Destroy();
}

TEST(TelemetryChannelCQ, CommandFailsWhenControlNeverComes)
{
    const struct {
        const char* name;
        TestSupport::ScriptedReply control;
        std::uint32_t expected;
    } cases[] = {
        {"no answer", TestSupport::ScriptedReply::silent(), Orix::Timeout},
        {"refused", answer(403, "Forbidden"), Orix::Forbidden},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const RecordedRequest& r) {
            return r.target == kRequestControl ? c.control : answer(204, "");
        });
        FakeDevice device(server.port());
        auto* channel = new TelemetryChannelCQ(0, device, std::chrono::milliseconds(300));
        EXPECT_EQ(channel->MoveZoom(10), c.expected);
        channel->Destroy();
        EXPECT_EQ(targets(server), std::vector<std::string>{kRequestControl}); // no command, no drop
    }
}

TEST(TelemetryChannelCQ, ControlPeriodAndPlaceFromTheQueuePage)
{
    const struct {
        const char* body;
        std::optional<std::int32_t> seconds;
        const char* rejected;
        std::optional<std::int32_t> place;
    } cases[] = {
        {"<a name=\"30\"></a><a name=\"1\"></a>", 30, "", std::nullopt},
        {"<html><body><a name=\"1\"></a><a name=\"410\"></a><a name=\"5\"></a></body></html>", 410, "", 1},
        {"<a name=\"3\"></a><a name=\"-1\"></a><a name=\"20\"></a>\n", -1, "", 3},
        {"<a name=\"+15\"></a><a name=\"0\"></a>", 15, "", std::nullopt},
        {"<a name=\"7\"></a>\n<a name=\"8\"></a>", std::nullopt, "", std::nullopt}, // not adjacent
        {"<a name=\"x7\"></a><a name=\"1\"></a>", std::nullopt, "x7", std::nullopt},
        {"<a name=\"99999999999\"></a><a name=\"1\"></a>", std::nullopt, "99999999999", std::nullopt},
        {"OK", std::nullopt, "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        std::string rejected;
        EXPECT_EQ(Vapixcam::controlPeriodSeconds(c.body, &rejected), c.seconds);
        EXPECT_EQ(rejected, c.rejected);
        EXPECT_EQ(Vapixcam::controlQueuePlace(c.body), c.place);
    }
}

TEST(TelemetryChannelCQ, ClientBehindOthersWaitsForItsTurn)
{
    std::atomic<int> asked{0};
    HttpTestServer server([&](const RecordedRequest& r) {
        if (r.target != kRequestControl)
            return answer(204, "");
        const std::string page = ++asked == 1 ? "<a name=\"2\"></a><a name=\"0\"></a><a name=\"20\"></a>"
                                              : "<a name=\"1\"></a><a name=\"3600\"></a><a name=\"20\"></a>";
        return answer(302, page, {"Location: /axis-cgi/com/ptzqueue.cgi?control=query&camera=1&" + kCookie});
    });
    FakeDevice device(server.port());
    auto* channel = new TelemetryChannelCQ(0, device);
    EXPECT_EQ(channel->MoveZoom(10), Orix::Ok);
    channel->Destroy();
    ASSERT_TRUE(server.waitForRequests(4, std::chrono::seconds(20)));
    EXPECT_EQ(targets(server), (std::vector<std::string>{kRequestControl, kRequestControl,
                                                         "/axis-cgi/com/ptz.cgi?camera=1&continuouszoommove=10",
                                                         kDropControl}));
}

TEST(TelemetryChannelCQ, QueueSettingsFromTheDefinitionsAndBack)
{
    const std::string xml = R"(<?xml version="1.0" encoding="iso-8859-1" ?>
<parameterDefinitions
xmlns="http://www.axis.com/ParameterDefinitionsSchema"
version="1.0">
  <model>AXIS M5525-E</model>
  <firmwareVersion>9.80.2.2</firmwareVersion>
  <group name="root">
    <group name="PTZ">
      <group name="Various">
        <group name="V1">
          <parameter name="CtlQueueing" value="false" securityLevel="7744" niceName="Control queueing">
            <type>
              <bool true="true" false="false" />
            </type>
          </parameter>
          <parameter name="CtlQueueLimit" value="20" securityLevel="7744" niceName="Queue limit">
            <type>
              <int min="1" max="100" />
            </type>
          </parameter>
          <parameter name="CtlQueuePollTime" value="20" securityLevel="7744" niceName="Poll time">
            <type>
              <int min="5" max="3600" />
            </type>
          </parameter>
          <parameter name="HomePresetSet" value="true" securityLevel="7744" niceName="Home preset set">
            <type>
              <bool true="true" false="false" />
            </type>
          </parameter>
        </group>
      </group>
    </group>
  </group>
</parameterDefinitions>
)";
    TestSupport::CapturingLogger log;
    const Orix::LoggerOwner logger(std::shared_ptr<Orix::ILogger>(&log, [](Orix::ILogger*) {}));
    Vapixcam::PtzQueueSettings settings;
    ASSERT_EQ(Vapixcam::readQueueSettings(xml, 0, settings, logger), Orix::Ok);
    ASSERT_EQ(settings.properties.size(), 3u);
    const auto& limit = std::get<Orix::GDRV::PropertyIntRange>(settings.properties.at("queueLimit"));
    EXPECT_EQ(std::make_tuple(limit.min, limit.max, limit.value), std::make_tuple(1, 100, 20));
    EXPECT_FALSE(std::get<Orix::GDRV::PropertyBool>(settings.properties.at("enableQueue")).value);
    EXPECT_EQ(Vapixcam::queueDefinitionsUrl(0),
              "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=PTZ.Various.V1");

    const struct {
        const char* name;
        Orix::Utility::ParamMap changes;
        std::optional<std::string> url;
        std::uint32_t error;
    } cases[] = {
        {"two values", {{"enableQueue", true}, {"queuePollTime", 60}},
         "/axis-cgi/param.cgi?action=update&PTZ.Various.V1.CtlQueueing=true&PTZ.Various.V1.CtlQueuePollTime=60",
         Orix::Ok},
        {"below the camera's minimum", {{"queuePollTime", 4}}, std::nullopt, Orix::InvalidArgument},
        {"not offered", {{"HomePresetSet", true}}, std::nullopt, Orix::InvalidArgument},
        {"wrong type", {{"queueLimit", std::string("ten")}}, std::nullopt, Orix::WrongValueType},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint32_t error = 99;
        EXPECT_EQ(Vapixcam::queueUpdateUrl(c.changes, 0, settings, error), c.url);
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(Vapixcam::readQueueSettings(xml, 1, settings, logger), Orix::ProtocolError); // no V2
    EXPECT_TRUE(log.contains("needed tree root not found"));
}

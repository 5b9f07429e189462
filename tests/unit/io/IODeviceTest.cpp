// The IO channels against a scripted camera: the configurable channel's
// session (directions, check, two monitors) and what the host hears of it,
// a reopened monitor that repeats nothing, relay commands with their lookups
// and ranges; the virtual channel's requests and result codes.
#include "IODeviceConfigurable.h"
#include "IODeviceVirtual.h"
#include "support/FakeDeviceServices.h"
#include "support/HttpTestServer.h"

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <orix/ErrorCodes.h>

using TestSupport::FakeDeviceServices;
using TestSupport::HttpTestServer;
using TestSupport::RecordedRequest;
using TestSupport::ScriptedReply;

namespace {

const char* const kDirections = "/axis-cgi/param.cgi?action=list&group=IOPort";

class RecordingIoHandler final : public Orix::GDRV::IIODeviceHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void RayStatusChanged(const Orix::IContract*, std::uint32_t ray, bool active) override
    {
        add("ray " + std::to_string(ray) + (active ? " on" : " off"));
    }
    void RelayStatusChanged(const Orix::IContract*, std::uint32_t relay, bool active) override
    {
        add("relay " + std::to_string(relay) + (active ? " on" : " off"));
    }
    void Failed(const Orix::IContract*, std::uint32_t result) override { add("failed " + std::to_string(result)); }

    std::vector<std::string> seen()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    bool waitFor(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return seen_.size() >= n; });
    }

private:
    void add(std::string what)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(std::move(what));
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> seen_;
};

class ActionResult final : public Orix::IAsyncActionHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(const Orix::IContract*, std::uint32_t result) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            result_ = result;
        }
        done_.notify_all();
    }
    std::optional<std::uint32_t> wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait_for(lock, std::chrono::seconds(20), [&] { return result_.has_value(); });
        return result_;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::optional<std::uint32_t> result_;
};

ScriptedReply text(unsigned status, const std::string& body)
{
    return ScriptedReply::raw(TestSupport::httpAnswer(status, status == 200 ? "OK" : "Error",
                                                      {"Content-Type: text/plain"}, body));
}

// A monitor answer as the camera writes it: HTTP/1.0, no length, parts.
ScriptedReply monitor(const std::vector<std::string>& tokens, bool closeAfter)
{
    std::string bytes = "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=ioboundary\r\n\r\n";
    for (const auto& token : tokens)
        bytes += "--ioboundary\r\nContent-Type: text/plain\r\n\r\n" + token + "\r\n";
    return ScriptedReply::raw(bytes, closeAfter);
}

Vapixcam::Topology topology(int inputs, int outputs)
{
    Vapixcam::Topology t;
    t.inputs = inputs;
    t.outputs = outputs;
    t.virtualInputs = true;
    return t;
}

std::vector<std::string> targets(const HttpTestServer& server)
{
    std::vector<std::string> out;
    for (const auto& r : server.requests())
        out.push_back(r.target);
    return out;
}

TEST(IODeviceConfigurable, ReportsFirstStatesAndChangesOnceAndAReopenedMonitorRepeatsNothing)
{
    std::atomic<int> checks{0};
    HttpTestServer server([&](const RecordedRequest& r) {
        if (r.target == kDirections)
            return text(200, "root.IOPort.I0.Direction=input\nroot.IOPort.I1.Direction=output\n");
        if (r.target == "/axis-cgi/io/port.cgi?check=1,2")
            return text(200, ++checks == 1 ? "port1=0\nport2=1\n" : "port1=1\nport2=1\n");
        if (r.target == "/axis-cgi/io/port.cgi?monitor=1") // ends after its parts: the session ends
            return monitor({"1I:H", "1I:/"}, true);
        if (r.target == "/axis-cgi/io/port.cgi?monitor=2")
            return monitor({"2O:H"}, false);
        return text(404, "");
    });
    FakeDeviceServices device(server.port());
    device.setTopology(topology(1, 1));
    RecordingIoHandler handler;
    auto* io = new Vapixcam::IODeviceConfigurable(&handler, 0, device);
    io->setReconnectDelay([](std::uint64_t) { return std::chrono::milliseconds(1); });
    io->Start(&handler);
    // Directions once, then check and both monitors per session; the third
    // session's check comes after everything of the second was read.
    ASSERT_TRUE(server.waitForRequests(8, std::chrono::seconds(20))) << device.log().all();
    io->Destroy();

    const auto sent = targets(server);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), kDirections), 1);
    // The check says inactive, the monitor's H active, its '/' nothing new;
    // the second session's check and monitor agree with what was told.
    EXPECT_EQ(handler.seen(), (std::vector<std::string>{"ray 0 off", "relay 0 on", "ray 0 on", "failed 260"}));
    EXPECT_TRUE(device.log().contains("Starting"));
}

// The monitor's last part stays open (its delimiter would come with the
// next change): its complete lines are read without waiting for it.
TEST(IODeviceConfigurable, AllOutputsOpenOnlyTheOutputMonitorAndUnknownPortsAreSkipped)
{
    HttpTestServer server([&](const RecordedRequest& r) {
        if (r.target == kDirections)
            return text(200, "root.IOPort.I0.Direction=output\n");
        if (r.target == "/axis-cgi/io/port.cgi?check=1")
            return text(200, "port1=0\nport3=1\n");
        if (r.target == "/axis-cgi/io/port.cgi?monitor=1")
            return monitor({"3O:L", "1O:H"}, false);
        return text(404, "");
    });
    FakeDeviceServices device(server.port());
    device.setTopology(topology(0, 1));
    RecordingIoHandler handler;
    auto* io = new Vapixcam::IODeviceConfigurable(&handler, 0, device);
    io->Start(&handler);
    ASSERT_TRUE(handler.waitFor(2));
    io->Stop();
    io->Stop();
    io->Destroy();

    EXPECT_EQ(targets(server), (std::vector<std::string>{kDirections, "/axis-cgi/io/port.cgi?check=1",
                                                         "/axis-cgi/io/port.cgi?monitor=1"}));
    EXPECT_EQ(handler.seen(), (std::vector<std::string>{"relay 0 off", "relay 0 on"}));
    EXPECT_TRUE(device.log().contains("Here is nothing to check: input ports list is empty"));
    EXPECT_TRUE(device.log().contains("Skip unsupported IO port value 3 with status 1"));
    EXPECT_EQ(device.log().count("Skip stopping, as not started"), 1u);
}

TEST(IODeviceConfigurable, RelayCommandsLookUpThePortAndCheckTheRange)
{
    const struct {
        const char* name;
        std::uint32_t relay;
        bool active;
        int inputs; // of the topology; one output
        unsigned status;
        std::uint32_t result;
        const char* sent; // nullptr: nothing sent
    } cases[] = {
        {"relay 0 on drives port 2 active", 0, true, 1, 200, Orix::Ok, "/axis-cgi/io/port.cgi?action=2:/"},
        {"relay 0 off", 0, false, 1, 204, Orix::Ok, "/axis-cgi/io/port.cgi?action=2:\\"},
        {"camera error", 0, true, 1, 500, Orix::ServerError, "/axis-cgi/io/port.cgi?action=2:/"},
        {"no port for relay 1", 1, true, 1, 200, Orix::InvalidArgument, nullptr},
        {"port 2 beyond the topology's one port", 0, true, 0, 200, Orix::InvalidArgument, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const RecordedRequest& r) {
            if (r.target == kDirections)
                return text(200, "root.IOPort.I0.Direction=input\nroot.IOPort.I1.Direction=output\n");
            if (r.target.rfind("/axis-cgi/io/port.cgi?action=", 0) == 0)
                return text(c.status, "");
            if (r.target.rfind("/axis-cgi/io/port.cgi?check=", 0) == 0)
                return text(200, "");
            return ScriptedReply::silent(); // the monitors stay open and quiet
        });
        FakeDeviceServices device(server.port());
        device.setTopology(topology(c.inputs, 1));
        RecordingIoHandler handler;
        auto* io = new Vapixcam::IODeviceConfigurable(&handler, 0, device);
        ActionResult before;
        io->SetRelayStatus(&before, c.relay, c.active);
        EXPECT_EQ(before.wait(), Orix::NotStarted);
        io->Start(&handler);
        ActionResult result;
        io->SetRelayStatus(&result, c.relay, c.active);
        EXPECT_EQ(result.wait(), c.result);
        io->Destroy();
        const auto sent = targets(server);
        const auto actions = std::count_if(sent.begin(), sent.end(), [](const std::string& t) {
            return t.rfind("/axis-cgi/io/port.cgi?action=", 0) == 0;
        });
        EXPECT_EQ(actions, c.sent ? 1 : 0);
        if (c.sent) {
            EXPECT_NE(std::find(sent.begin(), sent.end(), c.sent), sent.end());
        }
    }
}

TEST(IODeviceVirtual, RequestsAndResultCodes)
{
    const std::string refusal =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VirtualInputResponse "
        "xmlns=\"http://www.axis.com/vapix/http_cgi/virtualinput1\" SchemaVersion=\"1.1\">\n  <Error>\n"
        "    <GeneralError>\n      <ErrorCode>20</ErrorCode>\n      <ErrorDescription>Invalid port "
        "number</ErrorDescription>\n    </GeneralError>\n  </Error>\n</VirtualInputResponse>\n";
    const std::string success =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VirtualInputResponse "
        "xmlns=\"http://www.axis.com/vapix/http_cgi/virtualinput1\" SchemaVersion=\"1.1\">\n  <Success>\n"
        "    <ActivateSuccess>\n      <StateChanged>true</StateChanged>\n    </ActivateSuccess>\n"
        "  </Success>\n</VirtualInputResponse>\n";
    const struct {
        const char* name;
        std::uint32_t relay;
        bool active;
        ScriptedReply reply;
        std::uint32_t result;
        const char* target;
    } cases[] = {
        {"relay 0 on activates port 1", 0, true, text(200, success), Orix::Ok,
         "/axis-cgi/virtualinput/activate.cgi?schemaversion=1&port=1"},
        {"relay 9 off deactivates port 10", 9, false, text(200, success), Orix::Ok,
         "/axis-cgi/virtualinput/deactivate.cgi?schemaversion=1&port=10"},
        {"error element with 200", 40, true, text(200, refusal), Vapixcam::kVirtualInputRefused,
         "/axis-cgi/virtualinput/activate.cgi?schemaversion=1&port=41"},
        {"firmware without the CGI", 0, true, text(404, "<HTML>404</HTML>"), Orix::NotFound,
         "/axis-cgi/virtualinput/activate.cgi?schemaversion=1&port=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const RecordedRequest&) { return c.reply; });
        FakeDeviceServices device(server.port());
        RecordingIoHandler handler;
        auto* io = new Vapixcam::IODeviceVirtual(&handler, 1, device);
        io->Start(&handler);
        ActionResult result;
        io->SetRelayStatus(&result, c.relay, c.active);
        EXPECT_EQ(result.wait(), c.result);
        io->Destroy();
        EXPECT_EQ(targets(server), std::vector<std::string>{c.target});
    }
}

TEST(IODeviceVirtual, StopCancelsACommandInFlight)
{
    HttpTestServer server([&](const RecordedRequest&) { return ScriptedReply::silent(); });
    FakeDeviceServices device(server.port());
    device.setTopology(Vapixcam::Topology{});
    RecordingIoHandler handler;
    auto* io = new Vapixcam::IODeviceVirtual(&handler, 1, device);
    io->Start(&handler);
    ActionResult result;
    io->SetRelayStatus(&result, 0, true);
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(20)));
    io->Stop();
    EXPECT_EQ(result.wait(), Orix::Cancelled);
    io->Destroy();
    EXPECT_TRUE(device.log().contains("Virtual input is not supported"));
    EXPECT_TRUE(device.log().contains("Cancel vio: 1 set relay 1 to /axis-cgi/virtualinput/activate.cgi?schemaversion=1&port=1"));
}

} // namespace

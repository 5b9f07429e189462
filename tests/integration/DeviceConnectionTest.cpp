// The device against camsim: what a connection attempt learns and decides.
#include "Device.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"
#include "support/ProcessRunner.h"

#include <gtest/gtest.h>
#include <netkit/http/HttpClient.h>
#include <orix/ErrorCodes.h>

using Orix::GDRV::ConnectionState;
using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

Orix::GDRV::DeviceDescription genericDescription()
{
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    return description;
}

struct Connection {
    std::shared_ptr<TestSupport::CapturingLogger> log =
        std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler handler;
    std::unique_ptr<Vapixcam::Device> device;

    explicit Connection(const std::string& url)
    {
        device = std::make_unique<Vapixcam::Device>(&handler, genericDescription(), "generic", "",
                                                    nullptr, log);
        device->setRetryDelayFunction([](unsigned) { return std::chrono::milliseconds(60000); });
        device->Connect(url.c_str());
    }
    ~Connection()
    {
        device->Disconnect();
        device.reset();
    }
    // The first outcome of the attempt: Connected or Failed.
    ConnectionState outcome()
    {
        for (int i = 0; i < 400; ++i) {
            for (const auto& change : handler.changes()) {
                if (change.state == ConnectionState::Connected || change.state == ConnectionState::Failed)
                    return change.state;
            }
            handler.waitFor(ConnectionState::Connected, 1, std::chrono::milliseconds(100));
        }
        return ConnectionState::Connecting;
    }
};

class DeviceConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        Orix::http::clearAuthenticationCache();
    }
};

TEST_F(DeviceConnection, ReadsTopologyOfEachModel)
{
    const struct {
        const char* model;
        const char* product;
        const char* modelKey;
        int channels;
        bool optics;
    } cases[] = {
        {"M1065-LW", "M1065-LW", "M1065-LW#9", 1, false},
        {"P7214", "P7214", "P7214#5", 4, false},
        {"P3245-LVE", "P3245-LVE", "P3245-LVE#10", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        CamsimOptions options;
        options.model = c.model;
        CamsimProcess camsim(options);
        Connection connection(camsim.url());
        ASSERT_EQ(connection.outcome(), ConnectionState::Connected) << connection.log->all();
        const Vapixcam::Topology t = connection.device->topology();
        EXPECT_EQ(t.product, c.product);
        EXPECT_EQ(t.modelKey, c.modelKey);
        EXPECT_EQ(t.videoChannels, c.channels);
        EXPECT_EQ(t.opticsSetup, c.optics);
        EXPECT_EQ(t.rtspPort, camsim.rtspPort());
        EXPECT_FALSE(t.rtspOverHttp);
        EXPECT_FALSE(t.resolutions.empty());
        EXPECT_TRUE(connection.log->contains(" RTSP port is reachable"));

        bool overHttp = true;
        const auto rtsp = connection.device->getRtspConnectionInfo(overHttp);
        ASSERT_TRUE(rtsp);
        EXPECT_EQ(rtsp->endpoint.port, camsim.rtspPort());
        EXPECT_EQ(rtsp->endpoint.address, "127.0.0.1");
    }
}

TEST_F(DeviceConnection, OnlyAMissingTopologyCgiConnectsWithDefaults)
{
    const struct {
        const char* fault;
        ConnectionState state;
        std::uint32_t result; // of a failed attempt
        const char* logged;
    } cases[] = {
        // Older firmware without the CGI: defaults.
        {"/axis-cgi/param.cgi=status:404", ConnectionState::Connected, 0,
         " Can't receive device properties: 404."},
        {"/axis-cgi/param.cgi=status:403", ConnectionState::Failed, Orix::Unauthorized,
         " Can't receive device properties: HTTP 403"},
        {"/axis-cgi/param.cgi=status:500", ConnectionState::Failed, Orix::ProtocolError,
         " Can't receive device properties: HTTP 500"},
        // Every other unusable answer fails the same way; the topology
        // parser's tests name each one.
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        CamsimOptions options;
        options.faults = {c.fault};
        CamsimProcess camsim(options);
        Connection connection(camsim.url());
        ASSERT_EQ(connection.outcome(), c.state) << connection.log->all();
        EXPECT_TRUE(connection.log->contains(c.logged)) << connection.log->all();
        const Vapixcam::Topology t = connection.device->topology();
        EXPECT_EQ(t.product, "");
        if (c.state == ConnectionState::Failed) {
            EXPECT_EQ(connection.handler.lastResult(), c.result);
            // vapixcam's one error line names the reason, not just the code.
            const auto r = TestSupport::runProcess(
                {CamsimProcess::toolsDirectory() + "/vapixcam", "info", camsim.url(), "--timeout", "20"},
                std::chrono::seconds(120));
            EXPECT_NE(r.exitCode, 0) << r.summary();
            const std::string err = "\n" + r.err;
            const auto own = err.find("\nvapixcam: cannot connect to ");
            ASSERT_NE(own, std::string::npos) << r.err;
            const std::string line = err.substr(own + 1, err.find('\n', own + 1) - own - 1);
            EXPECT_NE(line.find(c.logged + 1), std::string::npos) << line;
        } else {
            EXPECT_EQ(t.videoCodecs, std::vector<std::string>{"H264"});
            EXPECT_EQ(t.rtspPort, Orix::http::DEFAULT_RTSP_PORT);
            EXPECT_TRUE(connection.log->contains(", default values will be used"));
        }
    }
}

TEST_F(DeviceConnection, ClosedRtspPortTunnelsOverHttp)
{
    CamsimOptions options;
    options.rtsp = false;
    CamsimProcess camsim(options);
    Connection connection(camsim.url());
    ASSERT_EQ(connection.outcome(), ConnectionState::Connected) << connection.log->all();
    EXPECT_TRUE(connection.device->topology().rtspOverHttp);
    EXPECT_TRUE(connection.log->contains(", rtspOverHttp will be used"));
    bool overHttp = false;
    const auto info = connection.device->getRtspConnectionInfo(overHttp);
    ASSERT_TRUE(info);
    EXPECT_TRUE(overHttp);
    EXPECT_EQ(info->endpoint.port, camsim.httpPort());
}

TEST_F(DeviceConnection, RtspPortEqualToHttpPortSkipsTheProbe)
{
    CamsimProcess camsim;
    const auto info = Orix::asio::parseConnectionInfo(camsim.url());
    std::string body;
    ASSERT_FALSE(Orix::http::syncHttpGet(
        info, "/axis-cgi/param.cgi?action=update&Network.RTSP.Port=" + std::to_string(camsim.httpPort()),
        nullptr, body));
    Connection connection(camsim.url());
    ASSERT_EQ(connection.outcome(), ConnectionState::Connected) << connection.log->all();
    EXPECT_TRUE(connection.log->contains(" RTSP port is same as device port"));
    EXPECT_FALSE(connection.log->contains(" Checking RTSP....."));
    EXPECT_FALSE(connection.device->topology().rtspOverHttp);
}

TEST_F(DeviceConnection, FailedAttemptsNameTheirCause)
{
    CamsimOptions options;
    options.https = true;
    CamsimProcess camsim(options);
    ASSERT_TRUE(camsim.httpsPort());
    const struct {
        const char* name;
        std::string url;
        ConnectionState state;
        std::uint32_t result; // of a failed attempt
    } cases[] = {
        {"wrong password", camsim.url("root", "not-the-password"), ConnectionState::Failed, Orix::Unauthorized},
        {"unparsable connection string", "camera-without-scheme", ConnectionState::Failed, Orix::BadAddress},
        {"self-signed certificate", camsim.url("root", "pass", "https"), ConnectionState::Failed, Orix::TlsFailure},
        {"self-signed certificate accepted", camsim.url("root", "pass", "https") + "/?tls-accept-self-signed=1",
         ConnectionState::Connected, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connection connection(c.url);
        ASSERT_EQ(connection.outcome(), c.state) << connection.log->all();
        if (c.state == ConnectionState::Failed)
            EXPECT_EQ(connection.handler.lastResult(), c.result);
        else
            EXPECT_EQ(connection.device->topology().product, "M1065-LW");
        EXPECT_FALSE(connection.log->contains("not-the-password"));
    }
}

} // namespace

// The live video source against camsim: every transport, reconnects, the
// signal-lost report and the second stream's profile.
#include "Device.h"
#include "VideoSource.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"

#include <gtest/gtest.h>
#include <netkit/http/HttpClient.h>
#include <orix/ErrorCodes.h>
#include <thread>

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

class NullActionHandler final : public Orix::IAsyncActionHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(const Orix::IContract*, std::uint32_t r) override { result = r; }
    std::uint32_t result = 0xFFFFFFFF;
};

// A connected device with one video source on it.
struct Stream {
    std::shared_ptr<TestSupport::CapturingLogger> log =
        std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler;
    TestSupport::RecordingVideoHandler video;
    std::unique_ptr<Vapixcam::Device> device;
    Vapixcam::VideoSource* source = nullptr;

    Stream(const std::string& url, std::uint32_t stream, const std::string& transport,
           int signalLostSeconds = 0)
    {
        device = std::make_unique<Vapixcam::Device>(&deviceHandler, genericDescription(), "generic",
                                                    "", nullptr, log);
        device->Connect(url.c_str());
        if (!deviceHandler.waitFor(ConnectionState::Connected))
            throw std::runtime_error("device did not connect:\n" + log->all());
        source = static_cast<Vapixcam::VideoSource*>(
            device->CreateVideoSource(&video, 0, stream, nullptr));
        if (!source)
            throw std::runtime_error("no video source");
        source->setReconnectDelayFunction([](std::uint64_t) { return std::chrono::milliseconds(200); });
        if (!transport.empty()) // empty: the source's default, with its fallbacks
            source->SetValue("transportProtocol", transport.c_str());
        source->SetValue("signalLostTimeout", signalLostSeconds);
        source->ApplySettings(&applied);
        source->Start(&video);
    }
    ~Stream()
    {
        if (source) {
            source->Stop();
            source->Destroy();
        }
        device->Disconnect();
        device.reset();
    }
    NullActionHandler applied;
};

std::size_t countRequests(const CamsimProcess& camsim, const std::string& method, const std::string& prefix)
{
    std::size_t n = 0;
    for (const auto& r : camsim.requests())
        n += r.method == method && r.target.find(prefix) != std::string::npos;
    return n;
}

class VideoSourceLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        Orix::http::clearAuthenticationCache();
    }
};

TEST_F(VideoSourceLive, FramesArriveOverEveryTransport)
{
    for (const char* transport : {"tcp", "udp", "multicast", "rtspoverhttp"}) {
        SCOPED_TRACE(transport);
        CamsimProcess camsim;
        Stream stream(camsim.url(), 0, transport);
        ASSERT_TRUE(stream.video.waitForFrames(10, 1)) << stream.log->all();
        EXPECT_EQ(stream.video.codec(), "H264");
        EXPECT_TRUE(stream.video.failures().empty());
        EXPECT_EQ(stream.video.starts(), 1u);
        EXPECT_TRUE(stream.log->contains(std::string(" Begin receive stream by ") + transport));
        // An H.264 key frame starts with its parameter sets in Annex B form.
        const auto key = stream.video.lastKeyFrame();
        ASSERT_GE(key.size(), 5u);
        EXPECT_EQ(std::vector<std::uint8_t>(key.begin(), key.begin() + 4), (std::vector<std::uint8_t>{0, 0, 0, 1}));
    }
}

TEST_F(VideoSourceLive, ClosedRtspPortStreamsThroughTheHttpTunnel)
{
    CamsimOptions options;
    options.rtsp = false;
    CamsimProcess camsim(options);
    Stream stream(camsim.url(), 0, "tcp", 1);
    ASSERT_TRUE(stream.video.waitForFrames(10, 1)) << stream.log->all();
    EXPECT_TRUE(stream.log->contains(" RTSP connection is not avalaible, trying rtsp over http"));
    EXPECT_TRUE(stream.log->contains(" Begin receive stream by rtspoverhttp"));
    EXPECT_TRUE(stream.video.failures().empty());
}

TEST_F(VideoSourceLive, CameraRefusingTcpIsReachedOverUdpUnlessTcpWasChosen)
{
    CamsimOptions options;
    options.extraArguments = {"--refuse-rtsp-tcp"};
    CamsimProcess camsim(options);
    {
        Stream stream(camsim.url(), 0, "", 30);
        ASSERT_TRUE(stream.video.waitForFrames(10, 1, std::chrono::seconds(30))) << stream.log->all();
        EXPECT_TRUE(stream.log->contains(" The camera refused RTSP over tcp, trying udp")) << stream.log->all();
        EXPECT_TRUE(stream.log->contains(" Begin receive stream by udp"));
        EXPECT_TRUE(stream.video.failures().empty());
    }
    // The host asked for tcp: no other transport is tried.
    Stream chosen(camsim.url(), 0, "tcp", 30);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!chosen.log->contains(" End receive stream with result") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(chosen.log->contains(" End receive stream with result")) << chosen.log->all();
    EXPECT_FALSE(chosen.log->contains(" trying udp"));
    EXPECT_EQ(chosen.video.frames(), 0u);
}

TEST_F(VideoSourceLive, SessionEndedByTheCameraIsReconnected)
{
    CamsimOptions options;
    options.faults = {"/axis-media/media.amp=end:1,count:1"};
    CamsimProcess camsim(options);
    Stream stream(camsim.url(), 0, "tcp", 30);
    ASSERT_TRUE(stream.video.waitForFrames(5, 1)) << stream.log->all();
    ASSERT_TRUE(stream.video.waitForFrames(stream.video.frames() + 40, 2, std::chrono::seconds(30)))
        << stream.log->all();
    EXPECT_GE(countRequests(camsim, "PLAY", "/axis-media/media.amp"), 2u);
    // The camera ended a session that brought frames: a clean end, resumed at once.
    EXPECT_TRUE(stream.log->contains(" Schedule immediate reconnect of video stream")) << stream.log->all();
    EXPECT_GE(stream.video.statistic("reconnects"), 1.0);
    EXPECT_EQ(stream.video.starts(), 2u);
    // Frames came back within the signal-lost time: nothing was reported.
    EXPECT_TRUE(stream.video.failures().empty());
}

TEST_F(VideoSourceLive, SignalLostReachesTheHostOnceAfterAStart)
{
    CamsimOptions options;
    options.faults = {"/axis-media/media.amp=status:503,count:1000"};
    CamsimProcess camsim(options);
    Stream stream(camsim.url(), 0, "tcp", 1);
    ASSERT_TRUE(stream.video.waitForFailure(std::chrono::seconds(20))) << stream.log->all();
    // Keep failing for several more reconnects: still one report.
    for (int i = 0; i < 100 && countRequests(camsim, "DESCRIBE", "/axis-media/media.amp") < 6; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GE(countRequests(camsim, "DESCRIBE", "/axis-media/media.amp"), 6u);
    const auto failures = stream.video.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], Orix::GenericFailure) << "503 to DESCRIBE is a failed request";
    EXPECT_EQ(stream.video.frames(), 0u);
}

TEST_F(VideoSourceLive, SecondStreamCreatesOrCorrectsItsProfile)
{
    const struct {
        const char* name;
        std::vector<std::string> params;
        std::size_t adds, updates;
        const char* logged;
    } cases[] = {
        {"missing", {}, 1, 0, " No correct profile for streaming was found. Try to create profile with name Profile101"},
        {"incomplete", {"StreamProfile.S1.Name=Profile101", "StreamProfile.S1.Parameters=videocodec=h264"}, 0, 1,
         " Try to update profile with name Profile101"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CamsimOptions options;
        options.params = c.params;
        CamsimProcess camsim(options);
        Stream stream(camsim.url(), 1, "tcp");
        ASSERT_TRUE(stream.video.waitForFrames(5, 1)) << stream.log->all();
        EXPECT_EQ(countRequests(camsim, "GET", "action=add&template=streamprofile"), c.adds);
        EXPECT_EQ(countRequests(camsim, "GET", "StreamProfile.S1.Parameters="), c.updates);
        EXPECT_TRUE(stream.log->contains(c.logged));
        EXPECT_GE(countRequests(camsim, "PLAY", "streamprofile=Profile101"), 1u);
    }
}

TEST_F(VideoSourceLive, SecondStreamProfileRewriteRestartsTheSession)
{
    CamsimProcess camsim;
    Stream stream(camsim.url(), 1, "tcp");
    ASSERT_TRUE(stream.video.waitForFrames(5, 1)) << stream.log->all();
    TestSupport::RecordingParametersHandler read;
    stream.source->AcquireDynamicParameters(&read);
    ASSERT_TRUE(read.wait()) << stream.log->all();
    ASSERT_EQ(read.failure(), 0u) << stream.log->all();

    NullActionHandler applied;
    stream.source->SetValue("fps", 10);
    stream.source->ApplySettings(&applied);
    // The open session plays the old profile until a new one starts.
    for (int i = 0; i < 200 && countRequests(camsim, "PLAY", "streamprofile=Profile101") < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(countRequests(camsim, "PLAY", "streamprofile=Profile101"), 2u) << stream.log->all();
    std::size_t rewrites = 0;
    for (const auto& r : camsim.requests())
        rewrites += r.target.find("action=update") != std::string::npos &&
                    r.target.find("StreamProfile.S") != std::string::npos;
    EXPECT_EQ(rewrites, 1u) << "one rewrite of the profile";
    EXPECT_TRUE(stream.log->contains(" Schedule immediate reconnect of video stream"));
}

} // namespace

// Destroying a video source, and its device, while work of the source is in
// flight: a reconnect timer, a settings read, a second-stream profile
// request. Late completions must find nothing to call into; run under
// AddressSanitizer this catches any that still do.
#include "Device.h"
#include "VideoSource.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"

#include <gtest/gtest.h>
#include <netkit/http/HttpClient.h>
#include <orix/ErrorCodes.h>
#include <future>
#include <thread>
#include <utility>

using Orix::GDRV::ConnectionState;
using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

constexpr int kHttpDelayMs = 1500;

Orix::GDRV::DeviceDescription genericDescription()
{
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    return description;
}

enum class InFlight { reconnectTimer, settingsRead, profileRequest };

// Requests camsim has answered late on purpose.
std::size_t delayedAnswers(const CamsimProcess& camsim)
{
    std::size_t n = 0;
    for (const auto& r : camsim.requests())
        n += r.status != 0 && r.fault.find("delay") != std::string::npos;
    return n;
}

class ChannelLifetime : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        Orix::http::clearAuthenticationCache();
    }
};

TEST_F(ChannelLifetime, DestroyWhileWorkIsInFlight)
{
    const struct {
        const char* name;
        InFlight inFlight;
        bool deviceGoesAtOnce; // else the device waits for the late answers
    } cases[] = {
        {"reconnect timer", InFlight::reconnectTimer, false},
        {"settings read, device stays", InFlight::settingsRead, false},
        {"settings read, device goes", InFlight::settingsRead, true},
        {"profile request, device stays", InFlight::profileRequest, false},
        {"profile request, device goes", InFlight::profileRequest, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CamsimOptions options;
        if (c.inFlight == InFlight::reconnectTimer)
            options.faults = {"/axis-media/media.amp=status:503"};
        CamsimProcess camsim(options);
        auto log = std::make_shared<TestSupport::CapturingLogger>(0);
        TestSupport::RecordingDeviceHandler deviceHandler;
        TestSupport::RecordingVideoHandler video;
        TestSupport::RecordingParametersHandler parameters;
        auto device = std::make_unique<Vapixcam::Device>(&deviceHandler, genericDescription(), "generic",
                                                         "", nullptr, log);
        device->Connect(camsim.url().c_str());
        ASSERT_TRUE(deviceHandler.waitFor(ConnectionState::Connected)) << log->all();

        const std::uint32_t stream = c.inFlight == InFlight::profileRequest ? 1 : 0;
        auto* source = static_cast<Vapixcam::VideoSource*>(device->CreateVideoSource(&video, 0, stream, nullptr));
        ASSERT_NE(source, nullptr);
        source->setReconnectDelayFunction([](std::uint64_t) { return std::chrono::milliseconds(2000); });
        source->SetValue("signalLostTimeout", 3600); // no host report of the outage: only late calls count
        source->ApplySettings(nullptr);
        if (c.inFlight != InFlight::reconnectTimer)
            camsim.injectFault("/axis-cgi/param.cgi", "delay:" + std::to_string(kHttpDelayMs), 50);
        source->Start(&video);

        switch (c.inFlight) {
        case InFlight::reconnectTimer:
            for (int i = 0; i < 200 && !log->contains(" Schedule reconnect of video stream after"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ASSERT_TRUE(log->contains(" Schedule reconnect of video stream after")) << log->all();
            break;
        case InFlight::settingsRead:
            // Posted before the teardown, so the read is on the wire when it runs.
            source->AcquireDynamicParameters(&parameters);
            break;
        case InFlight::profileRequest:
            break; // the start lists the camera's stream profiles first
        }
        source->Destroy();
        if (c.inFlight == InFlight::settingsRead) {
            EXPECT_EQ(parameters.calls(), 1) << "the host hears of its read before Destroy returns";
        }
        const std::size_t frames = video.frames();

        if (!c.deviceGoesAtOnce) {
            // Let the late answers and timers reach the destroyed source's completions.
            for (int i = 0; i < 100 && c.inFlight != InFlight::reconnectTimer && delayedAnswers(camsim) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        }
        device->Disconnect();
        device.reset();
        EXPECT_EQ(video.frames(), frames) << "no frame after Destroy";
        EXPECT_TRUE(video.failures().empty());
        EXPECT_EQ(parameters.calls(), c.inFlight == InFlight::settingsRead ? 1 : 0);
        EXPECT_EQ(log->count(" Schedule reconnect of video stream after"),
                  c.inFlight == InFlight::reconnectTimer ? 1u : 0u)
            << "no attempt after Destroy\n" << log->all();
    }
}

// Destroys its source from the first frame, on the device's I/O thread.
class DestroyingHandler final : public Orix::GDRV::IVideoSourceHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void OnFrame(const Orix::IContract*, const Orix::GDRV::MediaFrame&) override
    {
        if (source == nullptr)
            return;
        auto* doomed = std::exchange(source, nullptr);
        doomed->Destroy();
        destroyed.set_value();
    }
    void OnStatistic(const Orix::IContract*, const char*, double) override {}
    void OnStreamStarted(const Orix::IContract*) override {}
    void Failed(const Orix::IContract*, std::uint32_t) override {}

    Vapixcam::VideoSource* source = nullptr;
    std::promise<void> destroyed;
};

TEST_F(ChannelLifetime, DestroyFromTheHostsOwnCallbackDoesNotWaitForItself)
{
    CamsimProcess camsim;
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler;
    DestroyingHandler handler;
    auto device = std::make_unique<Vapixcam::Device>(&deviceHandler, genericDescription(), "generic", "",
                                                     nullptr, log);
    device->Connect(camsim.url().c_str());
    ASSERT_TRUE(deviceHandler.waitFor(ConnectionState::Connected)) << log->all();
    handler.source = static_cast<Vapixcam::VideoSource*>(device->CreateVideoSource(&handler, 0, 0, nullptr));
    ASSERT_NE(handler.source, nullptr);
    handler.source->Start(&handler);
    EXPECT_EQ(handler.destroyed.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << log->all();
    device->Disconnect();
    device.reset();
}

} // namespace

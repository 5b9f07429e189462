// A camera event on its way to the host: a tampering detector on a device
// connected to camsim, its event triggered through camsim's control
// endpoint, timed from the trigger request to the host's callback (the
// camera's handling, the metadata session, the notification reader and the
// dispatch). Reports the median and 99th percentile (microseconds), and the
// CPU the driver spends on an idle event session (per cent of one core over
// 10 s).
//
//   bench_event_latency http://[user:password@]127.0.0.1:PORT [benchmark options]
//   (camsim with its control endpoint on that port)
#include "Device.h"
#include "EventStream.h"
#include "VideoAnalyticsBase.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/http/HttpClient.h>
#include <orix/analytics/IEventSink.h>
#include <thread>
#include <vector>

namespace {

std::string cameraUrl;
Orix::asio::ConnectionInfoPtr camera;

class Handler final : public Orix::Analytics::IVideoAnalyticsHandler, public Orix::Analytics::IEventSink {
public:
    Orix::IContract* QueryContract(const char* name) override
    {
        return std::string(name) == Orix::contractName<Orix::Analytics::IEventSink>()
                   ? static_cast<Orix::Analytics::IEventSink*>(this)
                   : nullptr;
    }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Failed(const Orix::IContract*, std::uint32_t) override { bump(); }
    void Started(const Orix::IContract*) override { bump(); }
    void Stopped(const Orix::IContract*) override {}
    void StreamError(const Orix::IContract*, std::uint32_t) override {}
    void ImmediateEvent(const Orix::IContract*, const char*, std::uint64_t, const char*,
                        const Orix::Analytics::EventProperty*, std::uint32_t) override
    {
        bump();
    }
    void TwoPhaseEvent(const Orix::IContract*, const char*, bool, std::uint64_t, const char*, const char*,
                       const Orix::Analytics::EventProperty*, std::uint32_t) override
    {
    }
    void PeriodicalEvent(const Orix::IContract*, const char*, std::uint64_t, const Orix::Analytics::EventProperty*,
                         std::uint32_t, const Orix::Analytics::EventAttachment*, std::uint32_t) override
    {
    }

    // Waits for the callback after `seen`; the time it came.
    std::chrono::steady_clock::time_point waitAfter(std::uint64_t seen)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return calls_ > seen; });
        return last_;
    }
    std::uint64_t calls()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    void bump()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_;
        last_ = std::chrono::steady_clock::now();
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t calls_ = 0;
    std::chrono::steady_clock::time_point last_;
};

class Tampering final : public Vapixcam::VideoAnalyticsBase {
public:
    Tampering(Orix::Analytics::IVideoAnalyticsHandler* handler, Vapixcam::DeviceServices& device)
        : VideoAnalyticsBase(handler, 0, "tamperingDetection", device)
    {
    }
    std::string eventName() const override { return "Tampering"; }
    Vapixcam::DetectorEventKind eventKind() const override { return Vapixcam::DetectorEventKind::immediate; }
    std::string topicFilter() const override { return "onvif:VideoSource/axis:Tampering//.|"; }
    void handleEvent(const std::string&, const std::string&, std::uint64_t timestamp) override
    {
        raiseEvent(timestamp, true);
    }

protected:
    bool matchEventDescription(const std::string& text) const override
    {
        return text.find("<tnsaxis:Tampering wstop:topic=\"true\"") != std::string::npos;
    }
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override
    {
        completion->finish(sender(), 0);
    }
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override
    {
        completion->failed(sender(), 8);
    }
};

class DeviceHandler final : public Orix::GDRV::IDeviceHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void StateChanged(const Orix::IContract*, Orix::GDRV::ConnectionState state, std::uint32_t) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connected_ = connected_ || state == Orix::GDRV::ConnectionState::Connected;
        changed_.notify_all();
    }
    bool waitConnected()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return connected_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = false;
};

// POST to camsim's control endpoint (no authentication there).
void control(boost::asio::io_context& io, const std::string& body)
{
    Orix::http::asyncPostEx(camera, "/camsim/events", body, io, std::nullopt,
                            [](const boost::system::error_code&, const std::string&, const Orix::http::HttpResponse&) {},
                            {{"Content-Type", "application/json"}});
    io.restart();
    io.run();
}

bool sessionOpen()
{
    std::string body;
    if (Orix::http::syncHttpGet(camera, "/camsim/events", nullptr, body))
        return false;
    return body.find("\"open\" : 1") != std::string::npos || body.find("\"open\":1") != std::string::npos;
}

void BM_EventLatency(benchmark::State& state)
{
    DeviceHandler deviceHandler;
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    auto device = std::make_unique<Vapixcam::Device>(&deviceHandler, description, "generic", "", nullptr, nullptr);
    device->Connect(cameraUrl.c_str());
    if (!deviceHandler.waitConnected()) {
        state.SkipWithError("the camera does not answer");
        return;
    }
    Vapixcam::runOnIoThread(*device, [&] {
        device->getNotificationStream()->setDelays(std::chrono::milliseconds(200), std::chrono::seconds(1));
    });
    Handler handler;
    auto* detector = new Tampering(&handler, *device);
    detector->Start();
    handler.waitAfter(0);
    for (int i = 0; i < 500 && !sessionOpen(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    boost::asio::io_context io;
    std::vector<double> micros;
    std::size_t lost = 0;
    for (auto _ : state) {
        const std::uint64_t seen = handler.calls();
        const auto start = std::chrono::steady_clock::now();
        control(io, R"({"event":"tampering","channel":1})");
        const auto end = handler.waitAfter(seen);
        if (handler.calls() == seen) {
            ++lost;
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }

    // The idle session: nothing but keep-alives for 10 s.
    const std::clock_t cpuBefore = std::clock();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpuSeconds = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;

    detector->Stop();
    detector->Destroy();
    device->Disconnect();
    device.reset();

    if (!micros.empty()) {
        std::sort(micros.begin(), micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    }
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["idle_cpu_pct"] = cpuSeconds * 10.0;
}

BENCHMARK(BM_EventLatency)->Iterations(1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || (camera = Orix::asio::parseConnectionInfo(argv[1])) == nullptr) {
        std::fprintf(stderr, "usage: %s http://[user:password@]HOST:PORT [benchmark options]\n", argv[0]);
        return 64;
    }
    cameraUrl = argv[1];
    argv[1] = argv[0];
    ++argv;
    --argc;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

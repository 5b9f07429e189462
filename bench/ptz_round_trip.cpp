// Host call -> answer of a PTZ move against a camera (camsim): the time the
// host thread is blocked in MovePanTilt, per call, for the plain channel and
// for the channel that goes through the camera's control queue (control is
// granted before the timing starts). Reports the median and the 99th
// percentile of the calls as counters (microseconds).
//
//   bench_ptz_round_trip http://[user:password@]127.0.0.1:PORT [benchmark options]
#include "DeviceServices.h"
#include "TelemetryChannel.h"
#include "TelemetryChannelCQ.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdio>
#include <netkit/asio/ConnectionInfo.h>
#include <orix/ErrorCodes.h>
#include <thread>
#include <vector>

namespace {

Orix::asio::ConnectionInfoPtr camera;

// The device as the channel sees it: the camera's address and a running
// I/O thread for the control queue.
class BenchDevice final : public Vapixcam::DeviceServices {
public:
    BenchDevice() : work_(boost::asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {}
    ~BenchDevice() override
    {
        work_.reset();
        io_.stop();
        thread_.join();
    }
    Orix::asio::ConnectionInfoPtr connectionInfo() const override { return camera; }
    Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool&) override { return nullptr; }
    Vapixcam::Topology topology() const override { return {}; }
    std::string dewarpMode() const override { return {}; }
    void rateControlMode(std::uint32_t, std::function<void(const std::string&)>) override {}
    std::string model() const override { return "bench"; }
    Orix::GDRV::DriverInfoPtr driverInfo() const override { return nullptr; }
    boost::asio::io_context& ioContext() override { return io_; }
    bool onIoThread() const override { return std::this_thread::get_id() == thread_.get_id(); }
    Orix::LoggerPtr logger() const override { return nullptr; }
    void registerWorkingStream(std::weak_ptr<Vapixcam::RestartableStream>) override {}
    void unregisterWorkingStream(const Vapixcam::RestartableStream*) override {}

private:
    boost::asio::io_context io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
    std::thread thread_;
};

void report(benchmark::State& state, std::vector<double>& micros, std::size_t failures)
{
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    state.counters["failed"] = static_cast<double>(failures);
}

template <class Channel>
void moveRoundTrip(benchmark::State& state)
{
    BenchDevice device;
    auto* channel = new Channel(0, device);
    channel->MovePanTilt(0, 0); // connection, authentication and control before the timing
    std::vector<double> micros;
    std::size_t failures = 0;
    std::int32_t speed = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::uint32_t result = channel->MovePanTilt(speed, 0);
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        failures += result != Orix::Ok;
        speed = speed == 0 ? 10 : 0;
    }
    channel->Destroy();
    report(state, micros, failures);
}

void BM_PtzMove(benchmark::State& state)
{
    moveRoundTrip<Vapixcam::TelemetryChannel>(state);
}

void BM_PtzMoveThroughControlQueue(benchmark::State& state)
{
    moveRoundTrip<Vapixcam::TelemetryChannelCQ>(state);
}

BENCHMARK(BM_PtzMove)->Iterations(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PtzMoveThroughControlQueue)->Iterations(500)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || (camera = Orix::asio::parseConnectionInfo(argv[1])) == nullptr) {
        std::fprintf(stderr, "usage: %s http://[user:password@]HOST:PORT [benchmark options]\n", argv[0]);
        return 64;
    }
    argv[1] = argv[0];
    ++argv;
    --argc;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

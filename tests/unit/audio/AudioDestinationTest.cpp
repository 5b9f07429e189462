// The audio destination against a camera on loopback that takes the
// authorization request, accepts the transmit POST and then stops reading:
// the call state rules and the bounded queue.
#include "AudioDestination.h"

#include "support/FakeHost.h"

#include <arpa/inet.h>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <orix/ErrorCodes.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Answers a POST with "Content-Length: 0" at once; keeps any other
// connection open without reading from it, as a camera whose speaker is stuck.
class StuckSpeaker {
public:
    StuckSpeaker()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 8);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~StuckSpeaker()
    {
        stop_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        thread_.join();
        for (int fd : held_)
            ::close(fd);
    }
    std::uint16_t port() const { return port_; }
    int streams() const { return streams_.load(); }

private:
    void run()
    {
        while (!stop_) {
            const int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0)
                return;
            std::string head;
            char c;
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 8192 && ::read(fd, &c, 1) == 1)
                head += c;
            if (head.find("Content-Length: 0\r\n") != std::string::npos) {
                const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                (void)!::write(fd, answer.data(), answer.size());
                ::close(fd);
                continue;
            }
            ++streams_;
            held_.push_back(fd);
        }
    }

    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> streams_{0};
    std::vector<int> held_;
};

class FakeDevice final : public Vapixcam::DeviceServices {
public:
    FakeDevice(std::uint16_t port, Orix::LoggerPtr logger) : logger_(std::move(logger))
    {
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "127.0.0.1";
        info->port = port;
        info_ = info;
    }
    Orix::asio::ConnectionInfoPtr connectionInfo() const override { return info_; }
    Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool& overHttp) override
    {
        overHttp = true;
        return info_;
    }
    Vapixcam::Topology topology() const override { return {}; }
    std::string dewarpMode() const override { return {}; }
    void rateControlMode(std::uint32_t, std::function<void(const std::string&)> done) override { done("cbr"); }
    std::string model() const override { return "test"; }
    Orix::GDRV::DriverInfoPtr driverInfo() const override { return nullptr; }
    boost::asio::io_context& ioContext() override { return io_; }
    bool onIoThread() const override { return false; }
    Orix::LoggerPtr logger() const override { return logger_; }
    void registerWorkingStream(std::weak_ptr<Vapixcam::RestartableStream>) override {}
    void unregisterWorkingStream(const Vapixcam::RestartableStream*) override {}

private:
    Orix::asio::ConnectionInfoPtr info_;
    Orix::LoggerPtr logger_;
    boost::asio::io_context io_;
};

class ErrorRecorder final : public Orix::GDRV::IAudioDestinationHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Error(const Orix::IContract*, std::uint32_t result) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.push_back(result);
    }
    std::vector<std::uint32_t> results() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return results_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> results_;
};

Orix::GDRV::AudioFrame g711Frame(const std::vector<std::uint8_t>& bytes)
{
    Orix::GDRV::AudioFrame frame;
    frame.algorithm = "G.711";
    frame.bitrate = 64000;
    frame.data = bytes.data();
    frame.size = static_cast<std::uint32_t>(bytes.size());
    return frame;
}

std::size_t linesStartingWith(const TestSupport::CapturingLogger& log, const std::string& text)
{
    std::size_t n = 0;
    for (const auto& e : log.entries())
        n += e.message.find(text) != std::string::npos;
    return n;
}

} // namespace

TEST(AudioDestination, CallStateAndFramesOutsideACall)
{
    StuckSpeaker camera;
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    FakeDevice device(camera.port(), log);
    ErrorRecorder handler;
    const auto dir = std::filesystem::temp_directory_path() / ("audio-dump-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("VELTO_SPEAKER_AUDIO_OUTPUT_DUMP_DIR", dir.c_str(), 1);
    auto* destination = new Vapixcam::AudioDestination(&handler, 0, device);
    ::unsetenv("VELTO_SPEAKER_AUDIO_OUTPUT_DUMP_DIR");

    const std::vector<std::uint8_t> bytes(160, 0xFF);
    EXPECT_EQ(destination->PushAudioFrame(g711Frame(bytes)), Orix::NotInCall);
    destination->HangUp(); // idle: nothing
    destination->Call();
    destination->Call(); // in a call: nothing
    for (int i = 0; i < 1001; ++i)
        EXPECT_EQ(destination->PushAudioFrame(g711Frame(bytes)), Orix::Ok);
    destination->HangUp();
    destination->HangUp();
    EXPECT_EQ(destination->PushAudioFrame(g711Frame(bytes)), Orix::NotInCall);
    destination->Destroy();

    EXPECT_EQ(handler.results(), (std::vector<std::uint32_t>{Orix::NotInCall, Orix::NotInCall}));
    EXPECT_EQ(linesStartingWith(*log, " Call"), 1u);
    EXPECT_EQ(linesStartingWith(*log, "HangUp, sent: 1001"), 1u);
    EXPECT_EQ(linesStartingWith(*log, "sending frame "), 2u); // the 1st and the 1001st
    std::vector<std::filesystem::path> dumps;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        dumps.push_back(entry.path());
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(dumps[0].filename().string().rfind("file_", 0), 0u);
    EXPECT_EQ(dumps[0].extension(), ".bin");
    EXPECT_EQ(std::filesystem::file_size(dumps[0]), 1001u * 160u);
    std::filesystem::remove_all(dir);
}

// A camera that stops reading: memory stays bounded (the oldest frames are
// dropped and counted), then the write time-out ends the call with an error.
TEST(AudioDestination, StuckCameraDropsOldestFramesThenEndsTheCall)
{
    StuckSpeaker camera;
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    FakeDevice device(camera.port(), log);
    ErrorRecorder handler;
    auto* destination = new Vapixcam::AudioDestination(&handler, 0, device);
    destination->Call();
    // Far more than the socket buffers on loopback hold.
    const std::vector<std::uint8_t> bytes(64 * 1024, 0x55);
    std::size_t pushed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (handler.results().empty() && std::chrono::steady_clock::now() < deadline) {
        if (destination->PushAudioFrame(g711Frame(bytes)) == Orix::Ok)
            ++pushed;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto stats = destination->statistics();
    destination->Destroy();

    EXPECT_EQ(camera.streams(), 1);
    ASSERT_EQ(handler.results().size(), 1u);
    EXPECT_EQ(handler.results()[0], Orix::Timeout);
    EXPECT_GT(stats.dropped, 0u);
    EXPECT_GT(pushed, stats.written + stats.dropped);
    EXPECT_EQ(stats.maxQueued, Vapixcam::AudioDestination::kMaxQueuedFrames);
    EXPECT_EQ(linesStartingWith(*log, "Failed to write packet: "), 1u);
}

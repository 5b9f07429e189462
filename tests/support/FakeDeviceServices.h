#pragma once
// A device as a channel sees it: connection info to a test server, a
// topology and fisheye view the test sets, a running I/O thread and a
// capturing logger.
#include "DeviceServices.h"
#include "support/FakeHost.h"

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <functional>
#include <mutex>
#include <thread>

namespace TestSupport {

class FakeDeviceServices final : public Vapixcam::DeviceServices {
public:
    explicit FakeDeviceServices(std::uint16_t port)
        : logger_(std::make_shared<TestSupport::CapturingLogger>()),
          work_(boost::asio::make_work_guard(io_)),
          thread_([this] {
              ioThread_ = std::this_thread::get_id();
              io_.run();
          })
    {
        auto info = std::make_shared<Orix::asio::ConnectionInfo>();
        info->host = "127.0.0.1";
        info->port = port;
        info->endpoint = {"127.0.0.1", port};
        info_ = info;
    }
    ~FakeDeviceServices() override
    {
        work_.reset();
        io_.stop();
        thread_.join();
    }

    Orix::asio::ConnectionInfoPtr connectionInfo() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return info_;
    }
    Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool&) override { return nullptr; }
    Vapixcam::Topology topology() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return topology_;
    }
    std::string dewarpMode() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return view_;
    }
    void rateControlMode(std::uint32_t, std::function<void(const std::string&)>) override {}
    std::string model() const override { return "M5525-E"; }
    Orix::GDRV::DriverInfoPtr driverInfo() const override { return nullptr; }
    boost::asio::io_context& ioContext() override { return io_; }
    bool onIoThread() const override { return std::this_thread::get_id() == ioThread_; }
    Orix::LoggerPtr logger() const override { return logger_; }
    void registerWorkingStream(std::weak_ptr<Vapixcam::RestartableStream>) override {}
    void unregisterWorkingStream(const Vapixcam::RestartableStream*) override {}

    void setView(const std::string& view)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        view_ = view;
    }
    void setTopology(const Vapixcam::Topology& topology)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        topology_ = topology;
    }
    void setOptics(bool optics)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        topology_.opticsSetup = optics;
    }
    void disconnect()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        info_.reset();
    }
    TestSupport::CapturingLogger& log() { return *logger_; }

private:
    mutable std::mutex mutex_;
    Orix::asio::ConnectionInfoPtr info_;
    Vapixcam::Topology topology_;
    std::string view_;
    std::shared_ptr<TestSupport::CapturingLogger> logger_;
    boost::asio::io_context io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
    std::atomic<std::thread::id> ioThread_{};
    std::thread thread_;
};

} // namespace TestSupport

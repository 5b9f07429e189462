#pragma once
// A device as detectors and the event stream see it (connection info, a
// running I/O thread, the event stream), a host handler that records what a
// detector tells it and the events it raises, and a detector of the
// tampering kind or the VMD 3 kind without settings.
#include "DeviceServices.h"
#include "EventStream.h"
#include "VideoAnalyticsApplicationBased.h"
#include "support/FakeHost.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <orix/analytics/IEventSink.h>
#include <thread>
#include <vector>

namespace EventsTest {

class FakeDevice final : public Vapixcam::DeviceServices {
public:
    // port 0: no connection info at all.
    explicit FakeDevice(std::uint16_t port = 0)
        : logger_(std::make_shared<TestSupport::CapturingLogger>()),
          work_(boost::asio::make_work_guard(io_)),
          thread_([this] {
              ioThread_ = std::this_thread::get_id();
              io_.run();
          })
    {
        if (port != 0) {
            auto info = std::make_shared<Orix::asio::ConnectionInfo>();
            info->host = "127.0.0.1";
            info->port = port;
            info->endpoint = {"127.0.0.1", port};
            info_ = info;
        }
    }
    ~FakeDevice() override
    {
        // As the device does: the stream ends on the I/O thread, while the
        // context its timers belong to still exists.
        run([this] {
            if (auto stream = std::move(stream_))
                stream->shutdown();
        });
        work_.reset();
        io_.stop();
        thread_.join();
    }

    Orix::asio::ConnectionInfoPtr connectionInfo() const override { return info_; }
    Orix::asio::ConnectionInfoPtr getRtspConnectionInfo(bool&) override { return rtspInfo_; }
    Vapixcam::Topology topology() const override { return {}; }
    std::string dewarpMode() const override { return {}; }
    void rateControlMode(std::uint32_t, std::function<void(const std::string&)>) override {}
    std::string model() const override { return "P1435-LE"; }
    Orix::GDRV::DriverInfoPtr driverInfo() const override { return nullptr; }
    boost::asio::io_context& ioContext() override { return io_; }
    bool onIoThread() const override { return std::this_thread::get_id() == ioThread_; }
    Orix::LoggerPtr logger() const override { return logger_; }
    void registerWorkingStream(std::weak_ptr<Vapixcam::RestartableStream>) override {}
    void unregisterWorkingStream(const Vapixcam::RestartableStream*) override {}
    std::shared_ptr<Vapixcam::EventStream> getNotificationStream() override
    {
        if (!onIoThread())
            return nullptr;
        if (!stream_) {
            stream_ = Vapixcam::EventStream::create(*this);
            stream_->setDelays(coalescing_, retry_);
        }
        return stream_;
    }

    void setDelays(std::chrono::milliseconds coalescing, std::chrono::milliseconds retry)
    {
        coalescing_ = coalescing;
        retry_ = retry;
    }
    void setRtspInfo(Orix::asio::ConnectionInfoPtr info) { rtspInfo_ = std::move(info); }

    // Runs fn on the I/O thread and waits for it.
    void run(const std::function<void()>& fn) { Vapixcam::runOnIoThread(*this, fn); }
    std::shared_ptr<Vapixcam::EventStream> stream()
    {
        std::shared_ptr<Vapixcam::EventStream> out;
        run([&] { out = getNotificationStream(); });
        return out;
    }
    TestSupport::CapturingLogger& log() { return *logger_; }

private:
    Orix::asio::ConnectionInfoPtr info_;
    Orix::asio::ConnectionInfoPtr rtspInfo_;
    std::shared_ptr<Vapixcam::EventStream> stream_;
    std::chrono::milliseconds coalescing_ = std::chrono::hours(1);
    std::chrono::milliseconds retry_ = std::chrono::hours(1);
    std::shared_ptr<TestSupport::CapturingLogger> logger_;
    boost::asio::io_context io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
    std::atomic<std::thread::id> ioThread_{};
    std::thread thread_;
};

// Everything the host hears from detectors, one line per call:
// "failed 3", "started", "stopped", "streamError 10",
// "event Tampering 1556878530250", "twoPhase Tampering 1 1556878530250".
class RecordingAnalyticsHandler final : public Orix::Analytics::IVideoAnalyticsHandler,
                                        public Orix::Analytics::IEventSink {
public:
    Orix::IContract* QueryContract(const char* name) override
    {
        if (std::string(name) == Orix::contractName<Orix::Analytics::IEventSink>())
            return static_cast<Orix::Analytics::IEventSink*>(this);
        return nullptr;
    }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }

    void Failed(const Orix::IContract*, std::uint32_t result) override { add("failed " + std::to_string(result)); }
    void Started(const Orix::IContract*) override { add("started"); }
    void Stopped(const Orix::IContract*) override { add("stopped"); }
    void StreamError(const Orix::IContract*, std::uint32_t result) override
    {
        add("streamError " + std::to_string(result));
    }
    void ImmediateEvent(const Orix::IContract*, const char* name, std::uint64_t timestamp, const char*,
                        const Orix::Analytics::EventProperty*, std::uint32_t) override
    {
        add(std::string("event ") + name + " " + std::to_string(timestamp));
    }
    void TwoPhaseEvent(const Orix::IContract*, const char* name, bool state, std::uint64_t timestamp,
                       const char*, const char*, const Orix::Analytics::EventProperty*, std::uint32_t) override
    {
        add(std::string("twoPhase ") + name + " " + (state ? "1 " : "0 ") + std::to_string(timestamp));
    }
    void PeriodicalEvent(const Orix::IContract*, const char* name, std::uint64_t timestamp,
                         const Orix::Analytics::EventProperty*, std::uint32_t,
                         const Orix::Analytics::EventAttachment*, std::uint32_t) override
    {
        add(std::string("periodical ") + name + " " + std::to_string(timestamp));
    }

    std::vector<std::string> calls() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    // True once count calls arrived.
    bool waitFor(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return calls_.size() >= count; });
    }

    // Runs after each call is recorded, as the host would act on it.
    std::function<void(const std::string& call)> onCall;

private:
    void add(std::string call)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back(call);
            changed_.notify_all();
        }
        if (onCall)
            onCall(call);
    }
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> calls_;
};

// The tampering detector's identity (or, with a channel, VMD 3's) and the
// on/off rule, without settings.
template <class Base>
class TestDetector : public Base {
public:
    TestDetector(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                 Vapixcam::DeviceServices& device, bool vmd3)
        : Base(handler, channel, vmd3 ? "motionDetectionV3" : "tamperingDetection", device), vmd3_(vmd3)
    {
    }
    std::string eventName() const override
    {
        return vmd3_ ? "VMD3/vmd3_video_" + std::to_string(this->channel() + 1) : "Tampering";
    }
    Vapixcam::DetectorEventKind eventKind() const override
    {
        return vmd3_ ? Vapixcam::DetectorEventKind::twoPhase : Vapixcam::DetectorEventKind::immediate;
    }
    std::string topicFilter() const override
    {
        return vmd3_ ? "onvif:RuleEngine/axis:" + eventName() + "//.|" : "onvif:VideoSource/axis:Tampering//.|";
    }
    void handleEvent(const std::string&, const std::string& data, std::uint64_t timestamp) override
    {
        this->raiseOnOffRule(Vapixcam::VideoAnalyticsBase::parseSimpleItems(data), timestamp);
    }

protected:
    bool matchEventDescription(const std::string& text) const override
    {
        return text.find(vmd3_ ? "<tns1:RuleEngine aev:NiceName=\"Application\"><tnsaxis:VMD3"
                               : "<tnsaxis:Tampering wstop:topic=\"true\" aev:NiceName=\"Camera tampering\">") !=
               std::string::npos;
    }
    void applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion) override
    {
        completion->finish(this->sender(), 0);
    }

private:
    bool vmd3_;
};

class EmbeddedDetector final : public TestDetector<Vapixcam::VideoAnalyticsBase> {
public:
    using TestDetector::TestDetector;

protected:
    void doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion) override
    {
        completion->failed(sender(), 8);
    }
};

class ApplicationDetector final : public TestDetector<Vapixcam::VideoAnalyticsApplicationBased> {
public:
    using TestDetector::TestDetector;

protected:
    std::string applicationName() const override { return "VMD3"; }
};

} // namespace EventsTest

// The stream-source template with scripted sessions: the start and stop
// lines, one failure report per start however often the stream fails,
// reconnects, and that Stop and Destroy leave nothing running, also when the
// host calls them from inside our own callback.
#include "support/FakeHost.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <templates/StreamSource.h>
#include <thread>

namespace {

class IProbeHandler : public Orix::IContract {
public:
    virtual void Failed(const Orix::IContract* source, std::uint32_t result) = 0;
};

class IProbeSource : public Orix::IContract {
public:
    virtual void Destroy() = 0;
    virtual void Start(IProbeHandler* handler) = 0;
    virtual void Stop() = 0;
};

struct ProbeDevice {};

// What the test sees of the source, outliving it.
struct Record {
    std::mutex mutex;
    std::condition_variable changed;
    int sessions = 0;
    int teardowns = 0;
    int stops = 0;
    bool destroyed = false;
    std::thread::id sessionThread;

    template <class Pred>
    bool waitFor(Pred pred)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return pred(*this); });
    }
    template <class Fn>
    void update(Fn fn)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            fn(*this);
        }
        changed.notify_all();
    }
};

class ProbeSource final
    : public Orix::LoggerOwner,
      public Orix::Utility::StreamSource<IProbeSource, ProbeSource, ProbeDevice> {
    using Base = Orix::Utility::StreamSource<IProbeSource, ProbeSource, ProbeDevice>;
    friend Base;
    friend Orix::Utility::AsyncSource<IProbeSource, ProbeSource, ProbeDevice>;

public:
    ProbeSource(ProbeDevice& device, Orix::LoggerPtr logger, std::shared_ptr<Record> record)
        : LoggerOwner(std::move(logger), "probe"), Base(device, *this, "probe stream"), record_(std::move(record))
    {
        setReconnectDelay([](std::uint64_t) { return std::chrono::milliseconds(1); });
    }
    ~ProbeSource() override
    {
        record_->update([](Record& r) { r.destroyed = true; });
    }

    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }

    // Ends the open session with error, from the worker.
    void fail(boost::system::error_code error)
    {
        boost::asio::post(ioContext(), [this, error] {
            if (auto ended = std::move(ended_))
                ended(error, false);
        });
    }

private:
    Session initializeStream(SessionEnded ended)
    {
        ended_ = std::move(ended);
        record_->update([](Record& r) {
            ++r.sessions;
            r.sessionThread = std::this_thread::get_id();
        });
        return [record = record_] { record->update([](Record& r) { ++r.teardowns; }); };
    }
    void stopStream()
    {
        record_->update([](Record& r) { ++r.stops; });
    }

    std::shared_ptr<Record> record_;
    SessionEnded ended_;
};

class ProbeHandler final : public IProbeHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Failed(const Orix::IContract*, std::uint32_t result) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            results.push_back(result);
        }
        if (onFailed)
            onFailed();
        changed.notify_all();
    }
    std::size_t failures()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return results.size();
    }
    bool waitForFailures(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return results.size() >= n; });
    }

    std::function<void()> onFailed;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint32_t> results;
};

struct Fixture {
    ProbeDevice device;
    std::shared_ptr<TestSupport::CapturingLogger> logger = std::make_shared<TestSupport::CapturingLogger>();
    std::shared_ptr<Record> record = std::make_shared<Record>();
    ProbeHandler handler;
    ProbeSource* source = new ProbeSource(device, logger, record);
};

TEST(StreamSource, StartAndStopTwiceLogOnceEachAndStopEndsTheSessionOnTheWorker)
{
    Fixture f;
    f.source->Start(&f.handler);
    f.source->Start(&f.handler);
    ASSERT_TRUE(f.record->waitFor([](Record& r) { return r.sessions == 1; }));
    EXPECT_NE(f.record->sessionThread, std::this_thread::get_id());
    f.source->Stop();
    f.source->Stop();
    // Stop has joined the worker: its stop step has run.
    EXPECT_EQ(f.record->teardowns, 1);
    EXPECT_EQ(f.record->stops, 1);

    const struct {
        const char* text;
        std::size_t times;
    } lines[] = {{"probe Starting", 1},  {"probe Started", 1},  {"Skip starting, as already started", 1},
                 {"probe Stopping", 1}, {"probe Stopped", 1}, {"Skip stopping, as not started", 1}};
    for (const auto& line : lines)
        EXPECT_EQ(f.logger->count(line.text), line.times) << line.text;

    f.source->Destroy();
    EXPECT_TRUE(f.record->destroyed);
}

TEST(StreamSource, FailuresReconnectAndReachTheHostOncePerStart)
{
    Fixture f;
    f.source->Start(&f.handler);
    for (int session = 1; session <= 3; ++session) {
        ASSERT_TRUE(f.record->waitFor([&](Record& r) { return r.sessions == session; }));
        f.source->fail(make_error_code(boost::system::errc::connection_reset));
    }
    ASSERT_TRUE(f.record->waitFor([](Record& r) { return r.sessions == 4; }));
    ASSERT_TRUE(f.handler.waitForFailures(1));
    EXPECT_EQ(f.handler.failures(), 1u);
    EXPECT_EQ(f.handler.results.front(), 0x104u); // connection lost

    f.source->Stop();
    f.source->Start(&f.handler);
    ASSERT_TRUE(f.record->waitFor([](Record& r) { return r.sessions == 5; }));
    f.source->fail(make_error_code(boost::system::errc::connection_reset));
    EXPECT_TRUE(f.handler.waitForFailures(2));
    f.source->Destroy();
    EXPECT_EQ(f.handler.failures(), 2u);
    EXPECT_TRUE(f.record->destroyed);
}

TEST(StreamSource, StopFromTheCallbackIsRefusedAndDestroyThereDeletesAfterwards)
{
    Fixture f;
    f.handler.onFailed = [&] {
        f.source->Stop();
        f.source->Destroy();
    };
    f.source->Start(&f.handler);
    ASSERT_TRUE(f.record->waitFor([](Record& r) { return r.sessions == 1; }));
    f.source->fail(make_error_code(boost::system::errc::connection_reset));
    ASSERT_TRUE(f.record->waitFor([](Record& r) { return r.destroyed; }));
    EXPECT_EQ(f.logger->count("Stop from the source's own thread is refused"), 1u);
    EXPECT_EQ(f.record->stops, 1);
    EXPECT_EQ(f.handler.failures(), 1u);
}

} // namespace

// The stream supervisor with scripted sessions: what each end of a session
// leads to (a new session at once, or a delay of which attempt), how often
// the host hears of an outage, and that stop and abandon make late
// completions harmless.
#include "StreamSupervisor.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <gtest/gtest.h>
#include <netkit/rtsp/RtspError.h>

using Vapixcam::StreamSupervisor;
using Orix::Utility::rtsp::error;

namespace {

struct Scripted {
    boost::asio::io_context io;
    std::vector<StreamSupervisor::SessionEnded> sessions; // ended callback of each opened session
    std::size_t teardowns = 0;
    std::vector<std::uint64_t> delays;                    // attempt numbers asked for
    std::vector<boost::system::error_code> reports;
    std::shared_ptr<StreamSupervisor> supervisor;

    explicit Scripted(std::chrono::milliseconds signalLost)
    {
        StreamSupervisor::Hooks hooks;
        hooks.open = [this](StreamSupervisor::SessionEnded ended) -> StreamSupervisor::Session {
            sessions.push_back(std::move(ended));
            return [this] { ++teardowns; };
        };
        hooks.signalLost = [this](const boost::system::error_code& e) { reports.push_back(e); };
        hooks.signalLostTime = [signalLost] { return signalLost; };
        supervisor = StreamSupervisor::create(io, std::move(hooks), "video stream", nullptr, "");
        supervisor->setReconnectDelay([this](std::uint64_t attempt) {
            delays.push_back(attempt);
            return std::chrono::milliseconds(0);
        });
    }

    void settle()
    {
        io.restart();
        while (io.poll() > 0) {
        }
    }

    // The current session brings media (or not), then ends with e.
    void end(bool media, boost::system::error_code e, bool retryAtOnce = false)
    {
        if (media)
            supervisor->mediaArrived();
        boost::asio::post(io, [ended = sessions.back(), e, retryAtOnce] { ended(e, retryAtOnce); });
        settle();
    }
};

struct Step {
    bool media;
    boost::system::error_code error;
    bool retryAtOnce = false;
};

TEST(StreamSupervisor, EndOfSessionLeadsToAtOnceOrDelayAndOneReportPerOutage)
{
    const boost::system::error_code none;
    const auto refused = make_error_code(error::transportRefused);
    const auto lost = make_error_code(error::connectionLost);
    const auto bye = make_error_code(error::sessionEndedByServer);
    const struct {
        const char* name;
        std::chrono::milliseconds signalLost;
        std::vector<Step> steps;
        std::vector<std::uint64_t> delays;
        std::size_t reports;
    } cases[] = {
        {"BYE after frames resumes at once", std::chrono::milliseconds(0), {{true, bye}, {true, none}}, {}, 0},
        {"BYE before any frame waits like a failure", std::chrono::milliseconds(0), {{false, bye}, {false, bye}}, {1, 2}, 1},
        {"failures grow the attempt, one report", std::chrono::milliseconds(0), {{false, lost}, {false, lost}, {false, lost}}, {1, 2, 3}, 1},
        {"a second outage after frames is reported too", std::chrono::milliseconds(0),
         {{false, lost}, {false, lost}, {true, lost}, {false, lost}}, {1, 2, 1, 2}, 2},
        {"frames back before the signal-lost time: no report", std::chrono::hours(1),
         {{false, lost}, {true, lost}}, {1, 1}, 0},
        {"refused transport retried at once", std::chrono::milliseconds(0), {{false, refused, true}}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scripted s(c.signalLost);
        s.supervisor->start();
        s.settle();
        ASSERT_EQ(s.sessions.size(), 1u);
        for (const auto& step : c.steps)
            s.end(step.media, step.error, step.retryAtOnce);
        EXPECT_EQ(s.sessions.size(), c.steps.size() + 1) << "each end opens exactly one new session";
        EXPECT_EQ(s.delays, c.delays);
        EXPECT_EQ(s.reports.size(), c.reports);
        EXPECT_EQ(s.supervisor->state(), StreamSupervisor::State::Open);
        s.supervisor->abandon();
    }
}

TEST(StreamSupervisor, StopRestartAndAbandonMakeLateCompletionsHarmless)
{
    Scripted s(std::chrono::milliseconds(0));
    s.supervisor->start();
    s.settle();
    const auto first = s.sessions.back();

    s.supervisor->restart();
    EXPECT_EQ(s.teardowns, 1u);
    ASSERT_EQ(s.sessions.size(), 2u);
    first(make_error_code(error::connectionLost), false); // the torn-down session completes late
    s.settle();
    EXPECT_EQ(s.sessions.size(), 2u);
    EXPECT_TRUE(s.delays.empty());
    EXPECT_TRUE(s.reports.empty());

    s.supervisor->stop();
    EXPECT_EQ(s.teardowns, 2u);
    s.sessions.back()(make_error_code(error::connectionLost), false);
    s.settle();
    EXPECT_EQ(s.supervisor->state(), StreamSupervisor::State::Stopped);
    EXPECT_EQ(s.sessions.size(), 2u);

    // Abandoned while the reconnect and signal-lost timers are armed, then gone.
    s.supervisor->setReconnectDelay([](std::uint64_t) { return std::chrono::hours(1); });
    s.supervisor->start();
    s.settle();
    s.sessions.back()(make_error_code(error::connectionLost), false);
    EXPECT_EQ(s.supervisor->state(), StreamSupervisor::State::Waiting);
    s.supervisor->abandon();
    s.supervisor.reset();
    s.settle();
    EXPECT_EQ(s.sessions.size(), 3u);
    EXPECT_TRUE(s.reports.empty());
}

} // namespace

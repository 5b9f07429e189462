#include "StreamSupervisor.h"

#include "VideoStreamPolicy.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

struct StreamSupervisor::Timers {
    explicit Timers(boost::asio::io_context& io) : reconnect(io), signalLost(io) {}
    boost::asio::steady_timer reconnect;
    boost::asio::steady_timer signalLost;
};

std::shared_ptr<StreamSupervisor> StreamSupervisor::create(boost::asio::io_context& io, Hooks hooks,
                                                           std::string what, Orix::LoggerPtr logger,
                                                           const std::string& logPrefix)
{
    std::shared_ptr<StreamSupervisor> supervisor(new StreamSupervisor(io, std::move(hooks), std::move(what)));
    supervisor->setLogger(std::move(logger));
    supervisor->setLogPrefix(logPrefix);
    return supervisor;
}

StreamSupervisor::StreamSupervisor(boost::asio::io_context& io, Hooks hooks, std::string what)
    : hooks_(std::move(hooks)), what_(std::move(what)), timers_(std::make_unique<Timers>(io))
{
}

StreamSupervisor::~StreamSupervisor() = default;

void StreamSupervisor::setReconnectDelay(Delay delay)
{
    delay_ = std::move(delay);
}

void StreamSupervisor::start()
{
    if (state_ != State::Stopped)
        return;
    ++generation_;
    attempts_ = 0;
    health_ = Health::Healthy;
    ++outage_;
    doPrepare();
}

void StreamSupervisor::stop()
{
    if (state_ == State::Abandoned)
        return;
    ++generation_;
    ++outage_;
    state_ = State::Stopped;
    health_ = Health::Healthy;
    timers_->reconnect.cancel();
    timers_->signalLost.cancel();
    endSession();
}

void StreamSupervisor::abandon()
{
    stop();
    state_ = State::Abandoned;
}

void StreamSupervisor::restart()
{
    if (state_ != State::Open && state_ != State::Waiting)
        return;
    ORIX_LOG(*this, LogDebug, " Schedule immediate reconnect of " << what_);
    ++generation_;
    timers_->reconnect.cancel();
    endSession();
    attempts_ = 0;
    doPrepare();
}

bool StreamSupervisor::mediaArrived()
{
    if (state_ != State::Open || mediaInSession_)
        return false;
    mediaInSession_ = true;
    attempts_ = 0;
    if (health_ != Health::Healthy) {
        // Media is back: the outage is over, and a pending report is no longer true.
        ++outage_;
        health_ = Health::Healthy;
        timers_->signalLost.cancel();
    }
    return true;
}

void StreamSupervisor::doPrepare()
{
    state_ = State::Preparing;
    if (!hooks_.prepare) {
        doOpen();
        return;
    }
    std::weak_ptr<StreamSupervisor> weak = shared_from_this();
    const std::uint64_t generation = generation_;
    hooks_.prepare([weak, generation](bool ready) {
        if (auto self = weak.lock())
            self->handlePrepared(generation, ready);
    });
}

void StreamSupervisor::handlePrepared(std::uint64_t generation, bool ready)
{
    if (generation != generation_ || state_ != State::Preparing)
        return;
    if (ready) {
        doOpen();
        return;
    }
    ++attempts_;
    scheduleAttempt();
}

void StreamSupervisor::doOpen()
{
    state_ = State::Open;
    mediaInSession_ = false;
    ++sessions_;
    std::weak_ptr<StreamSupervisor> weak = shared_from_this();
    const std::uint64_t generation = generation_;
    session_ = hooks_.open([weak, generation](const boost::system::error_code& error, bool retryAtOnce) {
        if (auto self = weak.lock())
            self->handleEnded(generation, error, retryAtOnce);
    });
}

void StreamSupervisor::handleEnded(std::uint64_t generation, const boost::system::error_code& error,
                                   bool retryAtOnce)
{
    if (generation != generation_ || state_ != State::Open) {
        ORIX_LOG(*this, LogDebug, " Stop " << what_ << " receiving");
        return;
    }
    session_ = nullptr;
    const SessionEndAction action = afterSessionEnd(error, mediaInSession_, retryAtOnce);
    if (action == SessionEndAction::resumeAtOnce) {
        ORIX_LOG(*this, LogDebug, " Schedule immediate reconnect of " << what_);
        attempts_ = 0;
        ++generation_;
        doPrepare();
        return;
    }
    if (health_ == Health::Healthy)
        beginOutage(error ? error : make_error_code(boost::system::errc::no_message_available));
    ++attempts_;
    scheduleAttempt();
}

void StreamSupervisor::scheduleAttempt()
{
    const auto delay = delay_ ? delay_(attempts_)
                              : std::chrono::milliseconds(
                                    1000ull * reconnectDelaySeconds(attempts_, static_cast<int>(random_() % 32768)));
    ORIX_LOG(*this, LogDebug,
             " Schedule reconnect of " << what_ << " after "
                                       << std::chrono::duration_cast<std::chrono::seconds>(delay).count()
                                       << " seconds, attempt=" << attempts_);
    state_ = State::Waiting;
    if (timers_->reconnect.expires_after(delay) > 0)
        ORIX_LOG(*this, LogError, " Scheduling reconnect while some reconnect is already in progress.");
    std::weak_ptr<StreamSupervisor> weak = shared_from_this();
    const std::uint64_t generation = generation_;
    timers_->reconnect.async_wait([weak, generation](const boost::system::error_code& error) {
        if (auto self = weak.lock())
            self->handleTimer(generation, error);
    });
}

void StreamSupervisor::handleTimer(std::uint64_t generation, const boost::system::error_code& error)
{
    if (error == boost::asio::error::operation_aborted || generation != generation_ ||
        state_ != State::Waiting)
        return;
    if (error) {
        ORIX_LOG(*this, LogError, " Reconnect rescheduling failed: " << error.message());
        return;
    }
    doPrepare();
}

void StreamSupervisor::beginOutage(const boost::system::error_code& cause)
{
    health_ = Health::LossPending;
    const std::uint64_t outage = ++outage_;
    timers_->signalLost.expires_after(hooks_.signalLostTime ? hooks_.signalLostTime()
                                                            : std::chrono::milliseconds(0));
    std::weak_ptr<StreamSupervisor> weak = shared_from_this();
    timers_->signalLost.async_wait([weak, outage, cause](const boost::system::error_code& error) {
        if (auto self = weak.lock())
            self->handleSignalLost(outage, error, cause);
    });
}

void StreamSupervisor::handleSignalLost(std::uint64_t outage, const boost::system::error_code& timerError,
                                        const boost::system::error_code& cause)
{
    if (timerError == boost::asio::error::operation_aborted || outage != outage_ ||
        health_ != Health::LossPending)
        return;
    health_ = Health::LossReported;
    if (hooks_.signalLost)
        hooks_.signalLost(cause);
}

void StreamSupervisor::endSession()
{
    if (auto session = std::move(session_)) {
        session_ = nullptr;
        session();
    }
}

} // namespace Vapixcam

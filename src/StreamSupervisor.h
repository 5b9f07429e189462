#pragma once
// Keeps one session of a channel's stream open while the channel is started:
// prepares it (the second stream's profile, for instance), opens it, and after
// it ends opens the next one, at once after a clean end that brought media
// (or when the owner asks for a retry at once), else after a delay that grows
// with each failed attempt. What a session is belongs to the owner: the
// video source opens an RTSP client; audio, IO, event and playback streams
// open theirs the same way.
//
// States (state()):
//   Stopped    --start-->                    Preparing
//   Preparing  --prepared-->                 Open
//   Preparing  --not prepared-->             Waiting   (delay of the next attempt)
//   Open       --ended, clean after media-->  Open     (a new session at once)
//   Open       --ended, retry at once-->      Open
//   Open       --ended, failure-->            Waiting
//   Open       --restart-->                   Open     (the old session is torn down)
//   Waiting    --timer-->                     Preparing
//   any        --stop-->                      Stopped
//   any        --abandon-->                   Abandoned (final; nothing is called any more)
//
// The outage seen by the host, beside the states:
//   Healthy   --failure-->                   LossPending (signal-lost timer armed)
//   LossPending --signal-lost time passes--> LossReported (hooks.signalLost once)
//   LossPending, LossReported --media-->     Healthy
// so each outage is reported once, the second outage of a long-running
// stream too.
//
// Threading: every member is called on the I/O context given to the
// constructor; hooks run there too. Timer completions hold a weak handle and
// compare the generation that stop, restart and abandon bump, so a late one
// is harmless.
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/util/Logging.h>
#include <random>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Vapixcam {

class StreamSupervisor final : public std::enable_shared_from_this<StreamSupervisor>,
                               public Orix::LoggerOwner {
public:
    enum class State { Stopped, Preparing, Open, Waiting, Abandoned };
    enum class Health { Healthy, LossPending, LossReported };

    // Ends the open session; the owner's session completion may still come
    // (it is then stale and ignored).
    using Session = std::function<void()>;
    // The owner calls this exactly once per session, on the I/O context.
    // retryAtOnce: the owner changed something (the transport) that makes an
    // immediate new attempt worth it.
    using SessionEnded = std::function<void(const boost::system::error_code& error, bool retryAtOnce)>;
    using Delay = std::function<std::chrono::milliseconds(std::uint64_t attempt)>;

    struct Hooks {
        // Optional; calls done(ready) once. Without it a start opens at once.
        std::function<void(std::function<void(bool ready)> done)> prepare;
        // Opens a session; ended must be called once, never inline. When the
        // stream cannot start at all (an error of the device's settings) it
        // returns null and never calls ended: the stream stays Open without
        // a session until a restart or a stop.
        std::function<Session(SessionEnded ended)> open;
        // The outage lasted the signal-lost time.
        std::function<void(const boost::system::error_code& error)> signalLost;
        // The signal-lost time, read when an outage begins.
        std::function<std::chrono::milliseconds()> signalLostTime;
    };

    // what names the stream in logs ("video stream").
    static std::shared_ptr<StreamSupervisor> create(boost::asio::io_context& io, Hooks hooks,
                                                    std::string what, Orix::LoggerPtr logger,
                                                    const std::string& logPrefix);
    ~StreamSupervisor() override;

    // Tests replace the delay before reconnect number attempt (1 = after the
    // first failure); the default is reconnectDelaySeconds with jitter.
    void setReconnectDelay(Delay delay);

    void start();
    void stop();
    // A new session at once (settings the open session cannot take); ignored
    // unless a session is open or being prepared.
    void restart();
    // Media arrived; true for the first of the session.
    bool mediaArrived();
    // Final: timers cancelled, the session ended, no hook called any more.
    void abandon();

    State state() const { return state_; }
    Health health() const { return health_; }
    std::uint64_t attempts() const { return attempts_; }
    // Sessions opened since construction.
    std::uint64_t sessions() const { return sessions_; }

private:
    struct Timers;
    StreamSupervisor(boost::asio::io_context& io, Hooks hooks, std::string what);

    void doPrepare();
    void handlePrepared(std::uint64_t generation, bool ready);
    void doOpen();
    void handleEnded(std::uint64_t generation, const boost::system::error_code& error,
                     bool retryAtOnce);
    void scheduleAttempt();
    void handleTimer(std::uint64_t generation, const boost::system::error_code& error);
    void beginOutage(const boost::system::error_code& error);
    void handleSignalLost(std::uint64_t outage, const boost::system::error_code& timerError,
                          const boost::system::error_code& cause);
    void endSession();

    Hooks hooks_;
    std::string what_;
    std::unique_ptr<Timers> timers_;
    State state_ = State::Stopped;
    Health health_ = Health::Healthy;
    Session session_;
    std::uint64_t generation_ = 0; // bumped by start, stop, restart and abandon
    std::uint64_t outage_ = 0;     // bumped when an outage begins or ends
    std::uint64_t attempts_ = 0;
    std::uint64_t sessions_ = 0;
    bool mediaInSession_ = false;
    Delay delay_;
    std::minstd_rand random_{std::random_device{}()};
};

} // namespace Vapixcam

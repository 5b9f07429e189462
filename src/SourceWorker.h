#pragma once
// The thread of a source that runs on its own: a private I/O context and the
// worker thread that runs it while the source is started. Start and Stop
// carry the log lines every such source writes; Stop runs the owner's stop
// step on the worker and then joins it, so once Stop has returned nothing of
// the source runs any more.
//
// States:
//   stopped --start-->  started (worker thread present)
//   started --stop-->   stopped (stop step run, worker joined)
//   started --stop from the worker itself--> refused (a thread cannot join itself)
//   started --retire from the worker--> the worker ends after the current
//            handler and then runs the owner's last step (used by a Destroy
//            the host makes from inside one of our callbacks)
//
// Start and Stop may be called from any thread but the worker; they are
// serialised by the worker's own lock.
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <thread>

namespace boost::asio {
class io_context;
}

namespace Vapixcam {

class SourceWorker {
public:
    // log names the source in the start and stop lines; it must outlive
    // the worker.
    explicit SourceWorker(const Orix::LoggerOwner& log);
    ~SourceWorker();
    SourceWorker(const SourceWorker&) = delete;
    SourceWorker& operator=(const SourceWorker&) = delete;

    boost::asio::io_context& ioContext();

    // Starts the worker and posts first to it. False when the worker runs
    // already.
    bool start(std::function<void()> first);
    // Runs last on the worker, then joins it. False without a worker ("Skip
    // stopping, as not started") or when called from the worker itself.
    bool stop(std::function<void()> last);
    // From the worker only: ends the worker once the running handler
    // returns, then calls after on the worker, which may delete the owner
    // of this object. The thread is detached; after runs last on it.
    void retire(std::function<void()> last, std::function<void()> after);

    bool started() const;
    bool onWorkerThread() const;

private:
    const Orix::LoggerOwner& log_;
    std::unique_ptr<boost::asio::io_context> io_;
    struct Run;
    std::shared_ptr<Run> run_; // of the running thread
    mutable std::mutex mutex_;
    std::thread thread_;
    std::thread::id threadId_;
};

// Posts fn to io, for headers that keep Asio out.
void postToContext(boost::asio::io_context& io, std::function<void()> fn);

} // namespace Vapixcam

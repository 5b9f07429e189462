#include "SourceWorker.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;

// Runs the context until it is stopped; a handler that throws is logged and
// the loop goes on, as the worker has nobody to hand the exception to.
void runWorker(boost::asio::io_context& io, const Orix::LoggerOwner& log)
{
    auto work = boost::asio::make_work_guard(io);
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& e) {
            ORIX_LOG(log, LogError, " std::exception: " << e.what());
        }
    }
}

} // namespace

// What the thread itself holds: it outlives the worker when the worker was
// retired and its owner deleted from the last step.
struct SourceWorker::Run {
    std::function<void()> after;
};

SourceWorker::SourceWorker(const Orix::LoggerOwner& log)
    : log_(log), io_(std::make_unique<boost::asio::io_context>(1))
{
}

SourceWorker::~SourceWorker()
{
    // The owner stops the worker before it goes; this only guards against a
    // thread left running by a failed construction.
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) {
        io_->stop();
        thread_.join();
    }
}

void postToContext(boost::asio::io_context& io, std::function<void()> fn)
{
    boost::asio::post(io, std::move(fn));
}

boost::asio::io_context& SourceWorker::ioContext()
{
    return *io_;
}

bool SourceWorker::start(std::function<void()> first)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable())
        return false;
    ORIX_LOG(log_, LogDebug, " Starting");
    io_->restart();
    boost::asio::post(*io_, std::move(first));
    run_ = std::make_shared<Run>();
    thread_ = std::thread([io = io_.get(), &log = log_, run = run_] {
        runWorker(*io, log);
        if (auto after = std::move(run->after))
            after();
    });
    threadId_ = thread_.get_id();
    ORIX_LOG(log_, LogDebug, " Started");
    return true;
}

bool SourceWorker::stop(std::function<void()> last)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) {
        ORIX_LOG(log_, LogDebug, " Skip stopping, as not started");
        return false;
    }
    if (std::this_thread::get_id() == threadId_) {
        ORIX_LOG(log_, LogError, " Stop from the source's own thread is refused");
        return false;
    }
    ORIX_LOG(log_, LogDebug, " Stopping");
    // Completions of the stop step (cancelled requests) stay queued and are
    // dropped with the context, or skipped as stale by the next start.
    boost::asio::post(*io_, [io = io_.get(), last = std::move(last)] {
        last();
        io->stop();
    });
    thread_.join();
    thread_ = std::thread();
    threadId_ = {};
    ORIX_LOG(log_, LogDebug, " Stopped");
    return true;
}

void SourceWorker::retire(std::function<void()> last, std::function<void()> after)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable() || std::this_thread::get_id() != threadId_)
        return;
    ORIX_LOG(log_, LogDebug, " Stopping");
    last();
    io_->stop();
    // The thread runs on until the handler on its stack returns, then calls
    // `after`; nothing of this object is touched after that.
    run_->after = std::move(after);
    thread_.detach();
    threadId_ = {};
}

bool SourceWorker::started() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_.joinable();
}

bool SourceWorker::onWorkerThread() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_.joinable() && std::this_thread::get_id() == threadId_;
}

} // namespace Vapixcam

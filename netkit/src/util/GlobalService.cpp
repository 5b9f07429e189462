#include <netkit/util/GlobalService.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace Orix::Utility {

struct GlobalService::Impl {
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work{
        io.get_executor()};
    std::vector<std::thread> threads;
};

GlobalService::GlobalService() : impl_(std::make_unique<Impl>())
{
    for (int i = 0; i < 2; ++i)
        impl_->threads.emplace_back([io = &impl_->io] { io->run(); });
}

GlobalService::~GlobalService()
{
    impl_->work.reset();
    impl_->io.stop();
    for (auto& thread : impl_->threads) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else if (thread.joinable())
            thread.join();
    }
}

std::shared_ptr<GlobalService> GlobalService::instance()
{
    static std::mutex mutex;
    static std::weak_ptr<GlobalService> current;
    std::lock_guard<std::mutex> lock(mutex);
    auto service = current.lock();
    if (!service) {
        service.reset(new GlobalService());
        current = service;
    }
    return service;
}

boost::asio::io_context& GlobalService::ioContext()
{
    return impl_->io;
}

std::uint64_t timeStamp()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

} // namespace Orix::Utility

#pragma once
// The library's shared I/O service: one io_context run by worker threads.
// It lives while somebody holds a handle from instance(); the last handle
// dropped stops and joins the threads.
#include <cstdint>
#include <memory>

namespace boost::asio {
class io_context;
}

namespace Orix::Utility {

class GlobalService {
public:
    static std::shared_ptr<GlobalService> instance();
    ~GlobalService();
    GlobalService(const GlobalService&) = delete;
    GlobalService& operator=(const GlobalService&) = delete;

    boost::asio::io_context& ioContext();

private:
    GlobalService();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Host time: milliseconds since 1970-01-01 00:00 UTC.
std::uint64_t timeStamp();

} // namespace Orix::Utility

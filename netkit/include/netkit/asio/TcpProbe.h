#pragma once
// Opens a TCP connection and closes it again, nothing sent: tells whether a
// port is reachable.
#include <boost/system/error_code.hpp>
#include <chrono>
#include <functional>
#include <netkit/asio/ConnectionInfo.h>

namespace boost::asio {
class io_context;
}

namespace Orix::asio {

// The completion runs once on io, never inline. A name is resolved first.
void asyncTcpProbe(boost::asio::io_context& io, const Endpoint& endpoint,
                   std::chrono::milliseconds timeout,
                   std::function<void(const boost::system::error_code&)> completion);

} // namespace Orix::asio

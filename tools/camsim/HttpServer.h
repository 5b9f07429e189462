#pragma once
// HTTP/1.1 (and 1.0) server on Boost.Beast, plain or behind TLS, handing
// every parsed request to the dispatcher. Keep-alive as the client asks;
// headers are limited to 8 KiB (431) and bodies to 1 MiB (413); an idle
// connection is closed after 60 s.
#include <boost/system/error_code.hpp>

#include <memory>
#include <string>

namespace boost::asio {
class io_context;
namespace ssl {
class context;
}
} // namespace boost::asio

namespace Camsim {

class RequestDispatcher;
class RtspTunnelHandler;
class StreamingRoutes;

class HttpServer {
public:
    static constexpr std::size_t kHeaderLimit = 8 * 1024;
    static constexpr std::size_t kBodyLimit = 1024 * 1024;

    // tls null: plain HTTP.
    HttpServer(boost::asio::io_context& io, RequestDispatcher& dispatcher, boost::asio::ssl::context* tls);
    ~HttpServer();

    // Binds (port 0: any free port) and starts accepting.
    // Listening again after stop() works too (a simulated restart).
    boost::system::error_code listen(const std::string& address, unsigned short port);
    unsigned short port() const;
    // Stops accepting and drops every open connection.
    void stop();
    // Requests that open a leg of an RTSP over HTTP tunnel go here instead
    // of to the dispatcher. Set before listen().
    void setRtspTunnel(RtspTunnelHandler* tunnel);
    // Requests for these paths keep their connection (StreamingRoutes.h).
    // Set before listen().
    void setStreamingRoutes(StreamingRoutes* routes);

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace Camsim

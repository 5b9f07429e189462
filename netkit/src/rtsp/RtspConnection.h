#pragma once
// The byte pipe between the RTSP client and a server: either one TCP
// connection, or an RTSP-over-HTTP tunnel (a GET connection that carries the
// server's bytes and a POST connection that carries base64 requests, tied by
// an x-sessioncookie), over TLS when the camera is reached by https. The
// session above sees the same stream of responses and "$" frames in all cases.
//
// Runs on the io_context given; handlers are called there, never inline from
// open()/send(). close() stops everything without calling a handler.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/http/DigestAuth.h>
#include <optional>
#include <string>

namespace Orix::Utility::rtsp {

struct TunnelOptions {
    std::string target;     // the GET/POST target, "/axis-media/media.amp?..."
    std::string hostHeader; // "camera:80"
    std::string user;
    std::string password;
    std::string userAgent;
    // Set for an https camera: both legs run TLS, verified as the HTTP
    // client verifies (trust store and host name, or what the info relaxes:
    // self-signed acceptance, a SHA-256 pin).
    asio::ConnectionInfoPtr tls;
};

class RtspConnection : public std::enable_shared_from_this<RtspConnection> {
public:
    using DataHandler = std::function<void(const std::uint8_t* data, std::size_t size)>;
    using ErrorHandler = std::function<void(const boost::system::error_code&)>;

    RtspConnection(boost::asio::io_context& io, DataHandler onData, ErrorHandler onError);
    ~RtspConnection();

    // Resolves host (numeric or a name) and connects; with a tunnel, also
    // runs the HTTP exchange (with authentication) on both connections.
    // done gets no error when the pipe is ready. Errors: the socket's own
    // (connection_refused, ...), rtsp::error::unauthorized / notFound /
    // requestFailed / protocolViolation for a refused tunnel, and the HTTP
    // client's TLS errors (http::error::certificateRejected,
    // fingerprintMismatch, tlsHandshakeFailed) for a tunnel over TLS.
    void open(const std::string& host, std::uint16_t port, std::optional<TunnelOptions> tunnel,
              ErrorHandler done);

    // Once open, onError gets boost::asio::error::eof when the server closes
    // the receiving connection in order, rtsp::error::connectionLost when it
    // breaks, or the socket's own error.

    // Queues one RTSP request (or interleaved RTCP); sent in order.
    void send(std::string bytes);
    void close();

    void setReceiveBufferSize(std::size_t bytes);
    bool tunnelled() const { return tunnel_.has_value(); }
    // Address of our end and of the server's end of the (GET) connection.
    boost::asio::ip::address localAddress() const;
    boost::asio::ip::address remoteAddress() const;

private:
    struct TlsLayer;
    using IoHandler = std::function<void(const boost::system::error_code&, std::size_t)>;

    void doResolve(const std::string& host, std::uint16_t port);
    void doConnect(boost::asio::ip::tcp::socket& socket, std::function<void()> next);
    void doHandshake(boost::asio::ip::tcp::socket& socket, std::function<void()> next);
    // Reads and writes on a leg, through its TLS layer when there is one.
    void asyncWrite(boost::asio::ip::tcp::socket& socket, boost::asio::const_buffer bytes, IoHandler handler);
    void asyncReadSome(boost::asio::ip::tcp::socket& socket, boost::asio::mutable_buffer into, IoHandler handler);
    std::shared_ptr<TlsLayer>& tlsOf(boost::asio::ip::tcp::socket& socket);
    void doTunnelGet();
    void handleTunnelAnswer(const boost::system::error_code& ec, std::size_t bytes);
    void doTunnelPost();
    std::string tunnelHeaders(const char* method);
    void startReading();
    void doWrite();
    void doDrainPost();
    void finishOpen(const boost::system::error_code& ec);
    void fail(const boost::system::error_code& ec);

    boost::asio::io_context& io_;
    boost::asio::ip::tcp::resolver resolver_;
    boost::asio::ip::tcp::socket socket_;     // the RTSP connection, or the tunnel's GET
    boost::asio::ip::tcp::socket postSocket_; // the tunnel's POST
    std::shared_ptr<TlsLayer> tls_;           // TLS on socket_, per connection
    std::shared_ptr<TlsLayer> postTls_;       // TLS on postSocket_
    boost::asio::ip::tcp::resolver::results_type endpoints_;
    DataHandler onData_;
    ErrorHandler onError_;
    ErrorHandler openDone_;
    std::optional<TunnelOptions> tunnel_;
    std::optional<http::DigestSession> httpAuth_;
    std::string cookie_;
    std::string tunnelAnswer_;
    bool authTried_ = false;
    bool postOpen_ = false;
    bool postConnecting_ = false;
    unsigned postReopens_ = 0;
    bool closed_ = false;
    bool writing_ = false;
    std::size_t receiveBufferSize_ = 0;
    std::deque<std::string> queue_;
    std::uint8_t readBuffer_[64 * 1024];
    std::uint8_t drainBuffer_[512];
};

} // namespace Orix::Utility::rtsp

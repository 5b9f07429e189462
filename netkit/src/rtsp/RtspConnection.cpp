#include "rtsp/RtspConnection.h"

#include "http/TlsPolicy.h"

#include <netkit/http/HttpError.h>
#include <netkit/rtsp/RtspError.h>
#include <netkit/rtsp/RtspStreamReader.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/write.hpp>

#include <random>

namespace Orix::Utility::rtsp {
namespace {

constexpr std::size_t kMaxTunnelAnswerBytes = 16 * 1024;
constexpr unsigned kMaxPostReopens = 8;
constexpr std::size_t kMaxQueuedWrites = 256;

std::string makeCookie()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::mt19937 gen(device());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    std::string cookie;
    for (int i = 0; i < 22; ++i)
        cookie += alphabet[pick(gen)];
    return cookie;
}

bool isConnectionEnd(const boost::system::error_code& ec)
{
    namespace errc = boost::system::errc;
    // A TLS peer that closes without close_notify ends the stream just the same.
    return ec == boost::asio::error::eof || ec == errc::connection_reset || ec == errc::connection_aborted ||
           ec == errc::broken_pipe || ec == errc::not_connected || ec == boost::asio::ssl::error::stream_truncated;
}

} // namespace

// TLS over one leg's socket. Every operation on the stream holds the layer,
// so a leg can be reconnected (a new layer) while an old read still ends.
struct RtspConnection::TlsLayer {
    TlsLayer(boost::asio::ip::tcp::socket& socket, const asio::ConnectionInfo& info)
        : policy(info), stream(socket, http::detail::sharedTlsContext())
    {
    }
    http::detail::TlsPolicy policy;
    boost::asio::ssl::stream<boost::asio::ip::tcp::socket&> stream;
};

RtspConnection::RtspConnection(boost::asio::io_context& io, DataHandler onData, ErrorHandler onError)
    : io_(io), resolver_(io), socket_(io), postSocket_(io), onData_(std::move(onData)), onError_(std::move(onError))
{
}

RtspConnection::~RtspConnection()
{
    boost::system::error_code ignored;
    socket_.close(ignored);
    postSocket_.close(ignored);
}

void RtspConnection::open(const std::string& host, std::uint16_t port, std::optional<TunnelOptions> tunnel,
                          ErrorHandler done)
{
    tunnel_ = std::move(tunnel);
    openDone_ = std::move(done);
    if (tunnel_)
        cookie_ = makeCookie();
    doResolve(host, port);
}

void RtspConnection::doResolve(const std::string& host, std::uint16_t port)
{
    resolver_.async_resolve(host, std::to_string(port), boost::asio::ip::tcp::resolver::numeric_service,
                            [self = shared_from_this()](const boost::system::error_code& ec,
                                                        boost::asio::ip::tcp::resolver::results_type results) {
                                if (self->closed_)
                                    return;
                                if (ec)
                                    return self->fail(ec);
                                self->endpoints_ = std::move(results);
                                self->doConnect(self->socket_, [self] {
                                    if (self->tunnel_)
                                        return self->doTunnelGet();
                                    self->finishOpen({});
                                });
                            });
}

void RtspConnection::doConnect(boost::asio::ip::tcp::socket& socket, std::function<void()> next)
{
    tlsOf(socket).reset();
    boost::asio::async_connect(socket, endpoints_,
                               [self = shared_from_this(), &socket, next = std::move(next)](
                                   const boost::system::error_code& ec, const boost::asio::ip::tcp::endpoint&) {
                                   if (self->closed_)
                                       return;
                                   if (ec)
                                       return self->fail(ec);
                                   boost::system::error_code ignored;
                                   socket.set_option(boost::asio::ip::tcp::no_delay(true), ignored);
                                   if (self->receiveBufferSize_ > 0 && &socket == &self->socket_)
                                       socket.set_option(boost::asio::socket_base::receive_buffer_size(
                                                             static_cast<int>(self->receiveBufferSize_)),
                                                         ignored);
                                   if (self->tunnel_ && self->tunnel_->tls)
                                       return self->doHandshake(socket, std::move(next));
                                   next();
                               });
}

void RtspConnection::doHandshake(boost::asio::ip::tcp::socket& socket, std::function<void()> next)
{
    auto layer = std::make_shared<TlsLayer>(socket, *tunnel_->tls);
    tlsOf(socket) = layer;
    if (!layer->policy.prepare(layer->stream.native_handle()))
        return fail(make_error_code(http::error::tlsHandshakeFailed));
    TlsLayer* raw = layer.get();
    layer->stream.set_verify_callback([raw](bool preverified, boost::asio::ssl::verify_context& context) {
        return raw->policy.verify(preverified, context);
    });
    layer->stream.async_handshake(boost::asio::ssl::stream_base::client,
                                  [self = shared_from_this(), layer, next = std::move(next)](
                                      const boost::system::error_code& ec) {
                                      if (self->closed_)
                                          return;
                                      if (ec)
                                          return self->fail(layer->policy.handshakeError());
                                      next();
                                  });
}

std::shared_ptr<RtspConnection::TlsLayer>& RtspConnection::tlsOf(boost::asio::ip::tcp::socket& socket)
{
    return &socket == &socket_ ? tls_ : postTls_;
}

void RtspConnection::asyncWrite(boost::asio::ip::tcp::socket& socket, boost::asio::const_buffer bytes,
                                IoHandler handler)
{
    if (auto layer = tlsOf(socket))
        boost::asio::async_write(layer->stream, bytes,
                                 [layer, handler = std::move(handler)](const boost::system::error_code& ec,
                                                                       std::size_t n) { handler(ec, n); });
    else
        boost::asio::async_write(socket, bytes, std::move(handler));
}

void RtspConnection::asyncReadSome(boost::asio::ip::tcp::socket& socket, boost::asio::mutable_buffer into,
                                   IoHandler handler)
{
    if (auto layer = tlsOf(socket))
        layer->stream.async_read_some(into, [layer, handler = std::move(handler)](
                                                const boost::system::error_code& ec, std::size_t n) { handler(ec, n); });
    else
        socket.async_read_some(into, std::move(handler));
}

std::string RtspConnection::tunnelHeaders(const char* method)
{
    std::string out = std::string(method) + " " + tunnel_->target + " HTTP/1.0\r\n";
    out += "Host: " + tunnel_->hostHeader + "\r\n";
    out += "x-sessioncookie: " + cookie_ + "\r\n";
    if (method[0] == 'G')
        out += "Accept: application/x-rtsp-tunnelled\r\n";
    else
        out += "Content-Type: application/x-rtsp-tunnelled\r\n";
    out += "Pragma: no-cache\r\nCache-Control: no-cache\r\n";
    if (!tunnel_->userAgent.empty())
        out += "User-Agent: " + tunnel_->userAgent + "\r\n";
    if (httpAuth_)
        out += "Authorization: " +
               httpAuth_->authorization(tunnel_->user, tunnel_->password, method, tunnel_->target) + "\r\n";
    if (method[0] == 'P')
        out += "Content-Length: 32767\r\nExpires: Sun, 9 Jan 1972 00:00:00 GMT\r\n";
    out += "\r\n";
    return out;
}

void RtspConnection::doTunnelGet()
{
    auto request = std::make_shared<std::string>(tunnelHeaders("GET"));
    tunnelAnswer_.clear();
    asyncWrite(socket_, boost::asio::buffer(*request),
               [self = shared_from_this(), request](const boost::system::error_code& ec, std::size_t) {
                   if (self->closed_)
                       return;
                   if (ec)
                       return self->fail(ec);
                   self->asyncReadSome(self->socket_, boost::asio::buffer(self->readBuffer_),
                                       [self](const boost::system::error_code& ec, std::size_t n) {
                                           self->handleTunnelAnswer(ec, n);
                                       });
               });
}

void RtspConnection::handleTunnelAnswer(const boost::system::error_code& ec, std::size_t bytes)
{
    if (closed_)
        return;
    if (ec)
        return fail(isConnectionEnd(ec) ? make_error_code(error::connectionLost) : ec);
    tunnelAnswer_.append(reinterpret_cast<const char*>(readBuffer_), bytes);
    std::size_t end = tunnelAnswer_.find("\r\n\r\n");
    std::size_t endLength = 4;
    if (end == std::string::npos) {
        end = tunnelAnswer_.find("\n\n");
        endLength = 2;
    }
    if (end == std::string::npos) {
        if (tunnelAnswer_.size() > kMaxTunnelAnswerBytes)
            return fail(make_error_code(error::messageTooLarge));
        asyncReadSome(socket_, boost::asio::buffer(readBuffer_),
                      [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                          self->handleTunnelAnswer(ec, n);
                      });
        return;
    }
    if (end + endLength > kMaxTunnelAnswerBytes)
        return fail(make_error_code(error::messageTooLarge));
    RtspMessage answer;
    if (parseHeaderBlock(std::string_view(tunnelAnswer_).substr(0, end + endLength), answer) || answer.isRequest ||
        answer.protocol.rfind("HTTP/", 0) != 0)
        return fail(make_error_code(error::protocolViolation));
    if (answer.status == 401 && !authTried_ && !tunnel_->user.empty()) {
        std::vector<http::AuthChallenge> challenges;
        for (const auto& value : answer.findAll("WWW-Authenticate")) {
            auto parsed = http::parseChallenges(value);
            challenges.insert(challenges.end(), parsed.begin(), parsed.end());
        }
        if (const http::AuthChallenge* chosen = http::chooseChallenge(challenges)) {
            authTried_ = true;
            httpAuth_.emplace(*chosen);
            boost::system::error_code ignored;
            socket_.close(ignored);
            doConnect(socket_, [self = shared_from_this()] { self->doTunnelGet(); });
            return;
        }
    }
    if (answer.status == 401)
        return fail(make_error_code(error::unauthorized));
    if (answer.status == 404)
        return fail(make_error_code(error::notFound));
    if (answer.status != 200)
        return fail(make_error_code(error::requestFailed));
    // Whatever followed the header is already the RTSP stream.
    tunnelAnswer_.erase(0, end + endLength);
    doTunnelPost();
}

void RtspConnection::doTunnelPost()
{
    postConnecting_ = true;
    boost::system::error_code ignored;
    postSocket_.close(ignored);
    doConnect(postSocket_, [self = shared_from_this()] {
        auto request = std::make_shared<std::string>(self->tunnelHeaders("POST"));
        self->asyncWrite(self->postSocket_, boost::asio::buffer(*request),
                                 [self, request](const boost::system::error_code& ec, std::size_t) {
                                     if (self->closed_)
                                         return;
                                     self->postConnecting_ = false;
                                     if (ec)
                                         return self->fail(isConnectionEnd(ec) ? make_error_code(error::connectionLost) : ec);
                                     self->postOpen_ = true;
                                     self->doDrainPost();
                                     if (self->openDone_) {
                                         self->finishOpen({});
                                         if (self->closed_)
                                             return;
                                     }
                                     self->doWrite();
                                 });
    });
}

void RtspConnection::doDrainPost()
{
    // The POST never gets an answer; reading only notices when the server
    // drops it, after which the next request reopens it.
    asyncReadSome(postSocket_, boost::asio::buffer(drainBuffer_),
                                [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                                    if (self->closed_ || !self->postOpen_)
                                        return;
                                    if (!ec)
                                        return self->doDrainPost();
                                    self->postOpen_ = false;
                                    boost::system::error_code ignored;
                                    self->postSocket_.close(ignored);
                                    if (!self->queue_.empty() && !self->writing_)
                                        self->doWrite();
                                });
}

void RtspConnection::finishOpen(const boost::system::error_code& ec)
{
    ErrorHandler done = std::move(openDone_);
    openDone_ = nullptr;
    if (ec) {
        close();
    } else {
        startReading();
    }
    if (done)
        done(ec);
    if (!ec && !closed_ && !tunnel_)
        doWrite();
    if (!ec && !closed_ && !tunnelAnswer_.empty()) {
        std::string early = std::move(tunnelAnswer_);
        tunnelAnswer_.clear();
        if (onData_)
            onData_(reinterpret_cast<const std::uint8_t*>(early.data()), early.size());
    }
}

void RtspConnection::startReading()
{
    asyncReadSome(socket_, boost::asio::buffer(readBuffer_),
                            [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                if (self->closed_)
                                    return;
                                if (ec == boost::asio::error::eof || ec == boost::asio::ssl::error::stream_truncated)
                                    return self->fail(boost::asio::error::eof);
                                if (ec)
                                    return self->fail(isConnectionEnd(ec) ? make_error_code(error::connectionLost) : ec);
                                if (self->onData_)
                                    self->onData_(self->readBuffer_, n);
                                if (!self->closed_)
                                    self->startReading();
                            });
}

void RtspConnection::send(std::string bytes)
{
    if (closed_)
        return;
    if (queue_.size() >= kMaxQueuedWrites) {
        boost::asio::post(io_, [self = shared_from_this()] { self->fail(make_error_code(error::messageTooLarge)); });
        return;
    }
    queue_.push_back(tunnel_ ? http::base64Encode(bytes) : std::move(bytes));
    if (!writing_ && !openDone_)
        doWrite();
}

void RtspConnection::doWrite()
{
    if (closed_ || writing_ || queue_.empty())
        return;
    if (tunnel_ && !postOpen_) {
        if (postConnecting_)
            return;
        if (++postReopens_ > kMaxPostReopens)
            return fail(make_error_code(error::connectionLost));
        return doTunnelPost();
    }
    writing_ = true;
    auto& socket = tunnel_ ? postSocket_ : socket_;
    asyncWrite(socket, boost::asio::buffer(queue_.front()),
                             [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                                 self->writing_ = false;
                                 if (self->closed_)
                                     return;
                                 if (ec && self->tunnel_) {
                                     // A dropped POST is reopened; the request goes again.
                                     self->postOpen_ = false;
                                     return self->doWrite();
                                 }
                                 if (ec)
                                     return self->fail(isConnectionEnd(ec) ? make_error_code(error::connectionLost) : ec);
                                 self->queue_.pop_front();
                                 self->doWrite();
                             });
}

void RtspConnection::fail(const boost::system::error_code& ec)
{
    if (closed_)
        return;
    if (openDone_)
        return finishOpen(ec);
    ErrorHandler onError = std::move(onError_);
    close();
    if (onError)
        onError(ec);
}

void RtspConnection::close()
{
    if (closed_)
        return;
    closed_ = true;
    resolver_.cancel();
    boost::system::error_code ignored;
    socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    postSocket_.close(ignored);
    queue_.clear();
    onData_ = nullptr;
    onError_ = nullptr;
    openDone_ = nullptr;
}

void RtspConnection::setReceiveBufferSize(std::size_t bytes)
{
    receiveBufferSize_ = bytes;
}

boost::asio::ip::address RtspConnection::localAddress() const
{
    boost::system::error_code ec;
    auto endpoint = socket_.local_endpoint(ec);
    return ec ? boost::asio::ip::address{} : endpoint.address();
}

boost::asio::ip::address RtspConnection::remoteAddress() const
{
    boost::system::error_code ec;
    auto endpoint = socket_.remote_endpoint(ec);
    return ec ? boost::asio::ip::address{} : endpoint.address();
}

} // namespace Orix::Utility::rtsp

#include "HttpServer.h"

#include "RequestDispatcher.h"
#include "RtspByteStream.h"
#include "RtspTunnel.h"
#include "StreamingRoutes.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

namespace Camsim {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr auto kIdleTimeout = std::chrono::seconds(60);
// A streamed answer's client that lets this much pile up is disconnected.
constexpr std::size_t kMaxStreamBacklog = 256 * 1024;

// Bytes that no HTTP parser accepts as a status line.
const char kGarbage[] = "\x16\x03\x01\x00\x07garbage\x00\xff\xfe\r\n\r\nthis is not HTTP\r\n";

// What the server needs of a connection to drop it: a restart of the
// simulated camera closes every open connection.
class Droppable {
public:
    virtual ~Droppable() = default;
    virtual void drop() = 0;
};

template <class Stream>
class Session : public Droppable, public std::enable_shared_from_this<Session<Stream>> {
    static constexpr bool kTls = !std::is_same<Stream, beast::tcp_stream>::value;

public:
    void drop() override
    {
        asio::post(stream_.get_executor(), [self = this->shared_from_this()] {
            self->timer_.cancel();
            self->close();
        });
    }

    template <class... Args>
    explicit Session(RequestDispatcher& dispatcher, RtspTunnelHandler* tunnel, StreamingRoutes* streaming,
                     Args&&... args)
        : stream_(std::forward<Args>(args)...), dispatcher_(dispatcher), tunnel_(tunnel), streaming_(streaming),
          timer_(stream_.get_executor())
    {
    }

    void start()
    {
        if constexpr (kTls) {
            beast::get_lowest_layer(stream_).expires_after(kIdleTimeout);
            stream_.async_handshake(asio::ssl::stream_base::server,
                                    beast::bind_front_handler(&Session::handleHandshake, this->shared_from_this()));
        } else {
            doRead();
        }
    }

private:
    void handleHandshake(error_code ec)
    {
        if (!ec)
            doRead();
    }

    void doRead()
    {
        parser_.emplace();
        parser_->header_limit(HttpServer::kHeaderLimit);
        // The body limit is set once the head is known: a long POST to a
        // streaming route may announce any length.
        parser_->body_limit((std::numeric_limits<std::uint64_t>::max)());
        beast::get_lowest_layer(stream_).expires_after(kIdleTimeout);
        http::async_read_header(stream_, buffer_, *parser_,
                                beast::bind_front_handler(&Session::handleHeader, this->shared_from_this()));
    }

    void handleHeader(error_code ec, std::size_t n)
    {
        if (ec)
            return handleRead(ec, n);
        if (tunnel_) {
            HttpRequest head = requestHead();
            if (isTunnelRequest(head))
                return openTunnel(std::move(head));
        }
        if (streaming_) {
            const std::string target(parser_->get().target());
            if (streaming_->handles(target.substr(0, target.find('?'))))
                return openStreaming(requestHead());
        }
        const auto length = parser_->content_length();
        if (length && *length > HttpServer::kBodyLimit)
            return refuse(413);
        parser_->body_limit(HttpServer::kBodyLimit);
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&Session::handleRead, this->shared_from_this()));
    }

    HttpRequest requestHead() const
    {
        const auto& req = parser_->get();
        HttpRequest request;
        request.method = std::string(req.method_string());
        request.target = std::string(req.target());
        for (const auto& field : req)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.secure = kTls;
        return request;
    }

    // RTSP over HTTP: after admission the connection belongs to the tunnel,
    // with whatever the client sent after the head.
    void openTunnel(HttpRequest head)
    {
        if (auto refusal = tunnel_->admit(head)) {
            keepAlive_ = false;
            version_ = parser_->get().version();
            head_ = false;
            return write(*refusal);
        }
        beast::get_lowest_layer(stream_).expires_never();
        std::string initial = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        auto leg = std::make_unique<AsioByteStream<Stream>>(this->shared_from_this(), stream_,
                                                            beast::get_lowest_layer(stream_).socket());
        if (head.method == "GET")
            tunnel_->openGetLeg(std::move(leg), head);
        else
            tunnel_->openPostLeg(std::move(leg), head, std::move(initial));
    }

    void openStreaming(HttpRequest head)
    {
        outcome_ = dispatcher_.dispatch(head);
        keepAlive_ = false;
        version_ = parser_->get().version();
        head_ = false;
        if (outcome_.action != DispatchOutcome::Action::Respond || outcome_.response.status != 200)
            return perform();
        beast::get_lowest_layer(stream_).expires_never();
        std::string initial = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        streaming_->open(std::make_unique<AsioByteStream<Stream>>(this->shared_from_this(), stream_,
                                                                  beast::get_lowest_layer(stream_).socket()),
                         head, std::move(initial), version_);
    }

    void handleRead(error_code ec, std::size_t)
    {
        if (ec == http::error::end_of_stream || ec == http::error::partial_message)
            return close();
        if (ec == http::error::body_limit)
            return refuse(413);
        if (ec == http::error::header_limit)
            return refuse(431);
        if (ec) {
            if (ec.category() == http::make_error_code(http::error::bad_method).category())
                return refuse(400);
            return close(); // timeout, reset, TLS failure
        }

        const auto& req = parser_->get();
        HttpRequest request;
        request.method = std::string(req.method_string());
        request.target = std::string(req.target());
        for (const auto& field : req)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.body = req.body();
        request.secure = kTls;
        keepAlive_ = req.keep_alive();
        version_ = req.version();
        head_ = req.method() == http::verb::head;

        outcome_ = dispatcher_.dispatch(request);
        if (outcome_.delay.count() > 0) {
            timer_.expires_after(outcome_.delay);
            timer_.async_wait(beast::bind_front_handler(&Session::handleDelay, this->shared_from_this()));
            return;
        }
        perform();
    }

    void handleDelay(error_code ec)
    {
        if (ec)
            return close();
        perform();
    }

    void perform()
    {
        switch (outcome_.action) {
        case DispatchOutcome::Action::Close:
            return close();
        case DispatchOutcome::Action::Garbage:
            keepAlive_ = false;
            asio::async_write(stream_, asio::buffer(kGarbage, sizeof kGarbage - 1),
                              beast::bind_front_handler(&Session::handleWrite, this->shared_from_this()));
            return;
        case DispatchOutcome::Action::Respond:
            write(outcome_.response);
            return;
        }
    }

    void refuse(int status)
    {
        std::string method;
        std::string target;
        bool authorization = false;
        if (parser_->is_header_done()) {
            method = std::string(parser_->get().method_string());
            target = std::string(parser_->get().target());
            authorization = parser_->get().count(http::field::authorization) > 0;
        }
        dispatcher_.logRefused(method, target, authorization, status, kTls);
        keepAlive_ = false;
        version_ = 11;
        head_ = false;
        write(HttpResponse::text(status, std::to_string(status) + " " + reasonPhrase(status) + "\n"));
    }

    void write(const HttpResponse& r)
    {
        if (r.stream && !head_)
            return writeStreamed(r);
        response_.emplace();
        response_->version(version_ == 10 ? 10 : 11);
        response_->result(static_cast<unsigned>(r.status));
        response_->reason(reasonPhrase(r.status));
        if (!r.contentType.empty())
            response_->set(http::field::content_type, r.contentType);
        for (const auto& h : r.headers)
            response_->insert(h.first, h.second);
        response_->keep_alive(keepAlive_);
        if (head_) {
            response_->content_length(r.body.size());
        } else {
            response_->body() = r.body;
            response_->prepare_payload();
        }
        beast::get_lowest_layer(stream_).expires_after(kIdleTimeout);
        http::async_write(stream_, *response_,
                          beast::bind_front_handler(&Session::handleWrite, this->shared_from_this()));
    }

    void handleWrite(error_code ec, std::size_t)
    {
        if (ec || !keepAlive_)
            return close();
        doRead();
    }

    // A streamed answer: an HTTP/1.0 header without a length, the body so
    // far, then whatever the producer writes until it or the client closes.
    void writeStreamed(const HttpResponse& r)
    {
        std::string head = "HTTP/1.0 " + std::to_string(r.status) + " " + reasonPhrase(r.status) + "\r\n";
        if (!r.contentType.empty())
            head += "Content-Type: " + r.contentType + "\r\n";
        for (const auto& h : r.headers)
            head += h.first + ": " + h.second + "\r\n";
        head += "\r\n" + r.body;
        keepAlive_ = false;
        beast::get_lowest_layer(stream_).expires_never();
        queue(std::move(head));
        watchClient();
        r.stream(std::make_shared<Sink>(this->shared_from_this()));
    }

    // The client of a streamed answer only ever closes: a read that ends
    // tells us it went.
    void watchClient()
    {
        stream_.async_read_some(asio::buffer(discard_),
                                [self = this->shared_from_this()](error_code ec, std::size_t) {
                                    if (ec)
                                        return self->close();
                                    self->watchClient();
                                });
    }

    class Sink final : public StreamSink {
    public:
        explicit Sink(std::weak_ptr<Session> session) : session_(std::move(session)) {}
        bool write(std::string bytes) override
        {
            auto session = session_.lock();
            if (!session || session->gone_)
                return false;
            if (bytes.empty())
                return true;
            asio::post(session->stream_.get_executor(),
                       [session, bytes = std::move(bytes)]() mutable { session->queue(std::move(bytes)); });
            return true;
        }
        void close() override
        {
            if (auto session = session_.lock())
                asio::post(session->stream_.get_executor(), [session] {
                    session->closing_ = true;
                    if (session->pending_.empty() && !session->writing_)
                        session->close();
                });
        }
        void cut() override
        {
            if (auto session = session_.lock())
                session->drop();
        }

    private:
        std::weak_ptr<Session> session_;
    };

    void queue(std::string bytes)
    {
        if (gone_)
            return;
        backlog_ += bytes.size();
        pending_.push_back(std::move(bytes));
        if (backlog_ > kMaxStreamBacklog)
            return close();
        if (!writing_)
            writeNext();
    }

    void writeNext()
    {
        if (pending_.empty()) {
            writing_ = false;
            if (closing_)
                close();
            return;
        }
        writing_ = true;
        current_ = std::move(pending_.front());
        pending_.erase(pending_.begin());
        backlog_ -= current_.size();
        asio::async_write(stream_, asio::buffer(current_),
                          [self = this->shared_from_this()](error_code ec, std::size_t) {
                              if (ec)
                                  return self->close();
                              self->writeNext();
                          });
    }

    void close()
    {
        gone_ = true;
        error_code ignored;
        if constexpr (kTls) {
            beast::get_lowest_layer(stream_).socket().shutdown(tcp::socket::shutdown_both, ignored);
        } else {
            stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        }
        beast::get_lowest_layer(stream_).close();
    }

    Stream stream_;
    RequestDispatcher& dispatcher_;
    RtspTunnelHandler* tunnel_;
    StreamingRoutes* streaming_;
    asio::steady_timer timer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    DispatchOutcome outcome_;
    bool keepAlive_ = false;
    bool head_ = false;
    unsigned version_ = 11;
    // A streamed answer in progress.
    std::array<char, 512> discard_{};
    bool writing_ = false;
    bool closing_ = false;
    std::atomic<bool> gone_{false};
    std::vector<std::string> pending_;
    std::size_t backlog_ = 0;
    std::string current_;
};

} // namespace

struct HttpServer::Impl : std::enable_shared_from_this<HttpServer::Impl> {
    Impl(asio::io_context& io, RequestDispatcher& dispatcher, asio::ssl::context* tls)
        : io(io), acceptor(asio::make_strand(io)), dispatcher(dispatcher), tls(tls)
    {
    }

    void doAccept()
    {
        acceptor.async_accept(asio::make_strand(io),
                              beast::bind_front_handler(&Impl::handleAccept, shared_from_this()));
    }

    void handleAccept(error_code ec, tcp::socket socket)
    {
        if (ec == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (!ec) {
            if (tls) {
                auto session = std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(
                    dispatcher, tunnel, streaming, std::move(socket), *tls);
                track(session);
                session->start();
            } else {
                auto session = std::make_shared<Session<beast::tcp_stream>>(dispatcher, tunnel, streaming,
                                                                       std::move(socket));
                track(session);
                session->start();
            }
        }
        doAccept();
    }

    void track(const std::shared_ptr<Droppable>& session)
    {
        std::lock_guard<std::mutex> lock(sessionsMutex);
        // Ended connections go first, so the list is as long as the open ones.
        sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                      [](const std::weak_ptr<Droppable>& s) { return s.expired(); }),
                       sessions.end());
        sessions.push_back(session);
    }

    void dropAll()
    {
        std::vector<std::weak_ptr<Droppable>> open;
        {
            std::lock_guard<std::mutex> lock(sessionsMutex);
            open.swap(sessions);
        }
        for (auto& weak : open) {
            if (auto session = weak.lock())
                session->drop();
        }
    }

    asio::io_context& io;
    tcp::acceptor acceptor;
    RequestDispatcher& dispatcher;
    asio::ssl::context* tls;
    RtspTunnelHandler* tunnel = nullptr;
    StreamingRoutes* streaming = nullptr;
    std::mutex sessionsMutex;
    std::vector<std::weak_ptr<Droppable>> sessions;
};

HttpServer::HttpServer(asio::io_context& io, RequestDispatcher& dispatcher, asio::ssl::context* tls)
    : impl_(std::make_shared<Impl>(io, dispatcher, tls))
{
}

HttpServer::~HttpServer() { stop(); }

error_code HttpServer::listen(const std::string& address, unsigned short port)
{
    error_code ec;
    const auto ip = asio::ip::make_address(address, ec);
    if (ec)
        return ec;
    const tcp::endpoint endpoint(ip, port);
    auto& a = impl_->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec)
        a.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        a.bind(endpoint, ec);
    if (!ec)
        a.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error_code ignored;
        a.close(ignored);
        return ec;
    }
    impl_->doAccept();
    return {};
}

void HttpServer::setRtspTunnel(RtspTunnelHandler* tunnel) { impl_->tunnel = tunnel; }

void HttpServer::setStreamingRoutes(StreamingRoutes* routes) { impl_->streaming = routes; }

unsigned short HttpServer::port() const
{
    error_code ec;
    const auto ep = impl_->acceptor.local_endpoint(ec);
    return ec ? 0 : ep.port();
}

void HttpServer::stop()
{
    asio::post(impl_->acceptor.get_executor(), [impl = impl_] {
        error_code ignored;
        impl->acceptor.close(ignored);
    });
    impl_->dropAll();
}

} // namespace Camsim

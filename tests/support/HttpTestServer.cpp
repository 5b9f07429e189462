#include "support/HttpTestServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>

#include <thread>

namespace TestSupport {
namespace {

namespace bhttp = boost::beast::http;
using tcp = boost::asio::ip::tcp;

} // namespace

std::string httpAnswer(unsigned status, const std::string& reason,
                       const std::vector<std::string>& headerLines, const std::string& body)
{
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    for (const auto& line : headerLines)
        out += line + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out += body;
    return out;
}

struct HttpTestServer::Impl {
    boost::asio::io_context io;
    tcp::acceptor acceptor{io};
    std::optional<boost::asio::ssl::context> tlsContext;
    ServerScript script;
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<RecordedRequest> requests;
    std::size_t connections = 0;
    std::vector<std::function<void()>> closers; // every open connection, closed on stop

    void record(const RecordedRequest& request)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
        }
        changed.notify_all();
    }

    void doAccept();
};

namespace {

// One connection; Stream is a socket or a TLS stream over one.
template <class Stream>
class Connection : public std::enable_shared_from_this<Connection<Stream>> {
public:
    Connection(HttpTestServer::Impl& server, Stream stream, std::size_t number)
        : server_(server), stream_(std::move(stream)), number_(number)
    {
    }

    void start()
    {
        auto self = this->shared_from_this();
        server_.closers.push_back([self] { self->close(); });
        if constexpr (std::is_same_v<Stream, tcp::socket>) {
            doRead();
        } else {
            stream_.async_handshake(boost::asio::ssl::stream_base::server,
                                    [self](const boost::system::error_code& ec) {
                                        if (!ec)
                                            self->doRead();
                                        else
                                            self->close();
                                    });
        }
    }

    void close()
    {
        boost::system::error_code ignored;
        lowest().close(ignored);
    }

private:
    tcp::socket& lowest()
    {
        if constexpr (std::is_same_v<Stream, tcp::socket>)
            return stream_;
        else
            return stream_.next_layer();
    }

    void doRead()
    {
        parser_.emplace();
        parser_->body_limit(1024 * 1024);
        auto self = this->shared_from_this();
        bhttp::async_read(stream_, buffer_, *parser_,
                          [self](const boost::system::error_code& ec, std::size_t) {
                              if (ec) {
                                  self->close();
                                  return;
                              }
                              self->handleRequest();
                          });
    }

    void handleRequest()
    {
        const auto& message = parser_->get();
        RecordedRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        for (const auto& field : message)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.body = message.body();
        request.connection = number_;
        reply_ = server_.script(request);
        server_.record(request);

        switch (reply_.kind) {
        case ScriptedReply::Kind::close:
            close();
            return;
        case ScriptedReply::Kind::silent:
            return;
        case ScriptedReply::Kind::send:
            doWrite();
            return;
        }
    }

    void doWrite()
    {
        auto self = this->shared_from_this();
        boost::asio::async_write(stream_, boost::asio::buffer(reply_.bytes),
                                 [self](const boost::system::error_code& ec, std::size_t) {
                                     if (ec || self->reply_.closeAfter) {
                                         self->close();
                                         return;
                                     }
                                     self->doRead();
                                 });
    }

    HttpTestServer::Impl& server_;
    Stream stream_;
    std::size_t number_;
    boost::beast::flat_buffer buffer_;
    std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
    ScriptedReply reply_;
};

} // namespace

void HttpTestServer::Impl::doAccept()
{
    acceptor.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
        if (ec)
            return;
        std::size_t number;
        {
            std::lock_guard<std::mutex> lock(mutex);
            number = ++connections;
        }
        if (tlsContext) {
            using TlsStream = boost::asio::ssl::stream<tcp::socket>;
            std::make_shared<Connection<TlsStream>>(*this, TlsStream(std::move(socket), *tlsContext),
                                                    number)
                ->start();
        } else {
            std::make_shared<Connection<tcp::socket>>(*this, std::move(socket), number)->start();
        }
        doAccept();
    });
}

HttpTestServer::HttpTestServer(ServerScript script, const std::string& bindAddress,
                               std::optional<Tls> tls)
    : impl_(std::make_unique<Impl>())
{
    impl_->script = std::move(script);
    if (tls) {
        impl_->tlsContext.emplace(boost::asio::ssl::context::tls_server);
        impl_->tlsContext->use_certificate_chain_file(tls->certificateFile);
        impl_->tlsContext->use_private_key_file(tls->keyFile, boost::asio::ssl::context::pem);
    }
    const tcp::endpoint endpoint(boost::asio::ip::make_address(bindAddress), 0);
    impl_->acceptor.open(endpoint.protocol());
    impl_->acceptor.set_option(tcp::acceptor::reuse_address(true));
    impl_->acceptor.bind(endpoint);
    impl_->acceptor.listen();
    impl_->doAccept();
    impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
}

HttpTestServer::~HttpTestServer()
{
    boost::asio::post(impl_->io, [impl = impl_.get()] {
        boost::system::error_code ignored;
        impl->acceptor.close(ignored);
        for (auto& closer : impl->closers)
            closer();
        impl->closers.clear();
    });
    impl_->thread.join();
}

std::uint16_t HttpTestServer::port() const { return impl_->acceptor.local_endpoint().port(); }

std::vector<RecordedRequest> HttpTestServer::requests() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

std::size_t HttpTestServer::requestCount() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests.size();
}

bool HttpTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] { return impl_->requests.size() >= count; });
}

bool ipv6LoopbackAvailable()
{
    boost::asio::io_context io;
    tcp::acceptor acceptor(io);
    boost::system::error_code ec;
    acceptor.open(tcp::v6(), ec);
    if (!ec)
        acceptor.bind(tcp::endpoint(boost::asio::ip::address_v6::loopback(), 0), ec);
    return !ec;
}

} // namespace TestSupport

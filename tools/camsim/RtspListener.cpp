#include "RtspListener.h"

#include "HttpMessage.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <sstream>

namespace Camsim {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

class RtspConnection : public std::enable_shared_from_this<RtspConnection> {
public:
    explicit RtspConnection(tcp::socket socket) : socket_(std::move(socket)), buffer_(RtspListener::kHeaderLimit) {}

    void start() { doReadHead(); }

private:
    void doReadHead()
    {
        asio::async_read_until(socket_, buffer_, "\r\n\r\n",
                               [self = shared_from_this()](error_code ec, std::size_t n) { self->handleHead(ec, n); });
    }

    void handleHead(error_code ec, std::size_t n)
    {
        if (ec)
            return close(); // closed, or a head over the limit
        std::string head(asio::buffers_begin(buffer_.data()), asio::buffers_begin(buffer_.data()) + n);
        buffer_.consume(n);
        cseq_ = rtspHeader(head, "CSeq");
        std::size_t length = 0;
        const std::string cl = rtspHeader(head, "Content-Length");
        if (!cl.empty()) {
            try {
                length = std::stoul(cl);
            } catch (const std::exception&) {
                return close();
            }
        }
        if (length > RtspListener::kBodyLimit)
            return close();
        const std::size_t buffered = std::min(length, buffer_.size());
        buffer_.consume(buffered);
        skip_.assign(length - buffered, '\0');
        if (skip_.empty())
            return answer();
        asio::async_read(socket_, asio::buffer(skip_), [self = shared_from_this()](error_code e, std::size_t) {
            if (e)
                return self->close();
            self->answer();
        });
    }

    void answer()
    {
        reply_ = "RTSP/1.0 501 Not Implemented\r\n";
        if (!cseq_.empty())
            reply_ += "CSeq: " + cseq_ + "\r\n";
        reply_ += "Server: camsim\r\n\r\n";
        asio::async_write(socket_, asio::buffer(reply_), [self = shared_from_this()](error_code ec, std::size_t) {
            if (ec)
                return self->close();
            self->doReadHead();
        });
    }

    void close()
    {
        error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    tcp::socket socket_;
    asio::streambuf buffer_;
    std::string cseq_;
    std::string reply_;
    std::string skip_;
};

} // namespace

std::string rtspHeader(const std::string& head, const std::string& name)
{
    std::istringstream in(head);
    std::string line;
    std::getline(in, line); // request line
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos || !iequals(line.substr(0, colon), name))
            continue;
        const auto b = line.find_first_not_of(" \t", colon + 1);
        return b == std::string::npos ? std::string() : line.substr(b);
    }
    return {};
}

struct RtspListener::Impl : std::enable_shared_from_this<RtspListener::Impl> {
    explicit Impl(asio::io_context& io) : io(io), acceptor(asio::make_strand(io)) {}

    void doAccept()
    {
        acceptor.async_accept(asio::make_strand(io), [self = shared_from_this()](error_code ec, tcp::socket s) {
            if (ec == asio::error::operation_aborted || !self->acceptor.is_open())
                return;
            if (!ec)
                std::make_shared<RtspConnection>(std::move(s))->start();
            self->doAccept();
        });
    }

    asio::io_context& io;
    tcp::acceptor acceptor;
};

RtspListener::RtspListener(asio::io_context& io) : impl_(std::make_shared<Impl>(io)) {}

RtspListener::~RtspListener() { stop(); }

error_code RtspListener::listen(const std::string& address, unsigned short port)
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

unsigned short RtspListener::port() const
{
    error_code ec;
    const auto ep = impl_->acceptor.local_endpoint(ec);
    return ec ? 0 : ep.port();
}

void RtspListener::stop()
{
    asio::post(impl_->acceptor.get_executor(), [impl = impl_] {
        error_code ignored;
        impl->acceptor.close(ignored);
    });
}

} // namespace Camsim

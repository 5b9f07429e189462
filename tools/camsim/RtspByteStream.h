#pragma once
// The byte stream an RTSP connection runs on: a plain TCP socket on the
// RTSP port, or one leg of an RTSP over HTTP tunnel (plain or TLS) that the
// HTTP server handed over. Handlers run on executor(), a strand.
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <functional>
#include <memory>
#include <string>

namespace Camsim {

class RtspByteStream {
public:
    using Handler = std::function<void(const boost::system::error_code&, std::size_t)>;

    virtual ~RtspByteStream() = default;
    virtual void asyncReadSome(char* data, std::size_t size, Handler handler) = 0;
    // Writes all size bytes (the buffer must live until the handler runs).
    virtual void asyncWrite(const char* data, std::size_t size, Handler handler) = 0;
    virtual void close() = 0;
    virtual boost::asio::any_io_executor executor() = 0;
    // The client's address, empty when unknown.
    virtual std::string remoteAddress() const = 0;
};

// Any Asio stream on top of a TCP socket. owner keeps whatever holds the
// stream alive for as long as this object lives.
template <class Stream>
class AsioByteStream : public RtspByteStream {
public:
    AsioByteStream(std::shared_ptr<void> owner, Stream& stream, boost::asio::ip::tcp::socket& socket)
        : owner_(std::move(owner)), stream_(stream), socket_(socket)
    {
    }

    void asyncReadSome(char* data, std::size_t size, Handler handler) override
    {
        stream_.async_read_some(boost::asio::buffer(data, size), std::move(handler));
    }

    void asyncWrite(const char* data, std::size_t size, Handler handler) override
    {
        boost::asio::async_write(stream_, boost::asio::buffer(data, size), std::move(handler));
    }

    void close() override
    {
        boost::system::error_code ignored;
        socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    boost::asio::any_io_executor executor() override { return stream_.get_executor(); }

    std::string remoteAddress() const override
    {
        boost::system::error_code ec;
        const auto ep = socket_.remote_endpoint(ec);
        return ec ? std::string() : ep.address().to_string();
    }

private:
    std::shared_ptr<void> owner_;
    Stream& stream_;
    boost::asio::ip::tcp::socket& socket_;
};

} // namespace Camsim

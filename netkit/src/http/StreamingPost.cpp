#include <netkit/http/StreamingPost.h>

#include "http/AuthCache.h"
#include "http/ClientConnection.h"
#include "http/RequestText.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace Orix::http {
namespace {

constexpr std::size_t kMaxAnswer = 64;

// "HTTP/1.1 401 Unauthorized" -> 401; 0 when the bytes are no status line.
unsigned statusOf(const std::string& bytes)
{
    if (bytes.rfind("HTTP/", 0) != 0)
        return 0;
    const auto space = bytes.find(' ');
    if (space == std::string::npos || bytes.size() < space + 4)
        return 0;
    unsigned status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9')
            return 0;
        status = status * 10 + unsigned(bytes[i] - '0');
    }
    return status;
}

class Post final : public StreamingPost, public std::enable_shared_from_this<Post> {
public:
    Post(boost::asio::io_context& io, asio::ConnectionInfoPtr info, HttpRequest request)
        : io_(io), info_(std::move(info)), request_(std::move(request)), timer_(io), connection_(io.get_executor())
    {
    }

    void open(std::chrono::milliseconds timeout, Handler handler, EndHandler end) override
    {
        openHandler_ = std::move(handler);
        end_ = std::move(end);
        const auto target = detail::originForm(request_.target);
        if (!info_ || info_->host.empty() || !target || !detail::validToken(request_.method))
            return failOpen(error::invalidRequest);
        for (const auto& h : request_.headers) {
            if (!detail::validToken(h.name) || !detail::validFieldValue(h.value))
                return failOpen(error::invalidRequest);
        }
        request_.target = *target;
        timer_.expires_after(timeout);
        timer_.async_wait([weak = weak_from_this()](const boost::system::error_code& ec) {
            if (auto self = weak.lock(); self && !ec && self->openHandler_) {
                self->connection_.close();
                self->failOpen(error::timeout);
            }
        });
        connection_.open(*info_, [self = shared_from_this()](const boost::system::error_code& ec) {
            if (!self->openHandler_)
                return;
            if (ec)
                return self->failOpen(ec);
            self->doWriteHead();
        });
    }

    void write(std::vector<std::uint8_t> bytes, Handler handler) override
    {
        if (closed_ || openHandler_ || !connected_ || writing_) {
            const auto ec = closed_ ? boost::system::error_code(boost::asio::error::operation_aborted)
                                    : boost::system::error_code(error::invalidRequest);
            boost::asio::post(io_, [handler = std::move(handler), ec] { handler(ec); });
            return;
        }
        writing_ = true;
        out_ = std::move(bytes);
        writeHandler_ = std::move(handler);
        connection_.withStream([this](auto& stream) {
            boost::asio::async_write(stream, boost::asio::buffer(out_),
                                     [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                         self->handleWrite(ec, n);
                                     });
        });
    }

    void close() override
    {
        if (closed_)
            return;
        closed_ = true;
        end_ = nullptr;
        timer_.cancel();
        connection_.cancel();
        if (openHandler_)
            failOpen(boost::asio::error::operation_aborted);
    }

    std::uint64_t bytesWritten() const override { return written_; }

private:
    void doWriteHead()
    {
        std::string head = request_.method + " " + request_.target + " HTTP/1.1\r\n";
        head += "Host: " + info_->authority() + "\r\nUser-Agent: NetKit\r\n";
        if (info_->hasCredentials()) {
            const detail::AuthKey key{info_->scheme, info_->host, info_->port, info_->user};
            if (const auto authorization =
                    detail::cachedAuthorization(key, info_->password, request_.method, request_.target))
                head += "Authorization: " + *authorization + "\r\n";
        }
        for (const auto& h : request_.headers)
            head += h.name + ": " + h.value + "\r\n";
        head += "\r\n";
        headBytes_ = std::move(head);
        connection_.withStream([this](auto& stream) {
            boost::asio::async_write(stream, boost::asio::buffer(headBytes_),
                                     [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                                         if (!self->openHandler_)
                                             return;
                                         if (ec)
                                             return self->failOpen(ec);
                                         self->timer_.cancel();
                                         self->connected_ = true;
                                         auto handler = std::move(self->openHandler_);
                                         self->openHandler_ = nullptr;
                                         self->doRead();
                                         handler({});
                                     });
        });
    }

    // Anything the server says while the body flows ends it.
    void doRead()
    {
        connection_.withStream([this](auto& stream) {
            stream.async_read_some(boost::asio::buffer(in_),
                                   [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                       self->handleRead(ec, n);
                                   });
        });
    }

    void handleRead(const boost::system::error_code& ec, std::size_t n)
    {
        if (closed_)
            return;
        if (!ec) {
            // The status line is all that matters; the rest is not kept.
            answer_.append(in_.data(), std::min(n, kMaxAnswer - answer_.size()));
            if (answer_.find('\n') == std::string::npos && answer_.size() < kMaxAnswer)
                return doRead();
        }
        const unsigned status = statusOf(answer_);
        auto end = std::move(end_);
        end_ = nullptr;
        if (!end)
            return;
        if (status == 401)
            end(error::unauthorized, status);
        else if (ec)
            end(ec == boost::asio::error::eof ? boost::system::error_code(boost::asio::error::connection_reset) : ec,
                status);
        else
            end({}, status);
    }

    void handleWrite(const boost::system::error_code& ec, std::size_t n)
    {
        writing_ = false;
        written_ += n;
        auto handler = std::move(writeHandler_);
        writeHandler_ = nullptr;
        if (handler)
            handler(closed_ ? boost::system::error_code(boost::asio::error::operation_aborted) : ec);
    }

    void failOpen(const boost::system::error_code& ec)
    {
        auto handler = std::move(openHandler_);
        openHandler_ = nullptr;
        timer_.cancel();
        if (handler)
            boost::asio::post(io_, [handler = std::move(handler), ec] { handler(ec); });
    }

    boost::asio::io_context& io_;
    asio::ConnectionInfoPtr info_;
    HttpRequest request_;
    boost::asio::steady_timer timer_;
    detail::ClientConnection connection_;
    Handler openHandler_;
    EndHandler end_;
    Handler writeHandler_;
    std::string headBytes_;
    std::vector<std::uint8_t> out_;
    std::array<char, 512> in_{};
    std::string answer_;
    std::uint64_t written_ = 0;
    bool connected_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

} // namespace

std::shared_ptr<StreamingPost> StreamingPost::create(boost::asio::io_context& io, asio::ConnectionInfoPtr info,
                                                     HttpRequest request)
{
    return std::make_shared<Post>(io, std::move(info), std::move(request));
}

} // namespace Orix::http

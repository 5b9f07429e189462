#include <netkit/http/HttpStream.h>

#include "http/AuthCache.h"
#include "http/RequestText.h"
#include "http/ClientConnection.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include <array>
#include <limits>
#include <netkit/util/TextUtil.h>
#include <optional>

namespace Orix::http {
namespace {

namespace bhttp = boost::beast::http;

using detail::kMaxAuthRounds;
using detail::kMaxHeaderBytes;
using detail::kMaxInterimResponses;
constexpr std::size_t kReadChunk = 16 * 1024;

// One stream: resolve, connect (TLS), send, read the header, answer a
// challenge on a new connection, then read the body piece by piece.
//
// States: Connecting -> Header -> (401: Connecting again) -> Body -> Done;
// any -> Done on error, time-out or cancel. Every completion runs on the
// strand and returns at once once done_ is set.
class HttpStreamOperation : public RequestHandle,
                            public std::enable_shared_from_this<HttpStreamOperation> {
public:
    HttpStreamOperation(asio::ConnectionInfoPtr info, HttpRequest request, boost::asio::io_context& io,
                        HttpStreamTimeouts timeouts, HttpStreamHandlers handlers)
        : info_(std::move(info)),
          request_(std::move(request)),
          strand_(boost::asio::make_strand(io)),
          timer_(strand_),
          connection_(strand_),
          timeouts_(timeouts),
          handlers_(std::move(handlers))
    {
    }

    void start()
    {
        boost::asio::post(strand_, [self = shared_from_this()] { self->begin(); });
    }

    void cancel() override
    {
        boost::asio::post(strand_, [self = shared_from_this()] { self->finish(error::cancelled); });
    }

private:
    void begin()
    {
        if (done_)
            return;
        const auto target = detail::originForm(request_.target);
        if (!info_ || info_->host.empty() || !target) {
            finish(error::invalidRequest);
            return;
        }
        for (const auto& header : request_.headers) {
            if (!detail::validToken(header.name) || !detail::validFieldValue(header.value)) {
                finish(error::invalidRequest);
                return;
            }
        }
        request_.target = *target;
        if (info_->hasCredentials()) {
            authKey_ = detail::AuthKey{info_->scheme, info_->host, info_->port, info_->user};
            authorization_ = detail::cachedAuthorization(*authKey_, info_->password, "GET", request_.target);
        }
        deadline_ = std::chrono::steady_clock::now() + timeouts_.header;
        armTimer();
        doConnect();
    }

    // One timer for both limits: it fires at the deadline, which every body
    // read pushes forward (re-armed only when it fires, so that a busy
    // stream does not cancel and re-arm it for each read).
    void armTimer()
    {
        timer_.expires_at(deadline_);
        timer_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
            self->handleTimer(ec);
        });
    }

    void handleTimer(const boost::system::error_code& ec)
    {
        if (done_ || ec == boost::asio::error::operation_aborted)
            return;
        if (std::chrono::steady_clock::now() < deadline_) {
            armTimer();
            return;
        }
        finish(error::timeout);
    }

    // A new connection; the first one looks the address up.
    void doConnect()
    {
        buffer_.clear();
        connection_.open(*info_, [self = shared_from_this()](const boost::system::error_code& ec) {
            if (self->done_)
                return;
            if (ec)
                self->finish(ec);
            else
                self->doWrite();
        });
    }

    void doWrite()
    {
        message_ = {};
        message_.method(bhttp::verb::get);
        message_.target(request_.target);
        message_.version(11);
        message_.set(bhttp::field::host, info_->authority());
        message_.set(bhttp::field::user_agent, "NetKit");
        for (const auto& header : request_.headers)
            message_.insert(header.name, header.value);
        if (authorization_)
            message_.set(bhttp::field::authorization, *authorization_);
        connection_.withStream([this](auto& stream) {
            bhttp::async_write(stream, message_,
                               [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                                   if (self->done_)
                                       return;
                                   if (ec)
                                       self->finish(ec);
                                   else
                                       self->doReadHeader();
                               });
        });
    }

    void doReadHeader()
    {
        parser_.emplace();
        parser_->header_limit(kMaxHeaderBytes);
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max()); // as long as the camera keeps it
        connection_.withStream([this](auto& stream) {
            bhttp::async_read_header(stream, buffer_, *parser_,
                                     [self = shared_from_this()](const boost::system::error_code& ec,
                                                                 std::size_t) { self->handleHeader(ec); });
        });
    }

    void handleHeader(const boost::system::error_code& ec)
    {
        if (done_)
            return;
        if (ec) {
            finish(detail::readError(ec));
            return;
        }
        const auto& message = parser_->get();
        const unsigned status = message.result_int();
        if (status >= 100 && status < 200 && status != 101) {
            // The interim answer's header is all there is; read the next one.
            if (++interim_ > kMaxInterimResponses) {
                finish(error::malformedResponse);
                return;
            }
            doReadHeader();
            return;
        }
        response_.status = status;
        response_.reason = std::string(message.reason());
        response_.headers.clear();
        for (const auto& field : message)
            response_.headers.push_back({std::string(field.name_string()), std::string(field.value())});
        if (status == 401 && answerChallenge())
            return;
        if (handlers_.onResponse)
            handlers_.onResponse(response_);
        if (done_)
            return;
        if (status < 200 || status >= 300 || parser_->is_done()) {
            finish(status == 401 ? boost::system::error_code(error::unauthorized)
                                 : boost::system::error_code());
            return;
        }
        // The stall time may be shorter than what is left of the header's:
        // the timer waits for the new deadline at once.
        deadline_ = std::chrono::steady_clock::now() + timeouts_.stall;
        armTimer();
        doReadBody();
    }

    // True when a new attempt with credentials is under way.
    bool answerChallenge()
    {
        if (!authKey_)
            return false;
        std::vector<AuthChallenge> challenges;
        for (const auto& header : response_.headers) {
            if (Utility::text::iequals(header.name, "WWW-Authenticate")) {
                auto parsed = parseChallenges(header.value);
                challenges.insert(challenges.end(), parsed.begin(), parsed.end());
            }
        }
        const AuthChallenge* chosen = chooseChallenge(challenges);
        if (!chosen || ++authRounds_ > kMaxAuthRounds ||
            (freshAuthorization_ && !(chosen->stale && !Utility::text::iequals(chosen->scheme, "Basic")))) {
            detail::forgetChallenge(*authKey_);
            return false;
        }
        detail::rememberChallenge(*authKey_, *chosen);
        authorization_ = detail::cachedAuthorization(*authKey_, info_->password, "GET", request_.target);
        freshAuthorization_ = true;
        // The 401's body is not worth reading: a new connection is cheaper
        // than draining it, and some cameras close after a 401 anyway.
        doConnect();
        return true;
    }

    void doReadBody()
    {
        auto& body = parser_->get().body();
        body.data = chunk_.data();
        body.size = chunk_.size();
        connection_.withStream([this](auto& stream) {
            bhttp::async_read_some(stream, buffer_, *parser_,
                                   [self = shared_from_this()](const boost::system::error_code& ec,
                                                               std::size_t) { self->handleBody(ec); });
        });
    }

    void handleBody(boost::system::error_code ec)
    {
        if (done_)
            return;
        if (ec == bhttp::error::need_buffer)
            ec = {};
        const std::size_t received = chunk_.size() - parser_->get().body().size;
        if (received > 0) {
            deadline_ = std::chrono::steady_clock::now() + timeouts_.stall;
            if (handlers_.onData)
                handlers_.onData(chunk_.data(), received);
            if (done_)
                return;
        }
        if (ec) {
            finish(detail::readError(ec));
            return;
        }
        if (parser_->is_done()) {
            finish({});
            return;
        }
        doReadBody();
    }

    void finish(const boost::system::error_code& ec)
    {
        if (done_)
            return;
        done_ = true;
        timer_.cancel();
        connection_.cancel();
        auto onEnd = std::move(handlers_.onEnd);
        handlers_ = {};
        if (onEnd)
            onEnd(ec, response_);
    }

    asio::ConnectionInfoPtr info_;
    HttpRequest request_;
    boost::asio::strand<boost::asio::io_context::executor_type> strand_;
    boost::asio::steady_timer timer_;
    detail::ClientConnection connection_;
    bhttp::request<bhttp::empty_body> message_;
    std::optional<bhttp::response_parser<bhttp::buffer_body>> parser_;
    boost::beast::flat_buffer buffer_;
    std::array<char, kReadChunk> chunk_{};
    HttpStreamTimeouts timeouts_;
    std::chrono::steady_clock::time_point deadline_;
    HttpStreamHandlers handlers_;
    HttpResponse response_;
    std::optional<detail::AuthKey> authKey_;
    std::optional<std::string> authorization_;
    bool freshAuthorization_ = false; // authorization_ answers a challenge this stream received
    int authRounds_ = 0;
    int interim_ = 0;
    bool done_ = false;
};

} // namespace

RequestHandlePtr openHttpStream(asio::ConnectionInfoPtr info, HttpRequest request,
                                boost::asio::io_context& io, HttpStreamTimeouts timeouts,
                                HttpStreamHandlers handlers)
{
    auto operation = std::make_shared<HttpStreamOperation>(std::move(info), std::move(request), io, timeouts,
                                                           std::move(handlers));
    operation->start();
    return operation;
}

} // namespace Orix::http

#include <netkit/http/HttpClient.h>

#include "http/AuthCache.h"
#include "http/RequestText.h"
#include "http/ClientConnection.h"
#include <netkit/util/TextUtil.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <cctype>
#include <optional>

namespace Orix::http {
namespace {

namespace beast = boost::beast;
namespace bhttp = boost::beast::http;

using detail::kMaxAuthRounds;
using detail::kMaxHeaderBytes;
using detail::kMaxInterimResponses;

using Orix::Utility::text::iequals;

using detail::originForm;
using detail::readError;
using detail::validFieldValue;
using detail::validToken;

enum class AuthSource {
    none,   // the request went out without credentials
    cached, // credentials from a challenge another request received
    fresh,  // credentials for the challenge this request received
};

class HttpTransaction : public RequestHandle,
                        public std::enable_shared_from_this<HttpTransaction> {
public:
    HttpTransaction(asio::ConnectionInfoPtr info, HttpRequest request, boost::asio::io_context& io,
                    std::chrono::milliseconds timeout, HttpCompletion completion)
        : info_(std::move(info)),
          request_(std::move(request)),
          strand_(boost::asio::make_strand(io)),
          timer_(strand_),
          connection_(strand_),
          timeout_(timeout),
          completion_(std::move(completion))
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
        const auto target = originForm(request_.target);
        if (!info_ || info_->host.empty() || !target || !validToken(request_.method)) {
            finish(error::invalidRequest);
            return;
        }
        for (const auto& header : request_.headers) {
            if (!validToken(header.name) || !validFieldValue(header.value)) {
                finish(error::invalidRequest);
                return;
            }
        }
        request_.target = *target;
        if (info_->hasCredentials())
            authKey_ = detail::AuthKey{info_->scheme, info_->host, info_->port, info_->user};

        timer_.expires_after(timeout_);
        timer_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
            if (!ec)
                self->finish(error::timeout);
        });

        if (authKey_) {
            authorization_ = detail::cachedAuthorization(*authKey_, info_->password,
                                                         request_.method, request_.target);
            if (authorization_)
                authSource_ = AuthSource::cached;
        }
        doConnect();
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
        const auto verb = bhttp::string_to_verb(request_.method);
        if (verb == bhttp::verb::unknown)
            message_.method_string(request_.method);
        else
            message_.method(verb);
        message_.target(request_.target);
        message_.version(11);
        message_.set(bhttp::field::host, info_->authority());
        message_.set(bhttp::field::user_agent, "NetKit");
        for (const auto& header : request_.headers)
            message_.insert(header.name, header.value);
        if (authorization_)
            message_.set(bhttp::field::authorization, *authorization_);
        if (!request_.body.empty() || verb == bhttp::verb::post || verb == bhttp::verb::put) {
            message_.body() = request_.body;
            message_.prepare_payload();
        }
        connection_.withStream([this](auto& stream) {
            bhttp::async_write(stream, message_,
                               [self = shared_from_this()](const boost::system::error_code& ec,
                                                           std::size_t) { self->handleWrite(ec); });
        });
    }

    void handleWrite(const boost::system::error_code& ec)
    {
        if (done_)
            return;
        if (ec) {
            if (!retryOnFreshConnection(ec))
                finish(ec);
            return;
        }
        interim_ = 0;
        doRead();
    }

    void doRead()
    {
        parser_.emplace();
        parser_->header_limit(kMaxHeaderBytes);
        parser_->body_limit(request_.maxResponseBytes);
        if (iequals(request_.method, "HEAD"))
            parser_->skip(true);
        // The header is read on its own: in eager mode Beast 1.74 loses the
        // body_limit verdict on a Content-Length when body bytes arrived with
        // the header.
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
            if (!retryOnFreshConnection(readError(ec)))
                finish(readError(ec));
            return;
        }
        reused_ = false;
        const auto length = parser_->content_length();
        if (length && *length > request_.maxResponseBytes) {
            finish(error::responseTooLarge);
            return;
        }
        if (parser_->is_done()) {
            handleRead({});
            return;
        }
        connection_.withStream([this](auto& stream) {
            bhttp::async_read(stream, buffer_, *parser_,
                              [self = shared_from_this()](const boost::system::error_code& ec,
                                                          std::size_t) { self->handleRead(ec); });
        });
    }

    void handleRead(const boost::system::error_code& ec)
    {
        if (done_)
            return;
        if (ec) {
            finish(readError(ec));
            return;
        }
        if (parser_->get().body().size() > request_.maxResponseBytes) {
            finish(error::responseTooLarge);
            return;
        }
        const unsigned status = parser_->get().result_int();
        if (status >= 100 && status < 200 && status != 101) {
            if (++interim_ > kMaxInterimResponses) {
                finish(error::malformedResponse);
                return;
            }
            doRead();
            return;
        }
        if (status == 401)
            handleUnauthorized();
        else
            deliver(status == 404 ? boost::system::error_code(error::notFound)
                                  : boost::system::error_code());
    }

    void handleUnauthorized()
    {
        if (!authKey_) {
            deliver(error::unauthorized);
            return;
        }
        std::vector<AuthChallenge> challenges;
        const auto& fields = parser_->get();
        for (auto it = fields.find(bhttp::field::www_authenticate);
             it != fields.end() && it->name() == bhttp::field::www_authenticate; ++it) {
            const auto value = it->value();
            auto parsed = parseChallenges(std::string_view(value.data(), value.size()));
            challenges.insert(challenges.end(), parsed.begin(), parsed.end());
        }
        const AuthChallenge* chosen = chooseChallenge(challenges);
        if (!chosen) {
            deliver(challenges.empty() ? error::unauthorized : error::unsupportedAuthScheme);
            return;
        }
        // A cached nonce may have expired without the camera saying stale
        // (after a reboot, for instance), so it earns one fresh attempt; the
        // answer to a challenge received just now is final unless stale.
        const bool retry = authSource_ != AuthSource::fresh || (chosen->stale && !isBasic(*chosen));
        if (!retry || ++authRounds_ > kMaxAuthRounds) {
            detail::forgetChallenge(*authKey_);
            deliver(error::unauthorized);
            return;
        }
        detail::rememberChallenge(*authKey_, *chosen);
        authorization_ = detail::cachedAuthorization(*authKey_, info_->password, request_.method,
                                                     request_.target);
        authSource_ = AuthSource::fresh;
        if (parser_->keep_alive()) {
            reused_ = true;
            doWrite();
        } else {
            doConnect();
        }
    }

    // A camera may close a connection it announced to keep (some answer a
    // 401 and hang up). A failure on a reused connection before any answer
    // byte is therefore retried once on a new one, with a new nonce count.
    bool retryOnFreshConnection(const boost::system::error_code& ec)
    {
        if (!reused_)
            return false;
        reused_ = false;
        if (ec != boost::asio::error::eof && ec != boost::asio::error::connection_reset &&
            ec != boost::asio::error::broken_pipe && ec != boost::asio::error::connection_aborted)
            return false;
        if (authKey_ && authSource_ != AuthSource::none)
            authorization_ = detail::cachedAuthorization(*authKey_, info_->password, request_.method,
                                                         request_.target);
        doConnect();
        return true;
    }

    static bool isBasic(const AuthChallenge& challenge) { return iequals(challenge.scheme, "Basic"); }

    void deliver(const boost::system::error_code& ec)
    {
        auto& message = parser_->get();
        HttpResponse response;
        response.status = message.result_int();
        response.reason = std::string(message.reason());
        for (const auto& field : message)
            response.headers.push_back({std::string(field.name_string()), std::string(field.value())});
        std::string body = std::move(message.body());
        finish(ec, body, response);
    }

    void finish(const boost::system::error_code& ec, const std::string& body = {},
                const HttpResponse& response = {})
    {
        if (done_)
            return;
        done_ = true;
        timer_.cancel();
        connection_.cancel();
        auto completion = std::move(completion_);
        completion_ = nullptr;
        if (completion)
            completion(ec, body, response);
    }

    asio::ConnectionInfoPtr info_;
    HttpRequest request_;
    boost::asio::strand<boost::asio::io_context::executor_type> strand_;
    boost::asio::steady_timer timer_;
    detail::ClientConnection connection_;
    bhttp::request<bhttp::string_body> message_;
    std::optional<bhttp::response_parser<bhttp::string_body>> parser_;
    beast::flat_buffer buffer_;
    std::chrono::milliseconds timeout_;
    HttpCompletion completion_;
    std::optional<detail::AuthKey> authKey_;
    std::optional<std::string> authorization_;
    AuthSource authSource_ = AuthSource::none;
    int authRounds_ = 0;
    int interim_ = 0;
    bool reused_ = false; // the current attempt went out on a kept-alive connection
    bool done_ = false;
};

RequestHandlePtr startRequest(asio::ConnectionInfoPtr info, HttpRequest request,
                              boost::asio::io_context& io, Timeout timeout,
                              HttpCompletion completion)
{
    auto transaction = std::make_shared<HttpTransaction>(
        std::move(info), std::move(request), io, timeout.value_or(kDefaultTimeout),
        std::move(completion));
    transaction->start();
    return transaction;
}

} // namespace

const std::string* HttpResponse::find(std::string_view name) const
{
    for (const auto& header : headers) {
        if (iequals(header.name, name))
            return &header.value;
    }
    return nullptr;
}

RequestHandlePtr asyncGetEx(asio::ConnectionInfoPtr info, const std::string& uri,
                            boost::asio::io_context& io, Timeout timeout,
                            HttpCompletion completion)
{
    HttpRequest request;
    request.target = uri;
    return startRequest(std::move(info), std::move(request), io, timeout, std::move(completion));
}

RequestHandlePtr asyncGetEx(asio::ConnectionInfoPtr info, HttpRequest request,
                            boost::asio::io_context& io, Timeout timeout,
                            HttpCompletion completion)
{
    return startRequest(std::move(info), std::move(request), io, timeout, std::move(completion));
}

RequestHandlePtr asyncPostEx(asio::ConnectionInfoPtr info, const std::string& uri,
                             std::string body, boost::asio::io_context& io, Timeout timeout,
                             HttpCompletion completion, Headers headers)
{
    HttpRequest request;
    request.method = "POST";
    request.target = uri;
    request.body = std::move(body);
    request.headers = std::move(headers);
    return startRequest(std::move(info), std::move(request), io, timeout, std::move(completion));
}

const Headers& jsonHeaders()
{
    static const Headers headers{{"Content-Type", "application/json"}};
    return headers;
}

} // namespace Orix::http

#include "rtsp/RtspSession.h"

#include <netkit/rtsp/RtspTransportHeader.h>

#include <orix/ILogger.h>

#include <boost/asio/post.hpp>

#include <algorithm>
#include <random>

namespace Orix::Utility::rtsp {
namespace {

using Clock = std::chrono::steady_clock;
using boost::system::error_code;

constexpr unsigned kMaxRedirects = 3;
constexpr std::chrono::milliseconds kMaxTeardownWait{2000};
constexpr std::chrono::seconds kMinKeepAlive{1};

bool isAbsoluteUrl(const std::string& text)
{
    return text.find("://") != std::string::npos;
}

// "video H265/90000, audio mpeg4-generic/16000" for a log line.
std::string describeMedia(const SdpSession& sdp)
{
    if (sdp.media.empty())
        return "no media";
    std::string out;
    for (const auto& media : sdp.media) {
        if (!out.empty())
            out += ", ";
        out += media.mediaType;
        const auto pt = media.payloadType();
        const auto map = pt ? media.rtpmap(*pt) : std::nullopt;
        if (map)
            out += " " + map->encoding + "/" + std::to_string(map->clockRate);
        else if (!media.formats.empty())
            out += " format " + media.formats.front();
    }
    return out;
}

std::string bracketed(const std::string& host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

} // namespace

RtspSession::RtspSession(boost::asio::io_context& io, const LoggerOwner& log, SessionSettings settings,
                         std::shared_ptr<SessionCounters> counters)
    : io_(io), log_(log), settings_(std::move(settings)), counters_(std::move(counters)), connectTimer_(io),
      responseTimer_(io), keepAliveTimer_(io), noDataTimer_(io), reportTimer_(io), abandonTimer_(io)
{
    std::random_device device;
    ourSsrc_ = static_cast<std::uint32_t>(device());
}

RtspSession::~RtspSession()
{
    // Pending socket handlers keep the connection and UDP receivers alive;
    // closing them here makes those handlers end.
    if (connection_)
        connection_->close();
    for (auto& track : tracks_) {
        if (track.udp)
            track.udp->close();
    }
}

bool RtspSession::mediaOnConnection() const
{
    return settings_.transport == RtspTransport::Tcp || settings_.transport == RtspTransport::RtspOverHttp;
}

error_code RtspSession::statusError(unsigned status) const
{
    // RFC 2326 section 12.39: 461 names a transport the server will not
    // use; some servers say 400 to a SETUP whose Transport they do not parse.
    if (status == 461 || (status == 400 && state_ == State::SettingUp))
        return make_error_code(error::transportRefused);
    if (status == 401)
        return make_error_code(error::unauthorized);
    if (status == 404)
        return make_error_code(error::notFound);
    if (status == 454)
        return make_error_code(error::sessionEndedByServer);
    return make_error_code(error::requestFailed);
}

// ---------------------------------------------------------------- connecting

void RtspSession::start(const std::string& url, asio::ConnectionInfoPtr info, Completion completion)
{
    completion_ = std::move(completion);
    info_ = std::move(info);
    state_ = State::Connecting;
    if (!info_) {
        ORIX_LOG(log_, LogError, " RTSP session without connection info");
        return finish(make_error_code(error::badUrl));
    }
    auth_ = RtspAuthenticator(info_->user, info_->password);
    const bool tunnel = settings_.transport == RtspTransport::RtspOverHttp;
    const std::string endpointHost = info_->endpoint.address.empty() ? info_->host : info_->endpoint.address;
    const std::uint16_t endpointPort = info_->endpoint.port != 0 ? info_->endpoint.port : info_->port;
    std::string full = url;
    if (!isAbsoluteUrl(url)) {
        std::string path = url.empty() || (url.front() != '/' && url.front() != '?') ? "/" + url : url;
        full = "rtsp://" + bracketed(info_->host.empty() ? endpointHost : info_->host) + ":" +
               std::to_string(endpointPort) + path;
    }
    if (!parseRtspUrl(full, url_)) {
        ORIX_LOG(log_, LogError, " Unusable RTSP URL: " << urlForDisplay(full));
        return finish(make_error_code(error::badUrl));
    }
    url_.scheme = "rtsp";
    const bool cameraHost = url_.host == info_->host || url_.host == info_->endpoint.address;
    connectHost_ = cameraHost ? endpointHost : url_.host;
    // A full URL may name the RTSP port; the tunnel always goes to the HTTP port.
    connectPort_ = isAbsoluteUrl(url) && url_.explicitPort && !tunnel ? url_.port : endpointPort;
    doConnect();
}

void RtspSession::doConnect()
{
    state_ = State::Connecting;
    reader_ = RtspStreamReader{};
    auto self = shared_from_this();
    std::weak_ptr<RtspSession> weak = self;
    connection_ = std::make_shared<RtspConnection>(
        io_,
        [weak](const std::uint8_t* data, std::size_t size) {
            if (auto s = weak.lock())
                s->onData(data, size);
        },
        [weak](const error_code& ec) {
            auto s = weak.lock();
            if (!s || s->finished_)
                return;
            if (s->state_ == State::TearingDown)
                return s->finish({});
            if (ec == boost::asio::error::eof && s->state_ == State::Playing) {
                // An orderly close while playing is how servers end a stream
                // that has ended (a clip, a camera's "end" of the session).
                ORIX_LOG(s->log_, LogWarning, " RTSP server " << s->url_.toString() << " closed the connection: the stream ended");
                return s->finish(make_error_code(error::sessionEndedByServer));
            }
            const error_code reason = ec == boost::asio::error::eof ? make_error_code(error::connectionLost) : ec;
            ORIX_LOG(s->log_, LogError, " RTSP connection to " << s->url_.toString() << " ended: " << reason.message());
            s->finish(reason);
        });
    connection_->setReceiveBufferSize(mediaOnConnection() ? settings_.receiveBuffer : 0);
    std::optional<TunnelOptions> tunnel;
    if (settings_.transport == RtspTransport::RtspOverHttp) {
        TunnelOptions options;
        options.target = url_.target;
        const bool cameraHost = url_.host == info_->host || url_.host == info_->endpoint.address;
        options.hostHeader = cameraHost ? info_->authority() : url_.authority();
        options.user = info_->user;
        options.password = info_->password;
        options.userAgent = settings_.userAgent;
        if (info_->secure())
            options.tls = info_;
        tunnel = std::move(options);
    }
    ORIX_LOG(log_, LogDebug,
             " Connecting to " << bracketed(connectHost_) << ":" << connectPort_ << " for " << url_.toString()
                               << (tunnel ? tunnel->tls ? " (tunnelled over HTTPS)" : " (tunnelled over HTTP)" : ""));
    connectTimer_.expires_after(settings_.responseTimeout);
    connectTimer_.async_wait([weak, connection = std::weak_ptr<RtspConnection>(connection_)](const error_code& ec) {
        auto s = weak.lock();
        if (ec || !s || s->finished_ || s->state_ != State::Connecting || s->connection_ != connection.lock())
            return;
        ORIX_LOG(s->log_, LogError, " Connecting to " << s->url_.toString() << " timed out");
        s->finish(make_error_code(error::timeout));
    });
    connection_->open(connectHost_, connectPort_, std::move(tunnel),
                      [weak, connection = std::weak_ptr<RtspConnection>(connection_)](const error_code& ec) {
                          auto s = weak.lock();
                          if (!s || s->finished_ || s->connection_ != connection.lock())
                              return;
                          s->handleConnect(ec);
                      });
}

void RtspSession::handleConnect(const error_code& ec)
{
    if (state_ != State::Connecting)
        return;
    connectTimer_.cancel();
    if (ec) {
        ORIX_LOG(log_, LogError, " Cannot connect for " << url_.toString() << ": " << ec.message());
        return finish(ec);
    }
    state_ = State::Options;
    sendRequest(Purpose::Options, "OPTIONS", url_.toString());
}

// ------------------------------------------------------------------ requests

std::uint32_t RtspSession::sendRequest(Purpose purpose, const std::string& method, const std::string& uri,
                              std::vector<HeaderField> headers, CommandHandler handler)
{
    Pending pending;
    pending.purpose = purpose;
    pending.request.method = method;
    pending.request.uri = uri;
    pending.request.headers = std::move(headers);
    pending.handler = std::move(handler);
    pending.authAnswered = auth_.answering();
    auto timeout = settings_.responseTimeout;
    if (purpose == Purpose::Teardown)
        timeout = std::min<std::chrono::milliseconds>(timeout, kMaxTeardownWait);
    pending.deadline = Clock::now() + timeout;
    const std::uint32_t cseq = nextCseq_++;
    pending.request.cseq = cseq;
    pending_.emplace(cseq, std::move(pending));
    transmit(cseq);
    armResponseTimer();
    return cseq;
}

void RtspSession::transmit(std::uint32_t cseq)
{
    Pending& pending = pending_.at(cseq);
    RtspRequest& request = pending.request;
    if (!settings_.userAgent.empty())
        request.set("User-Agent", settings_.userAgent);
    if (!sessionId_.empty() && pending.purpose != Purpose::Options && pending.purpose != Purpose::Describe)
        request.set("Session", sessionId_);
    if (auto authorization = auth_.authorization(request.method, request.uri))
        request.set("Authorization", *authorization);
    ++counters_->requests;
    if (pending.purpose == Purpose::KeepAlive)
        ++counters_->keepAlives;
    ORIX_LOG(log_, LogDebug, " RTSP " << request.method << " " << urlForDisplay(request.uri) << " CSeq " << cseq);
    connection_->send(request.serialize());
}

void RtspSession::onData(const std::uint8_t* data, std::size_t size)
{
    if (finished_)
        return;
    if (error_code ec = reader_.feed(data, size, *this)) {
        if (finished_)
            return;
        ORIX_LOG(log_, LogError, " Bad data from the RTSP server " << url_.toString() << ": " << ec.message());
        finish(ec);
    }
}

bool RtspSession::onMessage(RtspMessage&& message)
{
    if (finished_)
        return false;
    if (message.isRequest)
        answerServerRequest(message);
    else
        handleResponse(std::move(message));
    return !finished_;
}

void RtspSession::answerServerRequest(const RtspMessage& request)
{
    // Servers rarely ask anything (ANNOUNCE, GET_PARAMETER); say what we do.
    const bool known = request.method == "OPTIONS" || request.method == "GET_PARAMETER";
    ORIX_LOG(log_, LogNotice, " RTSP server sent a " << request.method << " request");
    std::string answer = known ? "RTSP/1.0 200 OK\r\n" : "RTSP/1.0 501 Not Implemented\r\n";
    if (auto cseq = request.cseq())
        answer += "CSeq: " + std::to_string(*cseq) + "\r\n";
    answer += "\r\n";
    connection_->send(std::move(answer));
}

void RtspSession::handleResponse(RtspMessage&& response)
{
    auto cseq = response.cseq();
    auto it = cseq ? pending_.find(*cseq) : pending_.end();
    if (!cseq && pending_.size() == 1) {
        // Some encoders leave CSeq out of their answers; with one request in
        // flight the answer can only be for it.
        if (!cseqQuirkLogged_) {
            cseqQuirkLogged_ = true;
            ORIX_LOG(log_, LogNotice, " RTSP answer without CSeq from " << url_.toString() << "; matched to the one pending request");
        }
        it = pending_.begin();
    }
    if (it == pending_.end()) {
        ORIX_LOG(log_, LogNotice, " RTSP answer with unexpected CSeq " << (cseq ? std::to_string(*cseq) : "none")
                                                                      << " from " << url_.toString() << " dropped");
        return;
    }
    Pending pending = std::move(it->second);
    pending_.erase(it);
    armResponseTimer();
    if (auto session = response.find("Session")) {
        SessionHeader parsed;
        if (parseSessionHeader(*session, parsed) && sessionId_.empty() && pending.purpose == Purpose::Setup) {
            sessionId_ = parsed.id;
            sessionTimeout_ = parsed.timeout;
        }
    }
    if (response.status == 401 && handleUnauthorized(pending, response))
        return;
    switch (pending.purpose) {
    case Purpose::Options: return handleOptions(response);
    case Purpose::Describe: return handleDescribe(response);
    case Purpose::Setup: return handleSetup(response);
    case Purpose::Play: return handlePlay(response);
    case Purpose::KeepAlive: return handleKeepAlive(response);
    case Purpose::Teardown: return finish({});
    case Purpose::Pause:
    case Purpose::UserPlay: {
        const std::string* range = response.find("Range");
        error_code ec = response.status / 100 == 2 ? error_code{} : statusError(response.status);
        if (ec)
            ORIX_LOG(log_, LogError, " RTSP " << pending.request.method << " answered " << response.status << " " << response.reason);
        if (pending.handler)
            boost::asio::post(io_, [handler = std::move(pending.handler), ec, range = range ? *range : std::string()] {
                handler(ec, range);
            });
        return;
    }
    }
}

bool RtspSession::handleUnauthorized(Pending& pending, const RtspMessage& response)
{
    std::string reason;
    if (const error_code ec = auth_.onUnauthorized(response, pending.authAnswered, pending.authRounds, reason)) {
        ORIX_LOG(log_, LogError, " RTSP " << pending.request.method << " " << url_.toString() << " " << reason);
        finish(ec);
        return true;
    }
    pending.request.headers.erase(
        std::remove_if(pending.request.headers.begin(), pending.request.headers.end(),
                       [](const HeaderField& h) { return iequals(h.name, "Authorization"); }),
        pending.request.headers.end());
    const unsigned rounds = pending.authRounds + 1;
    const std::uint32_t cseq = sendRequest(pending.purpose, pending.request.method, pending.request.uri,
                                           std::move(pending.request.headers), std::move(pending.handler));
    if (auto it = pending_.find(cseq); it != pending_.end())
        it->second.authRounds = rounds;
    return true;
}

void RtspSession::handleRedirect(const RtspMessage& response)
{
    const std::string* location = response.find("Location");
    RtspUrl target;
    if (!location || !parseRtspUrl(*location, target) || target.scheme != "rtsp") {
        ORIX_LOG(log_, LogError, " RTSP redirect " << response.status << " without a usable Location");
        return finish(make_error_code(error::badUrl));
    }
    if (++redirects_ > kMaxRedirects) {
        ORIX_LOG(log_, LogError, " RTSP redirected more than " << kMaxRedirects << " times");
        return finish(make_error_code(error::tooManyRedirects));
    }
    ORIX_LOG(log_, LogWarning, " RTSP " << url_.toString() << " redirected to " << target.toString());
    connection_->close();
    pending_.clear();
    auth_.reset();
    sessionId_.clear();
    if (target.host != url_.host && target.host != connectHost_)
        connectHost_ = target.host;
    if (settings_.transport != RtspTransport::RtspOverHttp)
        connectPort_ = target.port;
    url_ = target;
    doConnect();
}

void RtspSession::handleOptions(const RtspMessage& response)
{
    if (state_ != State::Options)
        return;
    if (response.status / 100 == 3)
        return handleRedirect(response);
    if (response.status / 100 == 2) {
        if (const std::string* methods = response.find("Public")) {
            auto list = parsePublicHeader(*methods);
            keepAliveWithGetParameter_ = std::find(list.begin(), list.end(), "GET_PARAMETER") != list.end();
        }
    } else {
        // OPTIONS is a courtesy; DESCRIBE decides.
        ORIX_LOG(log_, LogNotice, " RTSP OPTIONS answered " << response.status << " " << response.reason);
    }
    state_ = State::Describing;
    sendRequest(Purpose::Describe, "DESCRIBE", url_.toString(), {{"Accept", "application/sdp"}});
}

void RtspSession::handleDescribe(const RtspMessage& response)
{
    if (state_ != State::Describing)
        return;
    if (response.status / 100 == 3)
        return handleRedirect(response);
    if (response.status / 100 != 2) {
        ORIX_LOG(log_, LogError, " RTSP DESCRIBE " << url_.toString() << " answered " << response.status << " "
                                                   << response.reason);
        return finish(statusError(response.status));
    }
    SdpSession sdp;
    if (error_code ec = parseSdp(response.body, sdp)) {
        ORIX_LOG(log_, LogError, " RTSP DESCRIBE " << url_.toString() << " gave an unusable SDP: " << ec.message());
        return finish(make_error_code(error::protocolViolation));
    }
    const std::string requestUrl = url_.toString();
    const std::string base = describeBaseUrl(response, requestUrl);
    sessionControlUrl_ = sdp.control.empty() ? requestUrl : resolveControlUrl(base, sdp.control);
    for (std::size_t i = 0; i < sdp.media.size(); ++i) {
        std::shared_ptr<RtpTrackSink> sink;
        if (settings_.initializer) {
            try {
                sink = settings_.initializer(sdp.media[i], i);
            } catch (const std::exception& e) {
                ORIX_LOG(log_, LogError, " Track initializer failed for track " << i << ": " << e.what());
            }
        }
        if (!sink)
            continue;
        Track track;
        track.media = sdp.media[i];
        track.controlUrl = resolveControlUrl(base, sdp.media[i].control);
        track.sink = std::move(sink);
        tracks_.push_back(std::move(track));
    }
    if (tracks_.empty()) {
        ORIX_LOG(log_, LogError, " No usable track in the description of " << url_.toString() << "; it offered "
                                                                           << describeMedia(sdp));
        return finish(make_error_code(error::noTracks));
    }
    if (tracks_.size() > 128) {
        return finish(make_error_code(error::protocolViolation));
    }
    state_ = State::SettingUp;
    setupIndex_ = 0;
    doSetup();
}

void RtspSession::doPlay()
{
    state_ = State::Starting;
    if (settings_.playRange.empty())
        sendRequest(Purpose::Play, "PLAY", sessionControlUrl_, {});
    else
        sendRequest(Purpose::Play, "PLAY", sessionControlUrl_, {{"Range", settings_.playRange}});
}

void RtspSession::handlePlay(const RtspMessage& response)
{
    if (state_ != State::Starting)
        return;
    if (response.status / 100 != 2) {
        ORIX_LOG(log_, LogError, " RTSP PLAY " << sessionControlUrl_ << " answered " << response.status << " "
                                               << response.reason);
        return finish(statusError(response.status));
    }
    state_ = State::Playing;
    // Inline, so that the caller hears where the server starts before any media of the session.
    if (settings_.playStarted) {
        const std::string* range = response.find("Range");
        settings_.playStarted(range ? *range : std::string());
    }
    ORIX_LOG(log_, LogDebug, " RTSP session " << url_.toString() << " playing " << tracks_.size()
                                              << " track(s), session time-out " << sessionTimeout_.count() << " s");
    lastRtp_ = Clock::now();
    armNoData();
    armKeepAlive();
    if (!mediaOnConnection() && settings_.receiverReports)
        sendReceiverReports();
}

void RtspSession::handleKeepAlive(const RtspMessage& response)
{
    if (response.status / 100 == 2)
        return;
    if (response.status == 454) {
        ORIX_LOG(log_, LogError, " RTSP server " << url_.toString() << " no longer knows the session");
        return finish(make_error_code(error::sessionEndedByServer));
    }
    if (keepAliveWithGetParameter_ && (response.status == 405 || response.status == 501)) {
        ORIX_LOG(log_, LogNotice, " RTSP server refuses GET_PARAMETER; keeping alive with OPTIONS");
        keepAliveWithGetParameter_ = false;
        return;
    }
    ORIX_LOG(log_, LogNotice, " RTSP keep-alive answered " << response.status << " " << response.reason);
}

// -------------------------------------------------------------------- timers

void RtspSession::armResponseTimer()
{
    if (pending_.empty()) {
        responseTimer_.cancel();
        return;
    }
    auto earliest = std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
                        return a.second.deadline < b.second.deadline;
                    })->second.deadline;
    responseTimer_.expires_at(earliest);
    responseTimer_.async_wait([weak = std::weak_ptr<RtspSession>(shared_from_this())](const error_code& ec) {
        auto s = weak.lock();
        if (ec || !s || s->finished_)
            return;
        s->handleResponseTimer();
    });
}

void RtspSession::handleResponseTimer()
{
    const auto now = Clock::now();
    std::vector<std::uint32_t> expired;
    for (const auto& [cseq, pending] : pending_) {
        if (pending.deadline <= now)
            expired.push_back(cseq);
    }
    for (std::uint32_t cseq : expired) {
        Pending pending = std::move(pending_.at(cseq));
        pending_.erase(cseq);
        ORIX_LOG(log_, LogError, " RTSP " << pending.request.method << " " << urlForDisplay(pending.request.uri)
                                          << " CSeq " << cseq << " got no answer in time");
        switch (pending.purpose) {
        case Purpose::KeepAlive:
            break; // media still flowing is what counts; the no-data time-out watches that
        case Purpose::Teardown:
            return finish({});
        case Purpose::Pause:
        case Purpose::UserPlay:
            if (pending.handler)
                boost::asio::post(io_, [handler = std::move(pending.handler)] {
                    handler(make_error_code(error::timeout), std::string());
                });
            break;
        case Purpose::Options:
        case Purpose::Describe:
        case Purpose::Setup:
        case Purpose::Play:
            return finish(make_error_code(error::timeout));
        }
    }
    armResponseTimer();
}

void RtspSession::armKeepAlive()
{
    auto interval = std::max<std::chrono::seconds>(sessionTimeout_ / 2, kMinKeepAlive);
    keepAliveTimer_.expires_after(interval);
    keepAliveTimer_.async_wait([weak = std::weak_ptr<RtspSession>(shared_from_this())](const error_code& ec) {
        auto s = weak.lock();
        if (ec || !s || s->finished_ || s->state_ != State::Playing)
            return;
        const bool waiting = std::any_of(s->pending_.begin(), s->pending_.end(), [](const auto& p) {
            return p.second.purpose == Purpose::KeepAlive;
        });
        if (!waiting) {
            if (s->keepAliveWithGetParameter_)
                s->sendRequest(Purpose::KeepAlive, "GET_PARAMETER", s->sessionControlUrl_);
            else
                s->sendRequest(Purpose::KeepAlive, "OPTIONS", s->url_.toString());
        }
        s->armKeepAlive();
    });
}

void RtspSession::armNoData()
{
    const auto due = lastRtp_ + settings_.noDataTimeout;
    noDataTimer_.expires_at(due);
    noDataTimer_.async_wait([weak = std::weak_ptr<RtspSession>(shared_from_this())](const error_code& ec) {
        auto s = weak.lock();
        if (ec || !s || s->finished_ || s->state_ != State::Playing)
            return;
        if (Clock::now() - s->lastRtp_ < s->settings_.noDataTimeout)
            return s->armNoData();
        ORIX_LOG(s->log_, LogError, " No RTP from " << s->url_.toString() << " for "
                                                    << s->settings_.noDataTimeout.count() << " ms");
        s->finish(make_error_code(error::timeout));
    });
}

// -------------------------------------------------------------------- ending

void RtspSession::teardown()
{
    switch (state_) {
    case State::Idle:
    case State::Finished:
    case State::TearingDown:
        return;
    case State::Connecting:
    case State::Options:
    case State::Describing:
        return finish({});
    case State::SettingUp:
    case State::Starting:
    case State::Playing:
        if (sessionId_.empty())
            return finish({});
        break;
    }
    state_ = State::TearingDown;
    keepAliveTimer_.cancel();
    noDataTimer_.cancel();
    reportTimer_.cancel();
    // Answers to anything still in flight no longer matter.
    for (auto& [cseq, pending] : pending_) {
        if (pending.handler)
            boost::asio::post(io_, [handler = std::move(pending.handler)] {
                handler(make_error_code(error::cancelled), std::string());
            });
    }
    pending_.clear();
    sendRequest(Purpose::Teardown, "TEARDOWN", sessionControlUrl_);
}

void RtspSession::command(bool pause, const std::string& range, CommandHandler handler)
{
    if (finished_ || (state_ != State::Playing && state_ != State::Starting)) {
        boost::asio::post(io_, [handler = std::move(handler)] {
            handler(make_error_code(error::notPlaying), std::string());
        });
        return;
    }
    std::vector<HeaderField> headers;
    if (!pause && !range.empty())
        headers.push_back({"Range", range});
    sendRequest(pause ? Purpose::Pause : Purpose::UserPlay, pause ? "PAUSE" : "PLAY", sessionControlUrl_,
                std::move(headers), std::move(handler));
    if (pause) {
        // A paused session sends nothing; only the keep-alive runs.
        noDataTimer_.cancel();
    } else if (state_ == State::Playing) {
        lastRtp_ = Clock::now();
        armNoData();
    }
}

void RtspSession::abandon()
{
    // Nobody owns the session any more. A waiting timer holds it through the
    // TEARDOWN exchange: finish() cancels the timer, which lets go. Holding it
    // from an operation of the io_context, not from a member, means a stopped
    // and destroyed io_context frees the session (and its connection) too.
    if (!finished_) {
        abandonTimer_.expires_after(settings_.responseTimeout + kMaxTeardownWait);
        abandonTimer_.async_wait([self = shared_from_this()](const error_code& ec) {
            if (!ec)
                self->finish({});
        });
    }
    completion_ = nullptr;
    settings_.initializer = nullptr;
    for (auto& track : tracks_)
        track.sink.reset();
    for (auto& [cseq, pending] : pending_)
        pending.handler = nullptr;
    teardown();
}

void RtspSession::finish(const error_code& ec)
{
    if (finished_.exchange(true))
        return;
    state_ = State::Finished;
    connectTimer_.cancel();
    responseTimer_.cancel();
    keepAliveTimer_.cancel();
    noDataTimer_.cancel();
    reportTimer_.cancel();
    if (connection_)
        connection_->close();
    for (auto& track : tracks_) {
        if (track.udp)
            track.udp->close();
        track.sink.reset();
    }
    for (auto& [cseq, pending] : pending_) {
        if (pending.handler)
            boost::asio::post(io_, [handler = std::move(pending.handler)] {
                handler(make_error_code(error::cancelled), std::string());
            });
    }
    pending_.clear();
    settings_.initializer = nullptr;
    if (ec)
        ORIX_LOG(log_, LogDebug, " RTSP session " << url_.toString() << " ended: " << ec.message());
    else
        ORIX_LOG(log_, LogDebug, " RTSP session " << url_.toString() << " torn down");
    if (completion_) {
        boost::asio::post(io_, [completion = std::move(completion_), ec] { completion(ec); });
        completion_ = nullptr;
    }
    abandonTimer_.cancel();
}

} // namespace Orix::Utility::rtsp

#include "RtspConnection.h"

#include "Camera.h"
#include "EventEngine.h"
#include "MediaLibrary.h"
#include "MediaStreamer.h"
#include "RequestLog.h"
#include "RtspAuth.h"
#include "RtspByteStream.h"
#include "AudioRtp.h"
#include "RtspSdp.h"

#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <iostream>
#include <random>

namespace Camsim {

namespace asio = boost::asio;
using udp = asio::ip::udp;
using boost::system::error_code;

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr std::size_t kMaxWriteChunk = 256 * 1024;
constexpr const char* kPublic =
    "OPTIONS, DESCRIBE, ANNOUNCE, GET_PARAMETER, PAUSE, PLAY, RECORD, SETUP, SET_PARAMETER, TEARDOWN";

// Neither "$" nor the start of an RTSP message: a client has to notice.
const char kGarbage[] = "\x17\x03\x03\x00\x40garbage: this is neither RTSP nor interleaved data\r\n\x00\xff\xfe\x80";

std::mt19937_64& randomEngine()
{
    thread_local std::mt19937_64 engine(std::random_device{}());
    return engine;
}

std::string makeSessionId()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string id;
    for (int i = 0; i < 16; ++i)
        id += alphabet[randomEngine()() % (sizeof alphabet - 1)];
    return id;
}

std::string sessionOf(const RtspRequest& request)
{
    std::string s = request.header("Session");
    const auto semi = s.find(';');
    if (semi != std::string::npos)
        s.erase(semi);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

std::string hex8(std::uint32_t v)
{
    char out[9];
    std::snprintf(out, sizeof out, "%08X", v);
    return out;
}

std::string paramOf(Camera& camera, const std::string& path)
{
    return camera.withModel([&](Model& m) {
        const Param* p = m.params.findParam(path);
        return p ? p->value : std::string();
    });
}

// Two UDP sockets on consecutive ports (RTP even) when the system lets us,
// else on any two ports.
bool openPortPair(const asio::any_io_executor& executor, const asio::ip::address& address,
                  std::shared_ptr<udp::socket>& rtp, std::shared_ptr<udp::socket>& rtcp)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        rtp = std::make_shared<udp::socket>(executor);
        rtcp = std::make_shared<udp::socket>(executor);
        error_code ec;
        rtp->open(address.is_v6() ? udp::v6() : udp::v4(), ec);
        if (!ec)
            rtp->bind(udp::endpoint(address, 0), ec);
        if (ec)
            return false;
        const auto port = rtp->local_endpoint(ec).port();
        if (ec)
            return false;
        rtcp->open(address.is_v6() ? udp::v6() : udp::v4(), ec);
        if (ec)
            return false;
        if (port % 2 == 0 && port < 65535) {
            rtcp->bind(udp::endpoint(address, static_cast<unsigned short>(port + 1)), ec);
            if (!ec)
                return true;
        } else if (attempt < 19) {
            continue;
        }
        if (attempt == 19) {
            rtcp->bind(udp::endpoint(address, 0), ec);
            return !ec;
        }
    }
    return false;
}

} // namespace

RtspConnection::RtspConnection(RtspContext& context, std::unique_ptr<RtspByteStream> stream, bool tunnelled,
                               bool secure)
    : context_(context),
      stream_(std::move(stream)),
      executor_(stream_->executor()),
      tunnelled_(tunnelled),
      secure_(secure),
      readBuffer_(kReadChunk)
{
    const std::string timeout = paramOf(context_.camera, "Network.RTSP.Timeout");
    if (!timeout.empty() && timeout.size() < 6 && timeout.find_first_not_of("0123456789") == std::string::npos &&
        std::stoul(timeout) > 0)
        sessionTimeout_ = static_cast<unsigned>(std::stoul(timeout));
    sdpSessionId_ = randomEngine()();
}

RtspConnection::~RtspConnection()
{
    if (streamer_)
        streamer_->stop();
}

void RtspConnection::start(std::string preface)
{
    if (!preface.empty())
        send(std::move(preface), false);
    doRead();
}

void RtspConnection::doRead()
{
    if (closed_)
        return;
    stream_->asyncReadSome(readBuffer_.data(), readBuffer_.size(),
                           [self = shared_from_this()](const error_code& ec, std::size_t n) { self->handleRead(ec, n); });
}

void RtspConnection::handleRead(const error_code& ec, std::size_t n)
{
    if (closed_)
        return;
    if (ec)
        return close();
    // A tunnel's GET leg carries nothing from the client; it is read only
    // to notice when the client goes away.
    if (!tunnelled_)
        feed(std::string(readBuffer_.data(), n));
    doRead();
}

void RtspConnection::feed(const std::string& bytes)
{
    if (closed_)
        return;
    if (!reader_.append(bytes.data(), bytes.size()))
        return process(); // reports the error
    process();
}

void RtspConnection::process()
{
    RtspRequest request;
    std::uint8_t channel = 0;
    std::string frame;
    while (!closed_ && !closeAfterWrite_) {
        switch (reader_.next(request, channel, frame)) {
        case RtspReader::Item::NeedMore:
            return;
        case RtspReader::Item::Request:
            handleRequest(request);
            break;
        case RtspReader::Item::Interleaved:
            // RTCP receiver reports from the client: it is still there.
            if (streamer_)
                streamer_->touch();
            break;
        case RtspReader::Item::Error:
            send(rtspResponse(400, {}, {}), false);
            closeAfterWrite_ = true;
            if (!writeInFlight_)
                close();
            return;
        }
    }
}

void RtspConnection::handleRequest(const RtspRequest& request)
{
    Reply reply = answer(request);
    logRequest(request, reply.silent ? 0 : reply.status, reply.fault);
    if (reply.silent)
        return close();
    std::string bytes = rtspResponse(reply.status, request.header("CSeq"), reply.headers, reply.body);
    if (reply.after == After::Close)
        closeAfterWrite_ = true;
    if (reply.delay.count() > 0) {
        auto timer = std::make_shared<asio::steady_timer>(executor_, reply.delay);
        timer->async_wait([self = shared_from_this(), timer, bytes = std::move(bytes)](const error_code& ec) mutable {
            if (!ec)
                self->send(std::move(bytes), false);
        });
        return;
    }
    send(std::move(bytes), false);
}

RtspConnection::Reply RtspConnection::answer(const RtspRequest& request)
{
    Reply r;
    if (request.header("CSeq").empty()) {
        r.status = 400;
        return r;
    }
    const std::string path = rtspUrlPath(request.url);
    if (request.url != "*" && path.rfind(kMediaPath, 0) != 0) {
        r.status = 404;
        return r;
    }
    if (request.method == "OPTIONS") {
        r.headers.emplace_back("Public", kPublic);
        if (!sessionId_.empty() && sessionOf(request) == sessionId_) {
            addSessionHeader(r);
            if (streamer_)
                streamer_->touch();
        }
        return r;
    }
    if (paramOf(context_.camera, "Network.RTSP.ProtViewer") != "anonymous") {
        auto verdict = context_.auth.check(request.method, request.header("Authorization"));
        if (!verdict.accepted) {
            r.status = 401;
            for (auto& c : verdict.challenges)
                r.headers.emplace_back("WWW-Authenticate", std::move(c));
            return r;
        }
    }
    const std::string session = sessionOf(request);
    if (!session.empty() && session != sessionId_) {
        r.status = 454;
        return r;
    }
    if (streamer_ && !session.empty())
        streamer_->touch();

    const std::string& m = request.method;
    if (m == "DESCRIBE")
        return describe(request);
    if (m == "SETUP")
        return setup(request);
    if (m == "PLAY")
        return play(request);
    if (m == "PAUSE") {
        if (session.empty()) {
            r.status = 454;
            return r;
        }
        return pause();
    }
    if (m == "TEARDOWN") {
        if (session.empty()) {
            r.status = 454;
            return r;
        }
        return teardown();
    }
    if (m == "GET_PARAMETER" || m == "SET_PARAMETER") {
        if (m == "SET_PARAMETER" && !request.header("Require").empty()) {
            r.status = 551;
            r.headers.emplace_back("Unsupported", request.header("Require"));
            return r;
        }
        if (!session.empty())
            addSessionHeader(r);
        return r;
    }
    if (m == "ANNOUNCE" || m == "RECORD") {
        r.status = 405;
        r.headers.emplace_back("Allow", "OPTIONS, DESCRIBE, GET_PARAMETER, PAUSE, PLAY, SETUP, SET_PARAMETER, TEARDOWN");
        return r;
    }
    r.status = 501;
    return r;
}

void RtspConnection::takeFault(Reply& reply)
{
    faultTaken_ = true;
    fault_ = context_.faults.takeIf(kMediaPath, {FaultSpec::Kind::Status, FaultSpec::Kind::Delay, FaultSpec::Kind::Close,
                                                 FaultSpec::Kind::Empty, FaultSpec::Kind::Garbage, FaultSpec::Kind::End,
                                                 FaultSpec::Kind::Stall});
    if (!fault_)
        return;
    reply.fault = toString(*fault_);
    switch (fault_->kind) {
    case FaultSpec::Kind::Status:
        reply.status = fault_->status;
        fault_.reset();
        return;
    case FaultSpec::Kind::Close:
        reply.silent = true;
        fault_.reset();
        return;
    case FaultSpec::Kind::Delay:
        reply.delay = fault_->delay;
        fault_.reset();
        return;
    case FaultSpec::Kind::Empty:
    case FaultSpec::Kind::Garbage:
    case FaultSpec::Kind::End:
    case FaultSpec::Kind::Stall:
    case FaultSpec::Kind::Refuse:
    case FaultSpec::Kind::Truncate: // an HTTP fault: nothing to cut on RTSP
        return; // Empty: the caller answers without a body; the rest at PLAY
    }
}

std::shared_ptr<const AudioStream> RtspConnection::audioFor(const StreamRequest& request)
{
    const auto setting = context_.camera.withModel([&](Model& model) {
        auto s = audioSetting(model.params, request.camera - 1);
        return s ? s : audioSetting(model.params, 0);
    });
    if (!setting) {
        std::cerr << "camsim: no audio input with an encoding camsim sends" << std::endl;
        return nullptr;
    }
    std::string why;
    auto stream = context_.audio.stream(*setting, why);
    if (!stream)
        std::cerr << "camsim: " << why << std::endl;
    return stream;
}

std::optional<StreamRequest> RtspConnection::resolve(const std::string& url, Reply& reply)
{
    StreamRequestError error;
    const std::string query = rtspUrlQuery(url);
    auto request = context_.camera.withModel(
        [&](Model& model) { return resolveStreamRequest(query, model.params, error); });
    if (!request) {
        reply.status = error.status;
        return request;
    }
    if (!request->recordingId.empty()) {
        const auto recording =
            context_.recordings ? context_.recordings->find(request->recordingId) : std::nullopt;
        if (!recording) {
            reply.status = 404;
            return std::nullopt;
        }
        request->codec = VideoCodec::H264;
        request->width = recording->width;
        request->height = recording->height;
        request->fps = recording->fps;
        if (!recording_ || recording_->id != recording->id) {
            recording_ = recording;
            recordingStarted_ = false;
        }
    }
    return request;
}

std::size_t RtspConnection::recordingFrames() const
{
    const auto length = recording_->stopMicros - recording_->startMicros;
    return length <= 0 ? 0 : static_cast<std::size_t>(length * recording_->fps / 1000000);
}

// Where a PLAY of a recording starts: at the key frame at or before the
// Range's start (clock= or npt=), at the recording's start without one on
// the first PLAY, where it paused otherwise. The answer's Range, or nullopt
// for a Range the camera cannot read.
std::optional<std::string> RtspConnection::seekRecording(const std::string& range)
{
    const std::int64_t start = recording_->startMicros;
    const unsigned fps = std::max(1u, recording_->fps);
    const std::size_t total = recordingFrames();
    std::optional<std::int64_t> wanted;
    if (range.rfind("clock=", 0) == 0) {
        const auto dash = range.find('-', 6);
        wanted = parseClockTime(range.substr(6, dash == std::string::npos ? std::string::npos : dash - 6));
        if (!wanted)
            return std::nullopt;
    } else if (range.rfind("npt=", 0) == 0 && range.rfind("npt=now", 0) != 0) {
        char* end = nullptr;
        const double seconds = std::strtod(range.c_str() + 4, &end);
        if (end == range.c_str() + 4 || seconds < 0)
            return std::nullopt;
        wanted = start + static_cast<std::int64_t>(seconds * 1e6);
    } else if (!range.empty() && range.rfind("npt=", 0) != 0) {
        return std::nullopt;
    }
    std::size_t frame = streamer_->recordingFrame();
    if (wanted || !recordingStarted_) {
        const std::int64_t offset = std::max<std::int64_t>(0, wanted.value_or(start) - start);
        frame = std::min<std::size_t>(static_cast<std::size_t>(offset * fps / 1000000), total ? total - 1 : 0);
        const auto& clip = streamer_->track(0).clip;
        if (clip && !clip->frames.empty())
            while (frame > 0 && !clip->frames[frame % clip->frames.size()].key)
                --frame;
        streamer_->seekFrame(frame);
    }
    const std::int64_t at = start + static_cast<std::int64_t>(frame) * 1000000 / fps;
    return "clock=" + formatClockTime(at) + "-" + formatClockTime(recording_->stopMicros);
}

std::string RtspConnection::baseUrl(const std::string& url) const
{
    std::string base = stripUserInfo(url);
    const auto q = base.find('?');
    if (q != std::string::npos)
        base.erase(q);
    const auto at = base.find(kMediaPath);
    if (at != std::string::npos)
        base.erase(at + std::string(kMediaPath).size());
    return base;
}

RtspConnection::Reply RtspConnection::describe(const RtspRequest& request)
{
    Reply r;
    takeFault(r);
    if (r.status != 200 || r.silent)
        return r;
    const auto wanted = resolve(request.url, r);
    if (!wanted)
        return r;
    if (fault_ && fault_->kind == FaultSpec::Kind::Empty) {
        fault_.reset();
        r.headers.emplace_back("Content-Type", "application/sdp");
        return r;
    }
    const std::string base = baseUrl(request.url);
    const std::string query = rtspUrlQuery(request.url);
    const std::string suffix = query.empty() ? std::string() : "?" + query;

    SdpSession sdp;
    sdp.sessionId = sdpSessionId_;
    sdp.address = context_.bindAddress;
    sdp.control = base + suffix;
    if (!wanted->recordingId.empty())
        sdp.range = "clock=" + formatClockTime(recording_->startMicros) + "-" + formatClockTime(recording_->stopMicros);
    unsigned index = 0;
    if (wanted->video) {
        std::string why;
        const auto clip = context_.media.clip(wanted->codec, wanted->width, wanted->height, why);
        if (!clip) {
            std::cerr << "camsim: " << why << std::endl;
            r.status = 503;
            return r;
        }
        SdpTrack t;
        t.codec = clip->codec;
        t.fps = wanted->fps ? wanted->fps : clip->fps;
        t.vps = clip->vps;
        t.sps = clip->sps;
        t.pps = clip->pps;
        t.control = base + "/stream=" + std::to_string(index++) + suffix;
        sdp.tracks.push_back(t);
    }
    if (wanted->audio) {
        SdpTrack t;
        t.kind = SdpTrack::Kind::Audio;
        t.audio = audioFor(*wanted);
        if (!t.audio) {
            r.status = 503;
            return r;
        }
        t.control = base + "/stream=" + std::to_string(index++) + suffix;
        sdp.tracks.push_back(t);
    }
    if (wanted->events) {
        SdpTrack t;
        t.kind = SdpTrack::Kind::Metadata;
        t.control = base + "/stream=" + std::to_string(index++) + suffix;
        sdp.tracks.push_back(t);
    }
    r.headers.emplace_back("Content-Type", "application/sdp");
    r.headers.emplace_back("Content-Base", base + "/");
    r.body = buildSdp(sdp);
    return r;
}

RtspConnection::Reply RtspConnection::setup(const RtspRequest& request)
{
    Reply r;
    if (state_ == State::Playing) {
        r.status = 455;
        return r;
    }
    if (!faultTaken_) {
        takeFault(r);
        if (r.status != 200 || r.silent)
            return r;
    }
    const auto wanted = resolve(request.url, r);
    if (!wanted)
        return r;

    // Which track: ".../media.amp/stream=N?..." (or the bare URL for the first).
    const std::string rest = rtspUrlPath(request.url).substr(std::string(kMediaPath).size());
    unsigned index = 0;
    if (rest.rfind("/stream=", 0) == 0) {
        const std::string n = rest.substr(8);
        if (n.empty() || n.size() > 2 || n.find_first_not_of("0123456789") != std::string::npos) {
            r.status = 404;
            return r;
        }
        index = static_cast<unsigned>(std::stoul(n));
    } else if (!rest.empty() && rest != "/") {
        r.status = 404;
        return r;
    }
    const unsigned trackCount = (wanted->video ? 1u : 0u) + (wanted->audio ? 1u : 0u) + (wanted->events ? 1u : 0u);
    if (index >= trackCount) {
        r.status = 404;
        return r;
    }
    for (unsigned done : trackIndexes_) {
        if (done == index) {
            r.status = 455;
            return r;
        }
    }
    const bool video = wanted->video && index == 0;
    const bool metadata = wanted->events && index == trackCount - 1;

    // The first transport this camera can do, in the client's order.
    std::optional<TransportSpec> transport;
    for (const auto& t : parseTransport(request.header("Transport"))) {
        const bool tcp = t.lower == TransportSpec::Lower::Tcp;
        if (tcp && !t.multicast && (tunnelled_ || !context_.refuseTcp)) {
            transport = t;
            break;
        }
        if (!tcp && !tunnelled_ && (t.multicast || t.clientPort)) {
            transport = t;
            break;
        }
    }
    if (!transport || (!trackIndexes_.empty() && udp_ != (transport->lower == TransportSpec::Lower::Udp))) {
        r.status = 461;
        return r;
    }

    TrackSetup track;
    std::string why;
    if (video) {
        track.clip = context_.media.clip(wanted->codec, wanted->width, wanted->height, why);
        if (!track.clip) {
            std::cerr << "camsim: " << why << std::endl;
            r.status = 503;
            return r;
        }
        track.kind = TrackSetup::Kind::Video;
        track.fps = wanted->fps ? wanted->fps : track.clip->fps;
        track.payloadType = track.clip->codec == VideoCodec::Jpeg ? 26 : 96;
        track.clockRate = 90000;
    } else if (metadata) {
        track.kind = TrackSetup::Kind::Metadata;
        track.payloadType = kMetadataPayloadType;
        track.clockRate = 90000;
        eventTopic_ = wanted->eventTopic;
    } else {
        track.kind = TrackSetup::Kind::Audio;
        track.audio = audioFor(*wanted);
        if (!track.audio) {
            r.status = 503;
            return r;
        }
        track.payloadType = audioPayloadType(*track.audio);
        track.clockRate = audioClockRate(*track.audio);
    }
    auto& random = randomEngine();
    track.ssrc = static_cast<std::uint32_t>(random());
    track.firstSequence = static_cast<std::uint16_t>(random());
    track.firstTimestamp = static_cast<std::uint32_t>(random());

    const std::string ssrc = ";ssrc=" + hex8(track.ssrc) + ";mode=\"PLAY\"";
    std::string transportReply;
    if (transport->lower == TransportSpec::Lower::Tcp) {
        const auto channels = transport->interleaved
                                  ? *transport->interleaved
                                  : std::make_pair(2 * index, 2 * index + 1);
        track.channels = std::make_pair(static_cast<std::uint8_t>(channels.first),
                                        static_cast<std::uint8_t>(channels.second));
        transportReply = "RTP/AVP/TCP;unicast;interleaved=" + std::to_string(channels.first) + "-" +
                         std::to_string(channels.second) + ssrc;
    } else {
        error_code ec;
        const auto local = asio::ip::make_address(context_.bindAddress, ec);
        if (ec) {
            r.status = 500;
            return r;
        }
        if (!transport->multicast) {
            const auto client = asio::ip::make_address(stream_->remoteAddress(), ec);
            if (ec || !openPortPair(executor_, local, track.rtpSocket, track.rtcpSocket)) {
                r.status = 500;
                return r;
            }
            track.rtpDestination = udp::endpoint(client, static_cast<unsigned short>(transport->clientPort->first));
            track.rtcpDestination = udp::endpoint(client, static_cast<unsigned short>(transport->clientPort->second));
            transportReply = "RTP/AVP;unicast;client_port=" + std::to_string(transport->clientPort->first) + "-" +
                             std::to_string(transport->clientPort->second) + ";server_port=" +
                             std::to_string(track.rtpSocket->local_endpoint(ec).port()) + "-" +
                             std::to_string(track.rtcpSocket->local_endpoint(ec).port()) + ssrc;
        } else {
            if (!local.is_v4()) {
                r.status = 461;
                return r;
            }
            // A group of our own and a free port pair, found by binding them once.
            std::shared_ptr<udp::socket> probeRtp;
            std::shared_ptr<udp::socket> probeRtcp;
            if (!openPortPair(executor_, asio::ip::address_v4::any(), probeRtp, probeRtcp)) {
                r.status = 500;
                return r;
            }
            const unsigned short port = probeRtp->local_endpoint(ec).port();
            const unsigned short rtcpPort = probeRtcp->local_endpoint(ec).port();
            probeRtp->close(ec);
            probeRtcp->close(ec);
            const auto group = asio::ip::make_address_v4(
                "239.255." + std::to_string(random() % 256) + "." + std::to_string(1 + random() % 254));
            const unsigned ttl = transport->ttl ? *transport->ttl : 5;
            for (auto* socket : {&track.rtpSocket, &track.rtcpSocket}) {
                *socket = std::make_shared<udp::socket>(executor_);
                (*socket)->open(udp::v4(), ec);
                if (!ec)
                    (*socket)->bind(udp::endpoint(local, 0), ec);
                if (!ec)
                    (*socket)->set_option(asio::ip::multicast::outbound_interface(local.to_v4()), ec);
                if (!ec)
                    (*socket)->set_option(asio::ip::multicast::enable_loopback(true), ec);
                if (!ec)
                    (*socket)->set_option(asio::ip::multicast::hops(static_cast<int>(ttl)), ec);
                if (ec) {
                    r.status = 500;
                    return r;
                }
            }
            track.rtpDestination = udp::endpoint(group, port);
            track.rtcpDestination = udp::endpoint(group, rtcpPort);
            transportReply = "RTP/AVP;multicast;destination=" + group.to_string() + ";port=" + std::to_string(port) +
                             "-" + std::to_string(rtcpPort) + ";ttl=" + std::to_string(ttl) + ssrc;
        }
        for (auto* socket : {&track.rtpSocket, &track.rtcpSocket})
            (*socket)->non_blocking(true, ec);
    }
    udp_ = transport->lower == TransportSpec::Lower::Udp;

    if (!streamer_) {
        std::weak_ptr<RtspConnection> weak = weak_from_this();
        streamer_ = std::make_shared<MediaStreamer>(
            executor_,
            [weak](std::string frame) {
                if (auto self = weak.lock())
                    self->send(std::move(frame), true);
            },
            "camsim@" + context_.bindAddress);
    }
    streamer_->addTrack(std::move(track));
    std::string url = stripUserInfo(request.url);
    trackUrls_.push_back(url);
    trackIndexes_.push_back(index);
    if (sessionId_.empty())
        sessionId_ = makeSessionId();
    state_ = State::Ready;
    r.headers.emplace_back("Transport", transportReply);
    addSessionHeader(r);
    return r;
}

RtspConnection::Reply RtspConnection::play(const RtspRequest& request)
{
    Reply r;
    if (sessionOf(request).empty()) {
        r.status = 454;
        return r;
    }
    if (state_ == State::Init || !streamer_) {
        r.status = 455;
        return r;
    }
    std::weak_ptr<RtspConnection> weak = weak_from_this();
    if (fault_) {
        r.fault = toString(*fault_);
        switch (fault_->kind) {
        case FaultSpec::Kind::Stall:
            streamer_->setStall(true);
            break;
        case FaultSpec::Kind::Garbage:
            streamer_->setGarbage([weak] {
                if (auto self = weak.lock())
                    self->send(std::string(kGarbage, sizeof kGarbage - 1), false);
            });
            break;
        case FaultSpec::Kind::End:
            // Over TCP the connection goes; over UDP the media stops and the
            // session is forgotten, so the next keep-alive gets 454.
            streamer_->endAfter(std::chrono::duration_cast<std::chrono::milliseconds>(fault_->delay), [weak] {
                if (auto self = weak.lock()) {
                    if (self->udp_)
                        self->endSession();
                    else
                        self->close();
                }
            });
            break;
        case FaultSpec::Kind::Status:
        case FaultSpec::Kind::Delay:
        case FaultSpec::Kind::Close:
        case FaultSpec::Kind::Empty:
        case FaultSpec::Kind::Refuse:
        case FaultSpec::Kind::Truncate:
            break;
        }
        fault_.reset();
    }
    std::string range = "npt=now-";
    if (recording_ && streamer_->trackCount() > 0 && streamer_->track(0).kind == TrackSetup::Kind::Video) {
        const bool wasPlaying = streamer_->playing();
        if (wasPlaying)
            streamer_->pause();
        const auto answer = seekRecording(request.header("Range"));
        if (!answer) {
            if (wasPlaying)
                streamer_->play();
            r.status = 457; // Invalid Range
            addSessionHeader(r);
            return r;
        }
        range = *answer;
        if (!recordingStarted_) {
            recordingStarted_ = true;
            // The end of a recording ends the stream with its BYE; the session stays until TEARDOWN.
            streamer_->playRecording(recording_->startMicros, recordingFrames(), [weak] {
                if (auto self = weak.lock())
                    self->state_ = State::Ready;
            });
        }
    }
    if (udp_ && state_ == State::Ready && !streamer_->playing()) {
        streamer_->expireAfter(std::chrono::seconds(sessionTimeout_), [weak] {
            if (auto self = weak.lock())
                self->endSession();
        });
    }
    streamer_->play();
    state_ = State::Playing;
    if (eventTopic_ && !eventSubscription_ && context_.events) {
        eventSubscription_ = context_.events->subscribe(
            *eventTopic_, executor_,
            [weak](std::vector<RtpPayload> payloads) {
                if (auto self = weak.lock(); self && self->streamer_)
                    self->streamer_->sendMetadata(payloads);
            },
            [weak] {
                if (auto self = weak.lock())
                    self->close();
            });
    }
    std::string info;
    for (std::size_t i = 0; i < streamer_->trackCount(); ++i) {
        if (!info.empty())
            info += ",";
        info += "url=" + trackUrls_[i] + ";seq=" + std::to_string(streamer_->nextSequence(i)) +
                ";rtptime=" + std::to_string(streamer_->nextTimestamp(i));
    }
    r.headers.emplace_back("RTP-Info", info);
    r.headers.emplace_back("Range", range);
    addSessionHeader(r);
    return r;
}

RtspConnection::Reply RtspConnection::pause()
{
    Reply r;
    if (state_ == State::Init) {
        r.status = 455;
        return r;
    }
    if (streamer_)
        streamer_->pause();
    state_ = State::Ready;
    addSessionHeader(r);
    return r;
}

RtspConnection::Reply RtspConnection::teardown()
{
    Reply r;
    addSessionHeader(r);
    r.headers.emplace_back("Connection", "close");
    r.after = After::Close;
    endSession();
    return r;
}

void RtspConnection::endSession()
{
    if (streamer_)
        streamer_->stop();
    streamer_.reset();
    eventSubscription_.reset();
    eventTopic_.reset();
    trackUrls_.clear();
    trackIndexes_.clear();
    sessionId_.clear();
    state_ = State::Init;
}

void RtspConnection::addSessionHeader(Reply& reply) const
{
    if (!sessionId_.empty())
        reply.headers.emplace_back("Session", sessionId_ + ";timeout=" + std::to_string(sessionTimeout_));
}

void RtspConnection::logRequest(const RtspRequest& request, int status, const std::string& fault)
{
    RequestRecord record;
    record.time = utcTimestamp();
    record.method = request.method;
    record.target = redactTarget(stripUserInfo(request.url));
    record.authorization = request.hasHeader("Authorization");
    record.status = status;
    record.fault = fault;
    record.secure = secure_;
    context_.log.add(std::move(record));
}

void RtspConnection::send(std::string bytes, bool media)
{
    if (closed_)
        return;
    // A client that does not read loses media, never the control answers.
    if (media && queued_ + bytes.size() > kMaxQueuedBytes)
        return;
    queued_ += bytes.size();
    queue_.push_back(std::move(bytes));
    if (!writeInFlight_)
        doWrite();
}

void RtspConnection::doWrite()
{
    if (queue_.empty()) {
        writeInFlight_ = false;
        if (closeAfterWrite_)
            close();
        return;
    }
    writing_.clear();
    while (!queue_.empty() && (writing_.empty() || writing_.size() + queue_.front().size() <= kMaxWriteChunk)) {
        writing_ += queue_.front();
        queue_.pop_front();
    }
    writeInFlight_ = true;
    stream_->asyncWrite(writing_.data(), writing_.size(),
                        [self = shared_from_this()](const error_code& ec, std::size_t) { self->handleWrite(ec); });
}

void RtspConnection::handleWrite(const error_code& ec)
{
    queued_ -= std::min(queued_, writing_.size());
    if (closed_)
        return;
    if (ec)
        return close();
    doWrite();
}

void RtspConnection::close()
{
    if (closed_)
        return;
    closed_ = true;
    eventSubscription_.reset();
    if (streamer_)
        streamer_->stop();
    stream_->close();
    queue_.clear();
    auto fn = std::move(onClose_);
    if (fn)
        fn();
}

} // namespace Camsim

#include <netkit/rtsp/RTSPClient.h>

#include "rtsp/RtspSession.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <cctype>
#include <mutex>

namespace Orix::Utility {

const char* getTransportProtocolName(RtspTransport transport)
{
    switch (transport) {
    case RtspTransport::Udp: return "udp";
    case RtspTransport::Tcp: return "tcp";
    case RtspTransport::Multicast: return "multicast";
    case RtspTransport::RtspOverHttp: return "rtspoverhttp";
    }
    return "tcp";
}

bool parseTransportProtocolName(const std::string& name, RtspTransport& out)
{
    for (auto t : {RtspTransport::Udp, RtspTransport::Tcp, RtspTransport::Multicast, RtspTransport::RtspOverHttp}) {
        if (rtsp::iequals(name, getTransportProtocolName(t))) {
            out = t;
            return true;
        }
    }
    return false;
}

class RTSPClient::Session : public rtsp::RtspSession {
public:
    using rtsp::RtspSession::RtspSession;
};

struct RTSPClient::Shared {
    explicit Shared(boost::asio::io_context& io, LoggerPtr logger) : io(io), log(std::move(logger), "rtsp") {}

    boost::asio::io_context& io;
    LoggerOwner log;
    rtsp::SessionSettings settings;
    std::shared_ptr<rtsp::SessionCounters> counters = std::make_shared<rtsp::SessionCounters>();
    mutable std::mutex mutex; // guards displayUrl and counters
    std::string displayUrl;
};

RTSPClient::RTSPClient(boost::asio::io_context& io, LoggerPtr logger)
    : shared_(std::make_shared<Shared>(io, std::move(logger)))
{
    shared_->settings.userAgent = "Vapixcam RTSP";
}

RTSPClient::~RTSPClient()
{
    auto session = std::move(session_);
    if (!session)
        return;
    if (shared_->io.get_executor().running_in_this_thread())
        session->abandon();
    else
        boost::asio::post(shared_->io, [session] { session->abandon(); });
}

void RTSPClient::setTrackInitializer(TrackInitializer initializer)
{
    shared_->settings.initializer = std::move(initializer);
}

void RTSPClient::setTransport(RtspTransport transport)
{
    shared_->settings.transport = transport;
}

RtspTransport RTSPClient::transport() const
{
    return shared_->settings.transport;
}

void RTSPClient::resetTransport()
{
    shared_->settings.transport = RtspTransport::Tcp;
}

void RTSPClient::setTimeouts(std::chrono::milliseconds response, std::chrono::milliseconds noData)
{
    if (response.count() > 0)
        shared_->settings.responseTimeout = response;
    if (noData.count() > 0)
        shared_->settings.noDataTimeout = noData;
}

void RTSPClient::setUdpFlag(bool sendReceiverReports)
{
    shared_->settings.receiverReports = sendReceiverReports;
}

void RTSPClient::setTcpBufferSize(std::size_t bytes)
{
    shared_->settings.receiveBuffer = bytes;
}

void RTSPClient::setPlayRange(std::string range)
{
    shared_->settings.playRange = std::move(range);
}

void RTSPClient::setPlayStarted(PlayStarted handler)
{
    shared_->settings.playStarted = std::move(handler);
}

void RTSPClient::setUserAgent(std::string userAgent)
{
    shared_->settings.userAgent = std::move(userAgent);
}

void RTSPClient::start(const std::string& url, asio::ConnectionInfoPtr info, Completion completion)
{
    if (session_ && !session_->finished()) {
        boost::asio::post(shared_->io, [completion = std::move(completion)] {
            completion(make_error_code(rtsp::error::alreadyStarted));
        });
        return;
    }
    auto counters = std::make_shared<rtsp::SessionCounters>();
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->displayUrl = rtsp::urlForDisplay(url);
        shared_->counters = counters;
    }
    session_ = std::make_shared<Session>(shared_->io, shared_->log, shared_->settings, std::move(counters));
    boost::asio::post(shared_->io, [session = session_, url, info = std::move(info),
                                    completion = std::move(completion)]() mutable {
        session->start(url, std::move(info), std::move(completion));
    });
}

void RTSPClient::teardown()
{
    if (auto session = session_)
        boost::asio::post(shared_->io, [session] { session->teardown(); });
}

void RTSPClient::pause(CommandHandler handler)
{
    auto session = session_;
    boost::asio::post(shared_->io, [session, handler = std::move(handler)]() mutable {
        if (!session)
            return handler(make_error_code(rtsp::error::notPlaying), std::string());
        session->command(true, std::string(), std::move(handler));
    });
}

void RTSPClient::play(const std::string& range, CommandHandler handler)
{
    auto session = session_;
    boost::asio::post(shared_->io, [session, range, handler = std::move(handler)]() mutable {
        if (!session)
            return handler(make_error_code(rtsp::error::notPlaying), std::string());
        session->command(false, range, std::move(handler));
    });
}

RTSPClient::Statistics RTSPClient::statistics() const
{
    std::shared_ptr<rtsp::SessionCounters> counters;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        counters = shared_->counters;
    }
    const auto& c = *counters;
    Statistics s;
    s.bytes = c.bytes.load();
    s.packets = c.packets.load();
    s.rtcpPackets = c.rtcpPackets.load();
    s.requests = c.requests.load();
    s.keepAlives = c.keepAlives.load();
    s.receiverReports = c.receiverReports.load();
    return s;
}

std::string RTSPClient::url() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->displayUrl;
}

} // namespace Orix::Utility

#include "rtsp/RtspSession.h"

#include <orix/ILogger.h>

// The media side of a session: the transport each track is set up with (the
// channels of the RTSP connection, a UDP pair, a multicast group), the
// packets that arrive for it, and the receiver reports sent back over UDP.
// The control side (requests, authentication, keep-alive, ending) is in
// RtspSession.cpp.

namespace Orix::Utility::rtsp {
namespace {

using Clock = std::chrono::steady_clock;
using boost::system::error_code;

constexpr std::chrono::seconds kReportInterval{5};

} // namespace

void RtspSession::doSetup()
{
    const std::size_t index = setupIndex_;
    Track& track = tracks_[index];
    TransportSpec spec;
    switch (settings_.transport) {
    case RtspTransport::Tcp:
    case RtspTransport::RtspOverHttp:
        spec.tcp = true;
        spec.interleaved = PortPair(static_cast<std::uint16_t>(2 * index), static_cast<std::uint16_t>(2 * index + 1));
        break;
    case RtspTransport::Udp: {
        track.udp = std::make_shared<UdpTrackReceiver>(io_);
        if (error_code ec = track.udp->openUnicast(connection_->localAddress(), settings_.receiveBuffer)) {
            ORIX_LOG(log_, LogError, " Cannot bind UDP ports for track " << index << ": " << ec.message());
            return finish(ec);
        }
        spec.clientPort = PortPair(track.udp->rtpPort(), track.udp->rtcpPort());
        break;
    }
    case RtspTransport::Multicast:
        spec.multicast = true;
        break;
    }
    sendRequest(Purpose::Setup, "SETUP", track.controlUrl, {{"Transport", buildTransportHeader(spec)}});
}

error_code RtspSession::takeTransport(Track& track, std::size_t index, const TransportSpec& spec,
                                      const std::string& text)
{
    switch (settings_.transport) {
    case RtspTransport::Tcp:
    case RtspTransport::RtspOverHttp: {
        if (!spec.tcp) {
            ORIX_LOG(log_, LogError, " RTSP server answered '" << text << "' to an interleaved SETUP");
            return make_error_code(error::protocolViolation);
        }
        PortPair channels = spec.interleaved.value_or(
            PortPair(static_cast<std::uint16_t>(2 * index), static_cast<std::uint16_t>(2 * index + 1)));
        if (channelTrack_[channels.first] != 0 || channelTrack_[channels.second] != 0 ||
            channels.first == channels.second) {
            ORIX_LOG(log_, LogError, " RTSP server gave channels " << channels.first << "-" << channels.second
                                                                   << " twice");
            return make_error_code(error::protocolViolation);
        }
        channelTrack_[channels.first] = static_cast<std::int16_t>(index + 1);
        channelTrack_[channels.second] = static_cast<std::int16_t>(-static_cast<int>(index + 1));
        break;
    }
    case RtspTransport::Udp: {
        if (spec.tcp || spec.multicast) {
            ORIX_LOG(log_, LogError, " RTSP server answered '" << text << "' to a UDP SETUP");
            return make_error_code(error::protocolViolation);
        }
        if (spec.serverPort)
            track.rtcpPeer = boost::asio::ip::udp::endpoint(mediaSource(spec), spec.serverPort->second);
        break;
    }
    case RtspTransport::Multicast: {
        error_code parseError;
        auto group = boost::asio::ip::make_address(spec.destination, parseError);
        PortPair ports = spec.port.value_or(PortPair(0, 0));
        if (!spec.multicast || parseError || !group.is_multicast() || ports.first == 0) {
            ORIX_LOG(log_, LogError, " RTSP server answered '" << text << "' to a multicast SETUP");
            return make_error_code(error::protocolViolation);
        }
        track.udp = std::make_shared<UdpTrackReceiver>(io_);
        if (error_code ec = track.udp->openMulticast(group, ports.first, ports.second, connection_->localAddress(),
                                                     settings_.receiveBuffer)) {
            ORIX_LOG(log_, LogError, " Cannot join " << spec.destination << ":" << ports.first << ": " << ec.message());
            return ec;
        }
        track.rtcpPeer = boost::asio::ip::udp::endpoint(group, ports.second);
        break;
    }
    }
    return {};
}

void RtspSession::handleSetup(const RtspMessage& response)
{
    if (state_ != State::SettingUp)
        return;
    Track& track = tracks_[setupIndex_];
    if (response.status / 100 != 2) {
        ORIX_LOG(log_, LogError, " RTSP SETUP " << track.controlUrl << " answered " << response.status << " "
                                                << response.reason);
        return finish(statusError(response.status));
    }
    if (sessionId_.empty()) {
        ORIX_LOG(log_, LogError, " RTSP SETUP " << track.controlUrl << " answered without a Session");
        return finish(make_error_code(error::protocolViolation));
    }
    TransportSpec spec;
    const std::string* transport = response.find("Transport");
    if (!transport || !parseTransportHeader(*transport, spec)) {
        ORIX_LOG(log_, LogError, " RTSP SETUP " << track.controlUrl << " answered an unusable Transport '"
                                                << (transport ? *transport : std::string()) << "'");
        return finish(make_error_code(error::protocolViolation));
    }
    const std::size_t index = setupIndex_;
    if (const error_code ec = takeTransport(track, index, spec, *transport))
        return finish(ec);
    if (track.udp) {
        std::weak_ptr<RtspSession> weak = shared_from_this();
        track.udp->start(mediaSource(spec), [weak, index](bool rtcp, const std::uint8_t* data, std::size_t size) {
            if (auto s = weak.lock())
                s->deliver(index, rtcp, data, size);
        });
    }
    if (++setupIndex_ < tracks_.size())
        return doSetup();
    doPlay();
}

boost::asio::ip::address RtspSession::mediaSource(const TransportSpec& spec) const
{
    // RFC 2326 section 12.39: "source" names the sender when it is not the
    // RTSP server itself.
    if (!spec.source.empty()) {
        error_code parseError;
        auto source = boost::asio::ip::make_address(spec.source, parseError);
        if (!parseError)
            return source;
    }
    return connection_->remoteAddress();
}

bool RtspSession::onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size)
{
    if (finished_)
        return false;
    const int mapped = channelTrack_[channel];
    if (mapped == 0 || size == 0)
        return true; // a channel we never set up: skip the frame
    deliver(static_cast<std::size_t>(std::abs(mapped) - 1), mapped < 0, data, size);
    return !finished_;
}

void RtspSession::deliver(std::size_t index, bool rtcp, const std::uint8_t* data, std::size_t size)
{
    if (finished_ || state_ == State::TearingDown || index >= tracks_.size())
        return;
    Track& track = tracks_[index];
    counters_->bytes += size;
    if (rtcp) {
        ++counters_->rtcpPackets;
        const RtcpSummary summary = summarizeRtcp(ByteSpan(data, size));
        if (summary.senderReport)
            track.stats.onSenderReport(summary.srNtpMiddle, Clock::now());
        if (track.sink)
            track.sink->onRtcpPacket(data, size);
        if (summary.bye && !finished_) {
            ORIX_LOG(log_, LogWarning, " RTSP server " << url_.toString() << " ended track " << index << " (RTCP BYE)");
            finish(make_error_code(error::sessionEndedByServer));
        }
        return;
    }
    ++counters_->packets;
    lastRtp_ = Clock::now();
    if (track.udp)
        track.stats.onRtp(ByteSpan(data, size)); // for receiver reports, which only UDP sends
    if (track.sink)
        track.sink->onRtpPacket(data, size);
}

void RtspSession::sendReceiverReports()
{
    const auto now = Clock::now();
    const std::string cname = "vapixcam@" + connection_->localAddress().to_string();
    for (auto& track : tracks_) {
        if (!track.udp || !track.rtcpPeer)
            continue;
        const auto report = track.stats.receiverReport(ourSsrc_, cname, now);
        track.udp->sendRtcp(*track.rtcpPeer, std::string(report.begin(), report.end()));
        ++counters_->receiverReports;
    }
    reportTimer_.expires_after(kReportInterval);
    reportTimer_.async_wait([weak = std::weak_ptr<RtspSession>(shared_from_this())](const error_code& ec) {
        auto s = weak.lock();
        if (ec || !s || s->finished_ || s->state_ != State::Playing)
            return;
        s->sendReceiverReports();
    });
}

} // namespace Orix::Utility::rtsp

#include "rtsp/UdpTrackReceiver.h"

#include <boost/asio/ip/multicast.hpp>

namespace Orix::Utility::rtsp {
namespace {

constexpr int kPairAttempts = 32;
constexpr unsigned kMaxConsecutiveFailures = 64;
using udp = boost::asio::ip::udp;

void applyBuffer(udp::socket& socket, std::size_t bytes)
{
    if (bytes == 0)
        return;
    boost::system::error_code ignored;
    socket.set_option(boost::asio::socket_base::receive_buffer_size(static_cast<int>(bytes)), ignored);
}

// An IPv4 sender may show up as an IPv4-mapped IPv6 address, or the
// other way round.
bool sameHost(const boost::asio::ip::address& a, const boost::asio::ip::address& b)
{
    const auto plain = [](const boost::asio::ip::address& x) -> boost::asio::ip::address {
        if (x.is_v6() && x.to_v6().is_v4_mapped())
            return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, x.to_v6());
        return x;
    };
    return plain(a) == plain(b);
}

} // namespace

UdpTrackReceiver::UdpTrackReceiver(boost::asio::io_context& io) : rtp_(io), rtcp_(io) {}

UdpTrackReceiver::~UdpTrackReceiver()
{
    boost::system::error_code ignored;
    rtp_.close(ignored);
    rtcp_.close(ignored);
}

boost::system::error_code UdpTrackReceiver::openUnicast(const boost::asio::ip::address& local, std::size_t receiveBuffer)
{
    boost::system::error_code ec;
    const auto protocol = local.is_v6() ? udp::v6() : udp::v4();
    for (int attempt = 0; attempt < kPairAttempts; ++attempt) {
        rtp_.close(ec);
        rtcp_.close(ec);
        rtp_.open(protocol, ec);
        if (ec)
            return ec;
        rtp_.bind(udp::endpoint(local, 0), ec);
        if (ec)
            return ec;
        std::uint16_t port = rtp_.local_endpoint(ec).port();
        if (ec)
            return ec;
        if (port % 2 != 0 || port == 65534)
            continue; // RTP wants the even port of the pair
        rtcp_.open(protocol, ec);
        if (ec)
            return ec;
        rtcp_.bind(udp::endpoint(local, static_cast<std::uint16_t>(port + 1)), ec);
        if (ec)
            continue; // the odd neighbour is taken: try another pair
        rtpPort_ = port;
        rtcpPort_ = static_cast<std::uint16_t>(port + 1);
        applyBuffer(rtp_, receiveBuffer);
        return {};
    }
    rtp_.close(ec);
    rtcp_.close(ec);
    return make_error_code(boost::system::errc::address_in_use);
}

boost::system::error_code UdpTrackReceiver::openMulticast(const boost::asio::ip::address& group, std::uint16_t rtpPort,
                                                          std::uint16_t rtcpPort,
                                                          const boost::asio::ip::address& interfaceAddress,
                                                          std::size_t receiveBuffer)
{
    boost::system::error_code ec;
    const auto protocol = group.is_v6() ? udp::v6() : udp::v4();
    auto bindAndJoin = [&](udp::socket& socket, std::uint16_t port) {
        socket.open(protocol, ec);
        if (ec)
            return;
        socket.set_option(boost::asio::socket_base::reuse_address(true), ec);
        if (ec)
            return;
        // Binding the wildcard keeps this portable (Windows refuses a group
        // address); the membership filters what arrives.
        socket.bind(udp::endpoint(protocol, port), ec);
        if (ec)
            return;
        if (group.is_v4() && interfaceAddress.is_v4())
            socket.set_option(boost::asio::ip::multicast::join_group(group.to_v4(), interfaceAddress.to_v4()), ec);
        else
            socket.set_option(boost::asio::ip::multicast::join_group(group), ec);
    };
    bindAndJoin(rtp_, rtpPort);
    if (!ec)
        bindAndJoin(rtcp_, rtcpPort);
    if (ec) {
        boost::system::error_code ignored;
        rtp_.close(ignored);
        rtcp_.close(ignored);
        return ec;
    }
    rtpPort_ = rtpPort;
    rtcpPort_ = rtcpPort;
    applyBuffer(rtp_, receiveBuffer);
    return {};
}

void UdpTrackReceiver::start(const boost::asio::ip::address& source, PacketHandler handler)
{
    source_ = source;
    handler_ = std::move(handler);
    receive(false);
    receive(true);
}

void UdpTrackReceiver::receive(bool rtcp)
{
    auto& socket = rtcp ? rtcp_ : rtp_;
    auto& sender = rtcp ? rtcpSender_ : rtpSender_;
    auto buffer = rtcp ? boost::asio::buffer(rtcpBuffer_) : boost::asio::buffer(rtpBuffer_);
    socket.async_receive_from(buffer, sender,
                              [self = shared_from_this(), rtcp](const boost::system::error_code& ec, std::size_t n) {
                                  if (self->closed_)
                                      return;
                                  if (ec == boost::asio::error::operation_aborted)
                                      return;
                                  // ICMP port-unreachable and similar errors on a UDP socket
                                  // say nothing about the stream; keep listening, but not
                                  // forever on a socket that only fails.
                                  unsigned& failures = rtcp ? self->rtcpFailures_ : self->rtpFailures_;
                                  failures = ec ? failures + 1 : 0;
                                  const auto& from = rtcp ? self->rtcpSender_ : self->rtpSender_;
                                  if (!ec && !sameHost(from.address(), self->source_))
                                      ++self->foreign_;
                                  else if (!ec && self->handler_)
                                      self->handler_(rtcp, rtcp ? self->rtcpBuffer_ : self->rtpBuffer_, n);
                                  if (!self->closed_ && failures < kMaxConsecutiveFailures)
                                      self->receive(rtcp);
                              });
}

void UdpTrackReceiver::sendRtcp(const udp::endpoint& to, std::string packet)
{
    if (closed_ || !rtcp_.is_open())
        return;
    auto bytes = std::make_shared<std::string>(std::move(packet));
    rtcp_.async_send_to(boost::asio::buffer(*bytes), to,
                        [self = shared_from_this(), bytes](const boost::system::error_code&, std::size_t) {});
}

void UdpTrackReceiver::close()
{
    closed_ = true;
    handler_ = nullptr;
    boost::system::error_code ignored;
    rtp_.close(ignored);
    rtcp_.close(ignored);
}

} // namespace Orix::Utility::rtsp

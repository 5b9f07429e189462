#pragma once
// The two UDP sockets of one track when media does not travel on the RTSP
// connection: RTP on an even port and RTCP on the next one (RFC 3550 §11),
// either bound to a fresh unicast pair that SETUP announces as client_port,
// or bound to the ports of a multicast group the server names, joined on the
// interface that reaches the server.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Orix::Utility::rtsp {

class UdpTrackReceiver : public std::enable_shared_from_this<UdpTrackReceiver> {
public:
    using PacketHandler = std::function<void(bool rtcp, const std::uint8_t* data, std::size_t size)>;

    explicit UdpTrackReceiver(boost::asio::io_context& io);
    ~UdpTrackReceiver();

    // Binds an even/odd pair on the given local address (the address of our
    // end of the RTSP connection, so v4 and v6 match the server).
    boost::system::error_code openUnicast(const boost::asio::ip::address& local, std::size_t receiveBuffer);
    // Binds the group's ports and joins the group on the interface with
    // address `interfaceAddress` (v4) or any interface (v6).
    boost::system::error_code openMulticast(const boost::asio::ip::address& group, std::uint16_t rtpPort,
                                            std::uint16_t rtcpPort, const boost::asio::ip::address& interfaceAddress,
                                            std::size_t receiveBuffer);

    std::uint16_t rtpPort() const { return rtpPort_; }
    std::uint16_t rtcpPort() const { return rtcpPort_; }

    // Starts both receive loops; the handler runs on the io_context and
    // only sees datagrams whose sender has the address `source` (the
    // camera's): anything else on our ports is dropped and counted.
    void start(const boost::asio::ip::address& source, PacketHandler handler);
    std::uint64_t foreignDatagrams() const { return foreign_; }
    // Best effort: an RTCP packet from our RTCP port to the server.
    void sendRtcp(const boost::asio::ip::udp::endpoint& to, std::string packet);
    void close();

private:
    void receive(bool rtcp);

    boost::asio::ip::udp::socket rtp_;
    boost::asio::ip::udp::socket rtcp_;
    std::uint16_t rtpPort_ = 0;
    std::uint16_t rtcpPort_ = 0;
    PacketHandler handler_;
    boost::asio::ip::address source_;
    std::uint64_t foreign_ = 0;
    bool closed_ = false;
    unsigned rtpFailures_ = 0;
    unsigned rtcpFailures_ = 0;
    boost::asio::ip::udp::endpoint rtpSender_;
    boost::asio::ip::udp::endpoint rtcpSender_;
    std::uint8_t rtpBuffer_[65536];
    std::uint8_t rtcpBuffer_[4096];
};

} // namespace Orix::Utility::rtsp

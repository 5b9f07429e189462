#include "support/RtspTestServer.h"

#include <netkit/util/Base64.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace TestSupport {
namespace {

using tcp = boost::asio::ip::tcp;
using udp = boost::asio::ip::udp;

std::string trimmed(const std::string& s)
{
    std::size_t b = s.find_first_not_of(" \t\r");
    std::size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Splits one complete request off the front of buffer; false while incomplete.
bool takeRequest(std::string& buffer, RtspTestRequest& out)
{
    std::size_t end = buffer.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    RtspTestRequest request;
    std::string head = buffer.substr(0, end);
    std::size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    std::size_t sp1 = first.find(' ');
    std::size_t sp2 = first.rfind(' ');
    request.method = first.substr(0, sp1);
    request.uri = sp2 > sp1 ? first.substr(sp1 + 1, sp2 - sp1 - 1) : std::string();
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        std::size_t next = head.find("\r\n", pos);
        std::string line = head.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        pos = next == std::string::npos ? head.size() : next + 2;
        std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    std::size_t length = 0;
    std::string cl = request.header("Content-Length");
    // The tunnel's POST announces a huge length and never ends: its body is
    // the base64 stream, not a body of this request.
    if (!cl.empty() && request.method != "POST")
        length = std::stoul(cl);
    if (buffer.size() < end + 4 + length)
        return false;
    request.body = buffer.substr(end + 4, length);
    buffer.erase(0, end + 4 + length);
    out = std::move(request);
    return true;
}

// Decodes whole 4-character groups off the front of text, each on its own:
// every tunnelled request is encoded apart, so padding may end any group.
std::string decodeGroups(std::string& text)
{
    std::string out, group;
    std::size_t at = 0;
    for (; at + 4 <= text.size(); at += 4) {
        if (Orix::Utility::base64Decode(std::string_view(text).substr(at, 4), group))
            out += group;
    }
    text.erase(0, at);
    return out;
}

} // namespace

std::string rtspAnswer(unsigned status, const std::string& reason, const std::string& cseq,
                       const std::vector<std::string>& headerLines, const std::string& body)
{
    std::string out = "RTSP/1.0 " + std::to_string(status) + " " + reason + "\r\n";
    out += "CSeq: " + cseq + "\r\n";
    for (const auto& line : headerLines)
        out += line + "\r\n";
    if (!body.empty())
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "\r\n" + body;
    return out;
}

std::string interleavedFrame(std::uint8_t channel, const std::string& payload)
{
    std::string out = "$";
    out += static_cast<char>(channel);
    out += static_cast<char>((payload.size() >> 8) & 0xff);
    out += static_cast<char>(payload.size() & 0xff);
    return out + payload;
}

std::string rtpPacket(std::uint16_t seq, std::uint32_t timestamp, std::uint32_t ssrc, bool marker,
                      std::uint8_t payloadType, const std::string& payload)
{
    std::string out;
    out += static_cast<char>(0x80);
    out += static_cast<char>((marker ? 0x80 : 0) | (payloadType & 0x7f));
    out += static_cast<char>(seq >> 8);
    out += static_cast<char>(seq & 0xff);
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((timestamp >> shift) & 0xff);
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((ssrc >> shift) & 0xff);
    return out + payload;
}

std::string rtcpBye(std::uint32_t ssrc)
{
    std::string out("\x80\xc9\x00\x01", 4); // RR, no report blocks
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((ssrc >> shift) & 0xff);
    out += std::string("\x81\xcb\x00\x01", 4); // BYE, one SSRC
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((ssrc >> shift) & 0xff);
    return out;
}

struct RtspTestServer::Impl : std::enable_shared_from_this<RtspTestServer::Impl> {
    struct Connection {
        explicit Connection(boost::asio::io_context& io) : socket(io) {}
        tcp::socket socket;
        std::size_t number = 0;
        std::string buffer;
        std::string base64; // tunnel POST: undecoded text
        std::string cookie;
        bool postTunnel = false;
        std::deque<std::string> writes;
        bool writing = false;
        bool closeWhenDone = false;
        char readBuffer[16384];
    };

    boost::asio::io_context io;
    tcp::acceptor acceptor{io};
    udp::socket udpOut{io};
    udp::socket rtcpIn{io};
    udp::endpoint rtcpSender;
    char rtcpBuffer[2048];
    RtspScript script;
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<RtspTestRequest> requests;
    std::vector<std::string> rtcp;
    std::size_t connections = 0;
    std::size_t open = 0;
    std::vector<std::shared_ptr<Connection>> live;
    std::shared_ptr<Connection> answerConnection; // where push() writes
    std::map<std::string, std::shared_ptr<Connection>> tunnels; // cookie -> GET connection

    void record(const RtspTestRequest& r)
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(r);
        changed.notify_all();
    }

    void accept()
    {
        auto c = std::make_shared<Connection>(io);
        acceptor.async_accept(c->socket, [self = shared_from_this(), c](const boost::system::error_code& ec) {
            if (ec)
                return;
            {
                std::lock_guard<std::mutex> lock(self->mutex);
                c->number = ++self->connections;
                ++self->open;
            }
            self->live.push_back(c);
            self->answerConnection = c;
            self->read(c);
            self->accept();
        });
    }

    void read(const std::shared_ptr<Connection>& c)
    {
        c->socket.async_read_some(boost::asio::buffer(c->readBuffer),
                                  [self = shared_from_this(), c](const boost::system::error_code& ec, std::size_t n) {
                                      if (ec)
                                          return self->drop(c);
                                      if (c->postTunnel) {
                                          c->base64.append(c->readBuffer, n);
                                          c->buffer += decodeGroups(c->base64);
                                      } else {
                                          c->buffer.append(c->readBuffer, n);
                                      }
                                      self->process(c);
                                      if (c->socket.is_open())
                                          self->read(c);
                                  });
    }

    void drop(const std::shared_ptr<Connection>& c)
    {
        if (!c->socket.is_open())
            return;
        boost::system::error_code ignored;
        c->socket.close(ignored);
        std::lock_guard<std::mutex> lock(mutex);
        --open;
        changed.notify_all();
    }

    void process(const std::shared_ptr<Connection>& c)
    {
        RtspTestRequest request;
        while (c->socket.is_open() && takeRequest(c->buffer, request)) {
            request.connection = c->number;
            request.viaTunnel = c->postTunnel;
            const std::string cookie = request.header("x-sessioncookie");
            const bool tunnelGet = request.method == "GET" && !cookie.empty();
            const bool tunnelPost = request.method == "POST" && !cookie.empty();
            record(request);
            RtspScriptReply reply = script(request);
            // Answers to tunnelled requests go out on the cookie's GET.
            std::shared_ptr<Connection> out = c;
            if (c->postTunnel) {
                auto it = tunnels.find(c->cookie);
                if (it != tunnels.end())
                    out = it->second;
            }
            if (tunnelPost) {
                c->postTunnel = true;
                c->cookie = cookie;
                c->base64 = c->buffer;
                c->buffer = decodeGroups(c->base64);
            }
            if (tunnelGet && (reply.bytes.rfind("HTTP/1.0 200", 0) == 0 || reply.bytes.rfind("HTTP/1.1 200", 0) == 0)) {
                tunnels[cookie] = c;
                answerConnection = c;
            }
            switch (reply.kind) {
            case RtspScriptReply::Kind::close:
                drop(c);
                return;
            case RtspScriptReply::Kind::silent:
                break;
            case RtspScriptReply::Kind::send:
                write(out, std::move(reply.bytes), reply.closeAfter);
                for (auto& [port, bytes] : reply.datagrams)
                    sendTo(udp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port), std::move(bytes));
                break;
            }
        }
    }

    void write(const std::shared_ptr<Connection>& c, std::string bytes, bool closeAfter)
    {
        if (!c->socket.is_open())
            return;
        if (!bytes.empty())
            c->writes.push_back(std::move(bytes));
        c->closeWhenDone = c->closeWhenDone || closeAfter;
        flush(c);
    }

    void flush(const std::shared_ptr<Connection>& c)
    {
        if (c->writing)
            return;
        if (c->writes.empty()) {
            if (c->closeWhenDone)
                drop(c);
            return;
        }
        c->writing = true;
        boost::asio::async_write(c->socket, boost::asio::buffer(c->writes.front()),
                                 [self = shared_from_this(), c](const boost::system::error_code& ec, std::size_t) {
                                     c->writing = false;
                                     if (ec)
                                         return self->drop(c);
                                     c->writes.pop_front();
                                     self->flush(c);
                                 });
    }

    void sendTo(const udp::endpoint& to, std::string bytes)
    {
        auto data = std::make_shared<std::string>(std::move(bytes));
        udpOut.async_send_to(boost::asio::buffer(*data), to, [data](const boost::system::error_code&, std::size_t) {});
    }

    void receiveRtcp()
    {
        rtcpIn.async_receive_from(boost::asio::buffer(rtcpBuffer), rtcpSender,
                                  [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                      if (ec == boost::asio::error::operation_aborted || !self->rtcpIn.is_open())
                                          return;
                                      if (!ec) {
                                          std::lock_guard<std::mutex> lock(self->mutex);
                                          self->rtcp.emplace_back(self->rtcpBuffer, n);
                                          self->changed.notify_all();
                                      }
                                      self->receiveRtcp();
                                  });
    }
};

RtspTestServer::RtspTestServer(RtspScript script) : impl_(std::make_shared<Impl>())
{
    impl_->script = std::move(script);
    auto loopback = boost::asio::ip::make_address("127.0.0.1");
    impl_->acceptor.open(tcp::v4());
    impl_->acceptor.set_option(tcp::acceptor::reuse_address(true));
    impl_->acceptor.bind(tcp::endpoint(loopback, 0));
    impl_->acceptor.listen();
    impl_->udpOut.open(udp::v4());
    impl_->udpOut.set_option(boost::asio::ip::multicast::outbound_interface(loopback.to_v4()));
    impl_->udpOut.set_option(boost::asio::ip::multicast::enable_loopback(true));
    impl_->udpOut.set_option(boost::asio::ip::multicast::hops(1));
    impl_->udpOut.bind(udp::endpoint(loopback, 0));
    impl_->rtcpIn.open(udp::v4());
    impl_->rtcpIn.bind(udp::endpoint(loopback, 0));
    impl_->accept();
    impl_->receiveRtcp();
    impl_->thread = std::thread([impl = impl_] { impl->io.run(); });
}

RtspTestServer::~RtspTestServer()
{
    boost::asio::post(impl_->io, [impl = impl_] {
        boost::system::error_code ignored;
        impl->acceptor.close(ignored);
        impl->udpOut.close(ignored);
        impl->rtcpIn.close(ignored);
        for (auto& c : impl->live)
            c->socket.close(ignored);
        impl->live.clear();
        impl->tunnels.clear();
        impl->answerConnection.reset();
        impl->io.stop();
    });
    impl_->thread.join();
    // The handlers still queued hold the server alive; run them out (their
    // sockets are closed, so none starts new work) so that it can go.
    impl_->io.restart();
    while (impl_->io.poll() > 0) {
    }
}

std::uint16_t RtspTestServer::port() const
{
    return impl_->acceptor.local_endpoint().port();
}

std::vector<RtspTestRequest> RtspTestServer::requests() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

std::size_t RtspTestServer::connectionCount() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->connections;
}

bool RtspTestServer::waitForMethod(const std::string& method, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] {
        for (const auto& r : impl_->requests) {
            if (r.method == method)
                return true;
        }
        return false;
    });
}

bool RtspTestServer::waitForDisconnect(std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] { return impl_->connections > 0 && impl_->open == 0; });
}

void RtspTestServer::push(std::string bytes)
{
    boost::asio::post(impl_->io, [impl = impl_, bytes = std::move(bytes)]() mutable {
        if (impl->answerConnection)
            impl->write(impl->answerConnection, std::move(bytes), false);
    });
}

void RtspTestServer::sendUdp(std::uint16_t port, std::string bytes)
{
    boost::asio::post(impl_->io, [impl = impl_, port, bytes = std::move(bytes)]() mutable {
        impl->sendTo(udp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port), std::move(bytes));
    });
}

void RtspTestServer::sendMulticast(const std::string& group, std::uint16_t port, std::string bytes)
{
    boost::asio::post(impl_->io, [impl = impl_, group, port, bytes = std::move(bytes)]() mutable {
        impl->sendTo(udp::endpoint(boost::asio::ip::make_address(group), port), std::move(bytes));
    });
}

void RtspTestServer::closeConnections()
{
    boost::asio::post(impl_->io, [impl = impl_] {
        for (auto& c : impl->live)
            impl->drop(c);
    });
}

std::uint16_t RtspTestServer::rtcpPort() const
{
    return impl_->rtcpIn.local_endpoint().port();
}

std::vector<std::string> RtspTestServer::rtcpReceived() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->rtcp;
}

bool RtspTestServer::waitForRtcp(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] { return impl_->rtcp.size() >= count; });
}

bool loopbackMulticastWorks()
{
    try {
        boost::asio::io_context io;
        auto loopback = boost::asio::ip::make_address_v4("127.0.0.1");
        auto group = boost::asio::ip::make_address_v4("239.255.42.99");
        udp::socket receiver(io, udp::v4());
        receiver.set_option(udp::socket::reuse_address(true));
        receiver.bind(udp::endpoint(udp::v4(), 0));
        receiver.set_option(boost::asio::ip::multicast::join_group(group, loopback));
        const auto port = receiver.local_endpoint().port();
        udp::socket sender(io, udp::v4());
        sender.set_option(boost::asio::ip::multicast::outbound_interface(loopback));
        sender.set_option(boost::asio::ip::multicast::enable_loopback(true));
        sender.send_to(boost::asio::buffer("probe", 5), udp::endpoint(group, port));
        char buffer[16];
        bool got = false;
        receiver.async_receive(boost::asio::buffer(buffer), [&](const boost::system::error_code& ec, std::size_t) { got = !ec; });
        io.run_for(std::chrono::milliseconds(500));
        return got;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace TestSupport

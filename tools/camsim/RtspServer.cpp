#include "RtspServer.h"

#include "AudioClip.h"
#include "Camera.h"
#include "MediaLibrary.h"
#include "MediaPacketiser.h"
#include "RequestLog.h"
#include "RtspAuth.h"
#include "RtspByteStream.h"
#include "RtspConnection.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

#include <algorithm>
#include <map>
#include <mutex>

namespace Camsim {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::size_t kMaxTunnels = 256;
constexpr std::size_t kPostChunk = 16 * 1024;

std::string cookieOf(const HttpRequest& head) { return head.header("x-sessioncookie"); }

// The POST leg of a tunnel: base64 in, RTSP bytes out to the connection of
// the GET leg. It reads the next piece only once the connection has taken
// the last one, so nothing piles up.
class TunnelPostLeg : public std::enable_shared_from_this<TunnelPostLeg> {
public:
    TunnelPostLeg(std::unique_ptr<RtspByteStream> stream, std::weak_ptr<RtspConnection> connection)
        : stream_(std::move(stream)), connection_(std::move(connection)), buffer_(kPostChunk)
    {
    }

    void start(const std::string& initial) { deliver(initial.data(), initial.size()); }

private:
    void doRead()
    {
        stream_->asyncReadSome(buffer_.data(), buffer_.size(),
                               [self = shared_from_this()](const error_code& ec, std::size_t n) {
                                   if (ec)
                                       return self->stream_->close(); // the GET leg carries on
                                   self->deliver(self->buffer_.data(), n);
                               });
    }

    void deliver(const char* data, std::size_t size)
    {
        auto connection = connection_.lock();
        if (!connection)
            return stream_->close();
        std::string decoded;
        if (!decoder_.feed(data, size, decoded)) {
            stream_->close();
            asio::post(connection->executor(), [connection] { connection->close(); });
            return;
        }
        if (decoded.empty())
            return doRead();
        asio::post(connection->executor(), [self = shared_from_this(), connection, decoded = std::move(decoded)] {
            connection->feed(decoded);
            asio::post(self->stream_->executor(), [self] { self->doRead(); });
        });
    }

    std::unique_ptr<RtspByteStream> stream_;
    std::weak_ptr<RtspConnection> connection_;
    std::vector<char> buffer_;
    Base64StreamDecoder decoder_;
};

} // namespace

bool isTunnelRequest(const HttpRequest& head)
{
    if (cookieOf(head).empty() || head.path().rfind("/axis-media/", 0) != 0)
        return false;
    const std::string type = "application/x-rtsp-tunnelled";
    if (head.method == "GET")
        return toLower(head.header("Accept")).find(type) != std::string::npos;
    if (head.method == "POST")
        return toLower(head.header("Content-Type")).find(type) != std::string::npos;
    return false;
}

struct RtspServer::Impl : std::enable_shared_from_this<RtspServer::Impl> {
    Impl(asio::io_context& io, Camera& camera, FaultInjector& faults, RequestLog& log, Authenticator& httpAuth,
         const Options& options)
        : io(io),
          acceptor(asio::make_strand(io)),
          faults(faults),
          log(log),
          camera(camera),
          httpAuth(httpAuth),
          auth(RtspAuth::Options{options.auth, options.user, options.password, options.realm, options.nonceLifetime,
                                 1024}),
          media(options.mediaDir),
          audio(options.mediaDir),
          context{camera, faults, log, auth, media, options.bindAddress,
                  audio, options.refuseTcp, options.recordings, options.events}
    {
    }

    void doAccept()
    {
        acceptor.async_accept(asio::make_strand(io), [self = shared_from_this()](error_code ec, tcp::socket s) {
            self->handleAccept(ec, std::move(s));
        });
    }

    void handleAccept(error_code ec, tcp::socket socket)
    {
        if (ec == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (!ec) {
            if (faults.takeIf(kMediaPath, {FaultSpec::Kind::Refuse})) {
                error_code ignored;
                socket.close(ignored);
            } else {
                auto holder = std::make_shared<tcp::socket>(std::move(socket));
                auto stream = std::make_unique<AsioByteStream<tcp::socket>>(holder, *holder, *holder);
                auto connection = std::make_shared<RtspConnection>(context, std::move(stream), false, false);
                track(connection);
                connection->start();
            }
        }
        doAccept();
    }

    void record(const HttpRequest& head, int status)
    {
        RequestRecord r;
        r.time = utcTimestamp();
        r.method = head.method;
        r.target = redactTarget(head.target);
        r.authorization = head.hasHeader("Authorization");
        r.status = status;
        r.secure = head.secure;
        log.add(std::move(r));
    }

    // Remembered so that a restart of the camera can drop them all.
    void track(const std::shared_ptr<RtspConnection>& connection)
    {
        std::lock_guard<std::mutex> lock(mutex);
        connections.erase(std::remove_if(connections.begin(), connections.end(),
                                         [](const std::weak_ptr<RtspConnection>& c) { return c.expired(); }),
                          connections.end());
        connections.push_back(connection);
    }

    void dropAll()
    {
        std::vector<std::weak_ptr<RtspConnection>> all;
        {
            std::lock_guard<std::mutex> lock(mutex);
            all.swap(connections);
        }
        for (auto& weak : all) {
            if (auto c = weak.lock())
                asio::post(c->executor(), [c] { c->close(); });
        }
    }

    std::shared_ptr<RtspConnection> tunnel(const std::string& cookie)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = tunnels.find(cookie);
        return it == tunnels.end() ? nullptr : it->second.lock();
    }

    asio::io_context& io;
    tcp::acceptor acceptor;
    FaultInjector& faults;
    RequestLog& log;
    Camera& camera;
    Authenticator& httpAuth;
    RtspAuth auth;
    MediaLibrary media;
    AudioLibrary audio;
    RtspContext context;
    bool listening = false;
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<RtspConnection>> tunnels;
    std::vector<std::weak_ptr<RtspConnection>> connections;
};

RtspServer::RtspServer(asio::io_context& io, Camera& camera, FaultInjector& faults, RequestLog& log,
                       Authenticator& httpAuth, Options options)
    : impl_(std::make_shared<Impl>(io, camera, faults, log, httpAuth, options))
{
}

RtspServer::~RtspServer() { stop(); }

error_code RtspServer::listen(const std::string& address, unsigned short port)
{
    error_code ec;
    const auto ip = asio::ip::make_address(address, ec);
    if (ec)
        return ec;
    const tcp::endpoint endpoint(ip, port);
    auto& a = impl_->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec)
        a.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        a.bind(endpoint, ec);
    if (!ec)
        a.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error_code ignored;
        a.close(ignored);
        return ec;
    }
    impl_->listening = true;
    impl_->doAccept();
    return {};
}

bool RtspServer::listening() const { return impl_->listening; }

unsigned short RtspServer::port() const
{
    error_code ec;
    const auto ep = impl_->acceptor.local_endpoint(ec);
    return ec ? 0 : ep.port();
}

void RtspServer::stop()
{
    asio::post(impl_->acceptor.get_executor(), [impl = impl_] {
        error_code ignored;
        impl->acceptor.close(ignored);
    });
    impl_->dropAll();
}

std::optional<HttpResponse> RtspServer::admit(const HttpRequest& head)
{
    const bool authenticate = impl_->camera.withModel([](Model& m) {
        const Param* a = m.params.findParam("Network.RTSP.AuthenticateRTSPOverHTTP");
        return !a || a->value != "no";
    });
    if (authenticate) {
        auto verdict = impl_->httpAuth.check(head.method, head.target, head.header("Authorization"));
        if (!verdict.accepted) {
            auto response = HttpResponse::text(401, "401 Unauthorized\n");
            for (auto& c : verdict.challenges)
                response.headers.emplace_back("WWW-Authenticate", std::move(c));
            impl_->record(head, 401);
            return response;
        }
    }
    const std::string cookie = cookieOf(head);
    const auto existing = impl_->tunnel(cookie);
    if (head.method == "GET" ? existing != nullptr : existing == nullptr) {
        // A second GET for a cookie in use, or a POST for none.
        impl_->record(head, 400);
        return HttpResponse::text(400, "400 Bad Request\n");
    }
    if (head.method == "GET") {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        for (auto it = impl_->tunnels.begin(); it != impl_->tunnels.end();)
            it = it->second.expired() ? impl_->tunnels.erase(it) : std::next(it);
        if (impl_->tunnels.size() >= kMaxTunnels) {
            impl_->record(head, 503);
            return HttpResponse::text(503, "503 Service Unavailable\n");
        }
    }
    // The GET leg's answer is the 200 the tunnel writes; the POST leg gets none.
    impl_->record(head, head.method == "GET" ? 200 : 0);
    return std::nullopt;
}

void RtspServer::openGetLeg(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head)
{
    const std::string cookie = cookieOf(head);
    auto connection = std::make_shared<RtspConnection>(impl_->context, std::move(stream), true, head.secure);
    impl_->track(connection);
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->tunnels[cookie] = connection;
    }
    std::weak_ptr<Impl> weak = impl_;
    connection->onClose([weak, cookie] {
        if (auto impl = weak.lock()) {
            std::lock_guard<std::mutex> lock(impl->mutex);
            const auto it = impl->tunnels.find(cookie);
            if (it != impl->tunnels.end() && (it->second.expired() || it->second.lock()->closed()))
                impl->tunnels.erase(it);
        }
    });
    connection->start("HTTP/1.0 200 OK\r\n"
                      "Content-Type: application/x-rtsp-tunnelled\r\n"
                      "Cache-Control: no-cache\r\n"
                      "Pragma: no-cache\r\n"
                      "Server: GStreamer RTSP server\r\n"
                      "\r\n");
}

void RtspServer::openPostLeg(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head, std::string initial)
{
    auto connection = impl_->tunnel(cookieOf(head));
    if (!connection) {
        stream->close();
        return;
    }
    std::make_shared<TunnelPostLeg>(std::move(stream), connection)->start(initial);
}

} // namespace Camsim

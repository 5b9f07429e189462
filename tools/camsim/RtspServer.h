#pragma once
// The camera's RTSP side: the listener on the RTSP port and the RTSP over
// HTTP tunnel the HTTP servers hand their tunnel requests to. Both lead to
// an RtspConnection per client. Faults on /axis-media/media.amp: "refuse"
// closes connections at accept; the rest act inside the connection.
#include "Authenticator.h"
#include "RtspTunnel.h"

#include <boost/system/error_code.hpp>

#include <chrono>
#include <memory>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Camsim {

class Camera;
class EventEngine;
class FaultInjector;
class RequestLog;
class RecordingStore;

class RtspServer : public RtspTunnelHandler {
public:
    struct Options {
        std::string bindAddress = "127.0.0.1";
        std::string mediaDir;
        AuthMode auth = AuthMode::DigestMd5;
        std::string user = "root";
        std::string password = "pass";
        std::string realm;
        std::chrono::seconds nonceLifetime{300};
        bool refuseTcp = false; // 461 to interleaved TCP outside the HTTP tunnel
        const RecordingStore* recordings = nullptr; // for media.amp?recordingid=...
        EventEngine* events = nullptr;              // for media.amp?event=on
    };

    // httpAuth checks the HTTP legs of a tunnel, as the HTTP side does.
    RtspServer(boost::asio::io_context& io, Camera& camera, FaultInjector& faults, RequestLog& log,
               Authenticator& httpAuth, Options options);
    ~RtspServer() override;

    boost::system::error_code listen(const std::string& address, unsigned short port);
    bool listening() const;
    unsigned short port() const;
    // Stops accepting and drops every connection (tunnels too); listen()
    // may open the port again.
    void stop();

    std::optional<HttpResponse> admit(const HttpRequest& head) override;
    void openGetLeg(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head) override;
    void openPostLeg(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head, std::string initial) override;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace Camsim

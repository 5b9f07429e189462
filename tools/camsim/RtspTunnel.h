#pragma once
// RTSP over HTTP (the QuickTime scheme Axis cameras accept on their HTTP
// port): a GET with x-sessioncookie and "Accept: application/x-rtsp-tunnelled"
// opens the server-to-client leg, a POST with the same cookie carries the
// client's requests in base64. The HTTP server asks isTunnelRequest() on
// every request head and hands matching connections over.
#include "HttpMessage.h"

#include <memory>
#include <optional>
#include <string>

namespace Camsim {

class RtspByteStream;

// The head asks for one leg of a tunnel (a cookie and the tunnel media type).
bool isTunnelRequest(const HttpRequest& head);

class RtspTunnelHandler {
public:
    virtual ~RtspTunnelHandler() = default;

    // HTTP authentication, cookie checks and the request log for one leg: an
    // answer to send (and then close) instead of opening it, or nullopt.
    virtual std::optional<HttpResponse> admit(const HttpRequest& head) = 0;
    // The GET leg; the handler writes the HTTP answer itself.
    virtual void openGetLeg(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head) = 0;
    // The POST leg, with the bytes that came after its head.
    virtual void openPostLeg(std::unique_ptr<RtspByteStream> stream, const HttpRequest& head, std::string initial) = 0;
};

} // namespace Camsim

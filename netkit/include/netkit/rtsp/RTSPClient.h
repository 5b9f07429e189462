#pragma once
// RTSP 1.0 client (RFC 2326) for one media session at a time: OPTIONS,
// DESCRIBE, SETUP of each track the caller accepts, PLAY, then reception
// until teardown(), an error, a time-out or the end of the session at the
// server. Media travels interleaved on the RTSP connection (Tcp), on UDP
// pairs (Udp), on the multicast group the server names (Multicast), or inside
// an RTSP-over-HTTP tunnel on the camera's HTTP port (RtspOverHttp).
//
// Authentication: Digest (with or without qop) or Basic with the connection
// info's credentials after a 401; a second 401 ends the session with
// rtsp::error::unauthorized, and so does a server that keeps calling the
// nonce stale after three answers. The tunnel authenticates its HTTP requests the
// same way. With an https connection info the tunnel runs over TLS, verified
// as the HTTP client verifies (the info's tls-accept-self-signed and
// tls-fingerprint options included); rtsps is not supported.
//
// Threading: every handler and callback runs on the io_context given to the
// constructor; call the members there too (start() and teardown() may be
// called from elsewhere: they only post). completion is never called inline.
//
// Errors passed to completion (category "netkit.rtsp" unless noted):
//   none                 after teardown()
//   timeout              no answer within the response time-out, or no RTP
//                        within the no-data time-out while playing
//   transportRefused     461 to a SETUP, or 400 to a SETUP (the caller may
//                        try another transport)
//   unauthorized, notFound, requestFailed, tooManyRedirects, noTracks,
//   protocolViolation, messageTooLarge, connectionLost,
//   sessionEndedByServer RTCP BYE on any transport, 454 to a keep-alive, or
//                        the server closing the connection (or the tunnel's
//                        GET) in order while playing; a broken connection is
//                        connectionLost
//   badUrl,
//   alreadyStarted       start() while a session runs (that session goes on)
//   socket errors        (boost::system, e.g. connection_refused) on connect
//   http::error::certificateRejected, fingerprintMismatch, tlsHandshakeFailed
//                        (category "netkit.http") for a tunnel over TLS
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/rtp/RtpTrackSink.h>
#include <netkit/rtsp/RtspError.h>
#include <netkit/sdp/SdpSession.h>
#include <netkit/util/Logging.h>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Orix::Utility {

enum class RtspTransport { Udp = 0, Tcp = 1, Multicast = 2, RtspOverHttp = 3 };

// "udp", "tcp", "multicast", "rtspoverhttp".
const char* getTransportProtocolName(RtspTransport transport);
// Accepts the names above in any case (and "rtspOverHttp"); false otherwise.
bool parseTransportProtocolName(const std::string& name, RtspTransport& out);

// Called once per media section of the DESCRIBE answer, in order; returns
// the sink for the track, or null to leave the track out (no SETUP).
using TrackInitializer =
    std::function<std::shared_ptr<RtpTrackSink>(const SdpMedia& track, std::size_t index)>;

class RTSPClient {
public:
    struct Statistics {
        std::uint64_t bytes = 0;        // RTP and RTCP payload bytes received
        std::uint64_t packets = 0;      // RTP packets handed to sinks
        std::uint64_t rtcpPackets = 0;  // RTCP packets received
        std::uint64_t requests = 0;     // RTSP requests sent
        std::uint64_t keepAlives = 0;   // of which keep-alives
        std::uint64_t receiverReports = 0; // RTCP receiver reports sent
    };

    // Answer to pause() or play(): the error (none for a 2xx) and the
    // response's Range header ("" when absent).
    using CommandHandler = std::function<void(const boost::system::error_code&, const std::string& range)>;
    using Completion = std::function<void(const boost::system::error_code&)>;

    RTSPClient(boost::asio::io_context& io, LoggerPtr logger);
    // Ends a running session without calling its completion: a best-effort
    // TEARDOWN is written and the sockets are closed.
    ~RTSPClient();
    RTSPClient(const RTSPClient&) = delete;
    RTSPClient& operator=(const RTSPClient&) = delete;

    // Settings read when a session starts.
    void setTrackInitializer(TrackInitializer initializer);
    void setTransport(RtspTransport transport);
    RtspTransport transport() const;
    void resetTransport(); // back to Tcp
    // response: per request (and for connecting); noData: while playing, the
    // longest silence of RTP before the session ends with timeout.
    void setTimeouts(std::chrono::milliseconds response, std::chrono::milliseconds noData);
    // With Udp/Multicast: send RTCP receiver reports (first one right after
    // PLAY, which also opens NAT bindings and stateful firewalls towards the
    // server, then every 5 s). Default on.
    void setUdpFlag(bool sendReceiverReports);
    // Receive buffer (SO_RCVBUF) of the socket that carries media: the RTSP
    // connection with Tcp/RtspOverHttp, the RTP socket otherwise; 0 leaves
    // the system default.
    void setTcpBufferSize(std::size_t bytes);
    void setUserAgent(std::string userAgent);
    // The Range header of the session's PLAY: "npt=0.000-" by default, an
    // absolute start for a recording ("clock=20240621T071725.250Z-"), empty
    // for none.
    void setPlayRange(std::string range);
    // Called with the Range header of the answer to the session's PLAY (""
    // when absent), on the io_context, before any media of the session
    // reaches a track sink: where the server says the stream starts.
    using PlayStarted = std::function<void(const std::string& range)>;
    void setPlayStarted(PlayStarted handler);

    // Starts one session. url is a path ("/axis-media/media.amp?camera=1")
    // relative to info's endpoint, or a full rtsp:// URL. With RtspOverHttp,
    // info is the camera's HTTP endpoint, otherwise its RTSP endpoint.
    // completion runs exactly once, on the io_context, never inline.
    void start(const std::string& url, asio::ConnectionInfoPtr info, Completion completion);

    // Sends TEARDOWN when a session is established (waiting at most 2 s or
    // the response time-out for its answer), closes everything and completes
    // the session with no error. Harmless when nothing runs.
    void teardown();

    // PAUSE, or PLAY with a Range header ("npt=0.000-", "clock=...-"; empty
    // for none), on the established session. handler runs once, on the
    // io_context; rtsp::error::notPlaying when no session is established,
    // requestFailed for a non-2xx answer, cancelled when the session ends
    // first. The session keeps running after a failed command.
    void pause(CommandHandler handler);
    void play(const std::string& range, CommandHandler handler);

    Statistics statistics() const;
    // The URL of the current or last session, without user info.
    std::string url() const;

private:
    class Session;
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Session> session_;
};

} // namespace Orix::Utility

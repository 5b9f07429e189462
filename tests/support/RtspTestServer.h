#pragma once
// A scripted RTSP server on 127.0.0.1 for client tests, on a thread of its
// own. Each request the client sends is recorded and handed to the script,
// whose reply is written as raw bytes (built by hand with the helpers below,
// never with the client's serializer), or withheld, or replaced by closing
// the connection. Bytes can also be pushed at any time ("$" frames while
// playing) and UDP datagrams sent to the client's ports or a multicast group.
//
// RTSP over HTTP is served on the same port: a GET with x-sessioncookie is
// recorded (method "GET") and answered by the script like any request; once
// the script's answer starts with "HTTP/1.x 200", that connection carries the
// tunnel's RTSP answers. A POST with the same cookie is recorded (method
// "POST", no answer unless the script gives one) and its base64 body is
// decoded into RTSP requests, recorded with viaTunnel set.
#include "ScriptedRequest.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

struct RtspTestRequest : RecordedHeaders {
    std::string method;
    std::string uri;
    std::string body;
    std::size_t connection = 0; // accepted connection number, from 1
    bool viaTunnel = false;     // decoded from a tunnel's POST body

    std::string cseq() const { return header("CSeq"); }
};

using RtspScriptReply = ScriptedReply;
using RtspScript = std::function<RtspScriptReply(const RtspTestRequest&)>;

// "RTSP/1.0 <status> <reason>\r\nCSeq: <cseq>\r\n" + header lines +
// Content-Length when there is a body + body.
std::string rtspAnswer(unsigned status, const std::string& reason, const std::string& cseq,
                       const std::vector<std::string>& headerLines = {}, const std::string& body = {});
// '$' channel length payload (RFC 2326 §10.12).
std::string interleavedFrame(std::uint8_t channel, const std::string& payload);
// A 12-byte RTP header (version 2, no CSRC) + payload.
std::string rtpPacket(std::uint16_t seq, std::uint32_t timestamp, std::uint32_t ssrc, bool marker,
                      std::uint8_t payloadType, const std::string& payload);
// A compound RTCP packet of an empty receiver report and a BYE.
std::string rtcpBye(std::uint32_t ssrc);

class RtspTestServer {
public:
    explicit RtspTestServer(RtspScript script);
    ~RtspTestServer();
    RtspTestServer(const RtspTestServer&) = delete;
    RtspTestServer& operator=(const RtspTestServer&) = delete;

    std::uint16_t port() const;
    std::vector<RtspTestRequest> requests() const;
    std::size_t connectionCount() const;
    // True once such a request arrived; false after the limit (a hang guard,
    // never a timing assertion).
    bool waitForMethod(const std::string& method, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // True once every accepted connection was closed by the client.
    bool waitForDisconnect(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    // Writes bytes on the connection that carries RTSP answers (the latest
    // RTSP connection, or the latest tunnel GET).
    void push(std::string bytes);
    void sendUdp(std::uint16_t port, std::string bytes);
    void sendMulticast(const std::string& group, std::uint16_t port, std::string bytes);
    void closeConnections();

    // A UDP port on 127.0.0.1 that records what arrives (announce it as the
    // RTCP half of server_port); and what arrived there.
    std::uint16_t rtcpPort() const;
    std::vector<std::string> rtcpReceived() const;
    bool waitForRtcp(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// Whether this machine delivers multicast sent on the loopback interface to
// a member joined there.
bool loopbackMulticastWorks();

} // namespace TestSupport

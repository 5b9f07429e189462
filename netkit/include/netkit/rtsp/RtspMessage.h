#pragma once
// RTSP 1.0 messages (RFC 2326 §6, §7) as plain data, free of sockets.
#include <netkit/util/TextUtil.h>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Orix::Utility::rtsp {

struct HeaderField {
    std::string name;
    std::string value;
};

// A parsed response or, rarely, a request the server sends to the client
// (ANNOUNCE, GET_PARAMETER). The reader also uses it for the HTTP answer that
// opens an RTSP-over-HTTP tunnel.
struct RtspMessage {
    bool isRequest = false;
    std::string protocol;   // "RTSP/1.0" or "HTTP/1.0", "HTTP/1.1"
    unsigned status = 0;    // responses
    std::string reason;     // responses
    std::string method;     // requests
    std::string uri;        // requests
    std::vector<HeaderField> headers;
    std::string body;

    // First header of that name (case-insensitive), or null.
    const std::string* find(std::string_view name) const;
    // Every value of that header, in order (WWW-Authenticate may repeat).
    std::vector<std::string> findAll(std::string_view name) const;
    // The CSeq value; nullopt when absent or not a number.
    std::optional<std::uint32_t> cseq() const;
};

// A request the client sends. serialize() writes the request line, CSeq,
// the headers in order, Content-Length when there is a body, and the body.
struct RtspRequest {
    std::string method;
    std::string uri;
    std::uint32_t cseq = 0;
    std::vector<HeaderField> headers;
    std::string body;

    void set(std::string name, std::string value);
    std::string serialize() const;
};

// The Session header of RFC 2326 §12.37: "id[;timeout=seconds]". Ids may hold
// '$', '.', '-', '_' and '+'. Spaces around ';' and '=' are tolerated (seen as
// "; timeout=120" on 2015 Axis firmware). False when there is no id.
struct SessionHeader {
    std::string id;
    std::chrono::seconds timeout{60}; // RFC 2326 default when absent
};
bool parseSessionHeader(std::string_view value, SessionHeader& out);

// The methods of a Public header (OPTIONS answer), upper-cased.
std::vector<std::string> parsePublicHeader(std::string_view value);

using text::iequals;

} // namespace Orix::Utility::rtsp

#pragma once
// RTSP 1.0 as camsim reads and writes it (RFC 2326): an incremental reader
// for what a client sends on the control connection (requests and "$"
// interleaved frames, every buffer bounded), answers, the Transport header,
// and the base64 decoding of the HTTP tunnel. Plain bytes, no sockets.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Camsim {

struct RtspRequest {
    std::string method;
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // First header with this name (case-insensitive), or empty.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

// Reads requests and interleaved frames out of a byte stream fed in pieces.
class RtspReader {
public:
    static constexpr std::size_t kHeadLimit = 8 * 1024;
    static constexpr std::size_t kBodyLimit = 64 * 1024;

    enum class Item { NeedMore, Request, Interleaved, Error };

    // Appends bytes; false (and the reader is broken) when more than a
    // message and a frame's worth of bytes pile up.
    bool append(const char* data, std::size_t size);

    // The next complete item, or NeedMore. After Error the reader stays broken
    // and error() says why.
    Item next(RtspRequest& request, std::uint8_t& channel, std::string& frame);

    const std::string& error() const { return error_; }
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    Item fail(std::string why);

    std::string buffer_;
    std::size_t start_ = 0;
    std::string error_;
};

// Parses one request head ("METHOD URL RTSP/1.0" + header lines, CRLF or LF).
std::optional<RtspRequest> parseRtspHead(const std::string& head, std::string& error);

// One answer: status line, CSeq, the given headers, Server and Date, and a
// body with Content-Length when there is one.
std::string rtspResponse(int status, const std::string& cseq,
                         const std::vector<std::pair<std::string, std::string>>& headers,
                         const std::string& body = {});

const char* rtspReason(int status);

// One alternative of a Transport header (RFC 2326 section 12.39).
struct TransportSpec {
    enum class Lower { Udp, Tcp };
    Lower lower = Lower::Udp;
    bool multicast = false;
    std::optional<std::pair<unsigned, unsigned>> interleaved;
    std::optional<std::pair<unsigned, unsigned>> clientPort;
    std::optional<std::pair<unsigned, unsigned>> port;
    std::string destination;
    std::optional<unsigned> ttl;
};

// All alternatives of a Transport header in the client's order; those that
// are not RTP/AVP are skipped, malformed ones too.
std::vector<TransportSpec> parseTransport(const std::string& header);

// Decodes base64 arriving in arbitrary pieces, as the POST leg of an RTSP
// over HTTP tunnel carries it: every request is encoded on its own, so
// padding may be followed by a new run; line breaks and spaces are skipped.
class Base64StreamDecoder {
public:
    // Appends the decoded bytes to out; false on a character outside the
    // base64 alphabet or misplaced padding (the decoder then stays broken).
    bool feed(const char* data, std::size_t size, std::string& out);
    bool broken() const { return broken_; }

private:
    unsigned quad_[4] = {};
    unsigned count_ = 0;
    unsigned padding_ = 0;
    bool broken_ = false;
};

std::string base64Encode(const std::string& bytes);

// Path of an RTSP URL ("rtsp://h:p/a/b?q" -> "/a/b"), and its query.
std::string rtspUrlPath(const std::string& url);
std::string rtspUrlQuery(const std::string& url);
// The URL without user:password@.
std::string stripUserInfo(const std::string& url);

} // namespace Camsim

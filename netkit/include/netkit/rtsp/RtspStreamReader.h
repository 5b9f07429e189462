#pragma once
// Incremental reader of what an RTSP server sends on its TCP connection:
// responses (and the rare server request) interleaved with "$" binary frames
// (RFC 2326 §10.12: '$', channel, 16-bit length, payload). Feed it whatever a
// read returned, split anywhere; it calls the visitor for each complete item.
//
// Bounds: a header block beyond Limits::maxHeaderBytes or a body beyond
// Limits::maxBodyBytes is error::messageTooLarge; a frame is at most 65535
// bytes by construction. Anything that is neither a message nor a frame is
// error::protocolViolation. After an error the reader stays failed.
//
// Pure: no sockets, no logging; usable from any thread, one at a time.
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <cstdint>
#include <netkit/rtsp/RtspError.h>
#include <netkit/rtsp/RtspMessage.h>
#include <string>

namespace Orix::Utility::rtsp {

class RtspStreamReader {
public:
    struct Limits {
        std::size_t maxHeaderBytes = 16 * 1024;
        std::size_t maxBodyBytes = 64 * 1024;
    };

    class Visitor {
    public:
        virtual ~Visitor() = default;
        // Return false to stop reading; the rest of the fed bytes is dropped.
        virtual bool onMessage(RtspMessage&& message) = 0;
        virtual bool onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size) = 0;
    };

    RtspStreamReader() = default;
    explicit RtspStreamReader(Limits limits) : limits_(limits) {}

    // Consumes every byte unless a visitor call returns false. Returns the
    // error that made the reader fail (also on later calls).
    boost::system::error_code feed(const std::uint8_t* data, std::size_t size, Visitor& visitor);
    boost::system::error_code feed(const char* data, std::size_t size, Visitor& visitor)
    {
        return feed(reinterpret_cast<const std::uint8_t*>(data), size, visitor);
    }

    // The next message is a header block only, whatever its Content-Length
    // says: the HTTP answer that opens a tunnel streams RTSP after it.
    void expectHeaderOnlyMessage() { headerOnlyNext_ = true; }

    // True between items (no partial message or frame buffered).
    bool idle() const { return state_ == State::Idle; }
    bool failed() const { return static_cast<bool>(error_); }

private:
    // Idle -> Header ("A".."Z") -> Body (Content-Length > 0) -> Idle
    // Idle -> FrameHeader ('$') -> FramePayload -> Idle
    // any -> Failed on malformed or oversized input
    enum class State { Idle, Header, Body, FrameHeader, FramePayload, Failed };

    boost::system::error_code fail(error e);
    boost::system::error_code finishHeader(bool& keepGoing, Visitor& visitor);

    Limits limits_;
    State state_ = State::Idle;
    boost::system::error_code error_;
    bool headerOnlyNext_ = false;
    std::string header_;
    std::size_t scanFrom_ = 0;
    RtspMessage message_;
    std::size_t bodyWanted_ = 0;
    std::uint8_t frameHeader_[3] = {};
    std::size_t frameHeaderHave_ = 0;
    std::string frame_;
    std::size_t frameWanted_ = 0;
};

// Parses one header block (start line and header lines, folded lines joined
// with one space, CRLF or bare LF). protocolViolation when malformed.
boost::system::error_code parseHeaderBlock(std::string_view block, RtspMessage& out);

} // namespace Orix::Utility::rtsp

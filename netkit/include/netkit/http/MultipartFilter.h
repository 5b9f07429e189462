#pragma once
// Incremental splitter of a multipart body (RFC 2046 section 5.1; cameras
// send multipart/x-mixed-replace for IO monitors and MJPEG): bytes go in as
// the socket delivers them, split anywhere, and each complete part comes out
// once with its headers and body.
//
// The boundary comes from the content type ("multipart/x-mixed-replace;
// boundary=ioboundary", quoted or not). A delimiter is "--" + boundary at the
// start of a line; the line break before it belongs to the delimiter, CRLF or
// a bare LF (some firmware ends lines with LF only). Bytes before the first
// delimiter (the preamble) and after the closing one are ignored.
//
// Memory is bounded: a part's headers and body each have a limit. A part
// that exceeds one is dropped with an error and the filter resynchronises at
// the next delimiter, so one oversized part loses only itself.
//
// States:
//   Preamble  --delimiter-->               Delimiter
//   Delimiter --"--" after the boundary--> Epilogue (closing delimiter)
//   Delimiter --line end-->                Headers
//   Headers   --empty line-->              Body
//   Body      --delimiter-->               Delimiter (the part is delivered)
//   Headers, Body --over the limit-->      Preamble (error partTooLarge / headerTooLarge)
//
// No sockets, no logger: usable alone and in a fuzz target.
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <functional>
#include <netkit/http/HttpClient.h>
#include <string>
#include <string_view>

namespace Orix::Utility {

enum class MultipartError {
    noBoundary = 1,   // the content type names no usable boundary
    partTooLarge,     // a part's body exceeds the limit (the part is dropped)
    headerTooLarge,   // a part's headers exceed the limit (the part is dropped)
    malformedDelimiter, // a delimiter line that never ends
};

const boost::system::error_category& multipartCategory();
boost::system::error_code make_error_code(MultipartError e);

struct MultipartPart {
    http::Headers headers;
    std::string body;
    // First header of that name (case-insensitive), or null.
    const std::string* find(std::string_view name) const;
};

// The boundary named by a multipart content type, or an empty string.
std::string multipartBoundary(std::string_view contentType);

class MultipartFilterBase {
public:
    static constexpr std::size_t kDefaultMaxPartBytes = 1024 * 1024;
    static constexpr std::size_t kMaxHeaderBytes = 8 * 1024;

    explicit MultipartFilterBase(std::size_t maxPartBytes = kDefaultMaxPartBytes);
    virtual ~MultipartFilterBase() = default;

    // Takes the boundary from a content type; noBoundary when it has none.
    // Starts a new body.
    boost::system::error_code setContentType(std::string_view contentType);
    void setBoundary(std::string boundary);

    // Feeds the next bytes; every part completed by them is handed to onPart
    // before this returns. The first limit exceeded is returned (the parts
    // after it are still delivered); noBoundary before a boundary is set.
    boost::system::error_code push(const char* data, std::size_t size);
    boost::system::error_code push(std::string_view bytes) { return push(bytes.data(), bytes.size()); }

    std::size_t partsDelivered() const { return parts_; }
    std::size_t partsDropped() const { return dropped_; }
    // Bytes held while waiting for the rest of a part.
    std::size_t buffered() const { return buffer_.size(); }

protected:
    virtual void onPart(MultipartPart&& part) = 0;

private:
    enum class State { Preamble, Delimiter, Headers, Body, Epilogue };

    bool step(boost::system::error_code& firstError);
    std::size_t findDelimiter(std::size_t from) const;
    void drop(MultipartError error, boost::system::error_code& firstError);

    std::size_t maxPartBytes_;
    std::string dash_; // "--" + boundary
    State state_ = State::Preamble;
    std::string buffer_;
    std::size_t scanned_ = 0; // bytes of the buffer already searched for a delimiter
    MultipartPart part_;
    std::size_t headerBytes_ = 0;
    std::size_t parts_ = 0;
    std::size_t dropped_ = 0;
};

// The default frame multiplexer: every part goes to one sink, in order.
class MultipartFilter final : public MultipartFilterBase {
public:
    using Sink = std::function<void(MultipartPart&& part)>;
    explicit MultipartFilter(Sink sink, std::size_t maxPartBytes = kDefaultMaxPartBytes)
        : MultipartFilterBase(maxPartBytes), sink_(std::move(sink))
    {
    }

protected:
    void onPart(MultipartPart&& part) override
    {
        if (sink_)
            sink_(std::move(part));
    }

private:
    Sink sink_;
};

} // namespace Orix::Utility

namespace boost::system {
template <>
struct is_error_code_enum<Orix::Utility::MultipartError> : std::true_type {};
} // namespace boost::system

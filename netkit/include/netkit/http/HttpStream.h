#pragma once
// A long-lived HTTP GET whose body is handed on as it arrives: the IO
// monitor's multipart stream, audio received from the camera. Connection,
// TLS and authentication are those of the one-shot client (HttpClient.h):
// cached Digest or Basic credentials go out at once, a 401 with a fresh
// challenge is answered on a new connection, at most a few times.
//
// Order of the callbacks, all on the io_context given to openHttpStream,
// never from inside the call that opened the stream:
//   onResponse  once, when the final answer's header has arrived;
//   onData      for every piece of body (only with a 2xx status);
//   onEnd       exactly once, last.
// onEnd's error is empty when the body ended as the answer announced it
// (the last chunk, Content-Length, or the close of an HTTP/1.0 answer) and
// for a status outside 2xx (the caller reads it from the response, whose
// body is not read); otherwise error::timeout (no header within the
// time-out, or no byte within the stall time), error::cancelled, a
// transport error, or the client's other errors.
#include <chrono>
#include <cstddef>
#include <functional>
#include <netkit/http/HttpClient.h>

namespace Orix::http {

struct HttpStreamHandlers {
    std::function<void(const HttpResponse& response)> onResponse;
    std::function<void(const char* data, std::size_t size)> onData;
    std::function<void(const boost::system::error_code& error, const HttpResponse& response)> onEnd;
};

struct HttpStreamTimeouts {
    // From the start to the final answer's header.
    std::chrono::milliseconds header = kDefaultTimeout;
    // The longest wait for the next body bytes once the header is in.
    std::chrono::milliseconds stall = std::chrono::seconds(60);
};

// Opens the stream; the handle's cancel() ends it with error::cancelled
// (safe from any thread).
RequestHandlePtr openHttpStream(asio::ConnectionInfoPtr info, HttpRequest request,
                                boost::asio::io_context& io, HttpStreamTimeouts timeouts,
                                HttpStreamHandlers handlers);

} // namespace Orix::http

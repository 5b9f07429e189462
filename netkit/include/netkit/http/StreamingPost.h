#pragma once
// A request whose body is written piece by piece while its connection stays
// open: the audio a host sends to a camera's speaker. open() resolves,
// connects (TLS for an https connection info, verified as the HTTP client
// verifies), and sends the head with the Authorization of the challenge the
// camera sent before (the caller primes it with an ordinary request through
// asyncPostEx or asyncGetEx, whose 401 the client remembers); write() then
// sends body pieces, one at a time, in order.
//
// The head goes out as given: the caller chooses the body's framing (a large
// Content-Length, as Axis cameras take for an open-ended body). The socket is
// read while the body flows: any answer from the server before close() means
// it refused or ended the body, and the end handler hears it, with the
// status (0 when the connection just closed).
//
// Threading: handlers run on the io_context given to create(), never inline.
// Call the members from that io_context's thread. Errors: http::error
// (unauthorized for a 401 to the head, invalidRequest, timeout to connect,
// tlsHandshakeFailed, certificateRejected, fingerprintMismatch), socket errors,
// boost::asio::error::operation_aborted after close().
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/http/HttpClient.h>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace Orix::http {

class StreamingPost {
public:
    using Handler = std::function<void(const boost::system::error_code&)>;
    using EndHandler = std::function<void(const boost::system::error_code&, unsigned status)>;

    // request: method, target and headers of the head; its body is ignored.
    static std::shared_ptr<StreamingPost> create(boost::asio::io_context& io, asio::ConnectionInfoPtr info,
                                                 HttpRequest request);
    virtual ~StreamingPost() = default;

    // Connects and sends the head within timeout; handler once. end runs at
    // most once, after a successful open, when the server answers or closes.
    virtual void open(std::chrono::milliseconds timeout, Handler handler, EndHandler end) = 0;
    // Sends bytes of the body; handler once, when all are written or the
    // write failed. A write while another is in flight fails with
    // http::error::invalidRequest.
    virtual void write(std::vector<std::uint8_t> bytes, Handler handler) = 0;
    // Closes the connection: pending handlers run with operation_aborted,
    // end does not run any more. Idempotent.
    virtual void close() = 0;
    virtual std::uint64_t bytesWritten() const = 0;
};

} // namespace Orix::http

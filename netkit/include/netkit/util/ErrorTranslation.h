#pragma once
// Translation of transport errors and HTTP statuses into host result codes.
//
// | source                                     | host code              |
// |--------------------------------------------|------------------------|
// | success                                    | 0 Ok                   |
// | connection refused                         | 0x101 ConnectionRefused|
// | host / network unreachable, unknown host   | 0x102 HostUnreachable  |
// | timeout (asio timed_out, netkit timeout)   | 0x103 Timeout          |
// | reset, aborted, eof, broken pipe           | 0x104 ConnectionLost   |
// | TLS handshake, certificate, fingerprint    | 0x105 TlsFailure       |
// | malformed or oversized answer              | 0x106 ProtocolError    |
// | operation aborted / cancelled              | 0x107 Cancelled        |
// | HTTP 401 (error or status)                 | 0x201 Unauthorized     |
// | HTTP 403                                   | 0x202 Forbidden        |
// | HTTP 404 (error or status)                 | 0x203 NotFound         |
// | HTTP 503                                   | 0x206 ServiceUnavailable|
// | other HTTP 5xx                             | 0x205 ServerError      |
// | other HTTP 4xx, other statuses             | 0x204 BadRequest       |
// | invalid connection string                  | 0x100 BadAddress       |
// | RTSP unauthorized / notFound / malformed   | 0x201 / 0x203 / 0x106  |
//   (through their generic conditions: permission_denied,
//    no_such_file_or_directory, protocol_error)
// | anything else                              | 1 GenericFailure       |
#include <boost/system/error_code.hpp>
#include <cstdint>

namespace Orix::http {
struct HttpResponse;
}

namespace Orix::Utility {

std::uint32_t translateSystemError(const boost::system::error_code& error);
std::uint32_t translateResponseError(const http::HttpResponse& response);
std::uint32_t translateHttpStatus(unsigned status);

} // namespace Orix::Utility

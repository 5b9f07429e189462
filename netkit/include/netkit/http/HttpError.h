#pragma once
// Errors of the HTTP client (category "netkit.http").
#include <boost/system/error_code.hpp>

namespace Orix::http {

enum class error {
    // Values equal to an HTTP status: the camera refused the request.
    unauthorized = 401,      // credentials missing or rejected after the challenge
    notFound = 404,

    timeout = 1000,          // no complete answer within the time-out
    cancelled,               // the request handle was cancelled
    responseTooLarge,        // header or body exceeds the response bound
    malformedResponse,       // not HTTP, or a broken header / chunk
    unsupportedAuthScheme,   // challenge with no scheme we speak (or Basic refused)
    tlsHandshakeFailed,
    certificateRejected,     // verification failed and not accepted by the options
    fingerprintMismatch,     // the pinned fingerprint does not match
    invalidRequest,          // bad URI or connection info
};

const boost::system::error_category& httpCategory();
boost::system::error_code make_error_code(error e);

} // namespace Orix::http

namespace boost::system {
template <>
struct is_error_code_enum<Orix::http::error> : std::true_type {};
} // namespace boost::system

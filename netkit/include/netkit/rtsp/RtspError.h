#pragma once
// Errors of the RTSP client and its parsers (category "netkit.rtsp").
//
// Each value maps to a generic condition where one fits, so callers can test
// `ec == boost::system::errc::timed_out` or translate it to a host code with
// Orix::Utility::translateSystemError:
//   timeout          -> errc::timed_out
//   connectionLost   -> errc::connection_reset
//   unauthorized     -> errc::permission_denied
//   notFound         -> errc::no_such_file_or_directory
//   protocolViolation, messageTooLarge -> errc::protocol_error
//   cancelled        -> errc::operation_canceled
#include <boost/system/error_code.hpp>

namespace Orix::Utility::rtsp {

enum class error {
    timeout = 1,          // no answer within the response time-out, or no media within the no-data time-out
    unauthorized,         // 401 without usable credentials, or a second 401 after answering a challenge
    notFound,             // 404 from the server
    protocolViolation,    // not RTSP, a broken header, a bad Transport/Session answer, CSeq confusion
    connectionLost,       // the server closed the connection or it broke
    messageTooLarge,      // a header block or body beyond the bounds
    sessionEndedByServer, // RTCP BYE, 454 Session Not Found while playing, or an orderly close while playing
    requestFailed,        // any other non-2xx answer to a session request
    noTracks,             // the SDP has no media, or the track initializer refused all
    tooManyRedirects,     // more 3xx answers than the redirect bound
    badUrl,               // the URL or a Location/control URL cannot be used
    alreadyStarted,       // start() while a session is running
    notPlaying,           // pause()/play() outside an established session
    cancelled,            // a pending pause()/play() was cut off by the session's end
    transportRefused,     // 461 Unsupported Transport, or 400 to a SETUP: the server will not use this transport
};

const boost::system::error_category& rtspCategory();
boost::system::error_code make_error_code(error e);

} // namespace Orix::Utility::rtsp

namespace boost::system {
template <>
struct is_error_code_enum<Orix::Utility::rtsp::error> : std::true_type {};
} // namespace boost::system

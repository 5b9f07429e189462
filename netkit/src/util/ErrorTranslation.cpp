#include <netkit/util/ErrorTranslation.h>

#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/http/HttpClient.h>
#include <netkit/http/HttpError.h>

#include <orix/ErrorCodes.h>

#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>

namespace Orix::Utility {
namespace {

std::uint32_t translateHttpClientError(http::error e)
{
    switch (e) {
    case http::error::unauthorized: return Unauthorized;
    case http::error::notFound: return NotFound;
    case http::error::timeout: return Timeout;
    case http::error::cancelled: return Cancelled;
    case http::error::responseTooLarge:
    case http::error::malformedResponse: return ProtocolError;
    case http::error::tlsHandshakeFailed:
    case http::error::certificateRejected:
    case http::error::fingerprintMismatch: return TlsFailure;
    case http::error::invalidRequest: return BadAddress;
    case http::error::unsupportedAuthScheme: return GenericFailure;
    }
    return GenericFailure;
}

std::uint32_t translateBeastError(const boost::system::error_code& error)
{
    namespace bhttp = boost::beast::http;
    switch (static_cast<bhttp::error>(error.value())) {
    case bhttp::error::end_of_stream:
    case bhttp::error::partial_message: return ConnectionLost;
    default: return ProtocolError;
    }
}

} // namespace

std::uint32_t translateSystemError(const boost::system::error_code& error)
{
    namespace errc = boost::system::errc;
    namespace aerror = boost::asio::error;
    if (!error)
        return Ok;
    const auto& category = error.category();
    if (category == connectionCategory()) {
        switch (static_cast<ConnectionError>(error.value())) {
        case ConnectionError::noConnectionInfo: return NoConnection;
        case ConnectionError::invalidConnectionString: return BadAddress;
        }
        return GenericFailure;
    }
    if (category == http::httpCategory())
        return translateHttpClientError(static_cast<http::error>(error.value()));
    if (category == boost::beast::http::make_error_code(boost::beast::http::error::end_of_stream).category())
        return translateBeastError(error);
    if (category == aerror::get_ssl_category() || category == boost::asio::ssl::error::get_stream_category())
        return TlsFailure;
    if (error == boost::beast::error::timeout)
        return Timeout;
    if (error == aerror::host_not_found || error == aerror::host_not_found_try_again ||
        error == aerror::no_data || error == aerror::no_recovery || error == aerror::service_not_found)
        return HostUnreachable;
    if (error == aerror::eof)
        return ConnectionLost;
    if (error == errc::connection_refused)
        return ConnectionRefused;
    if (error == errc::host_unreachable || error == errc::network_unreachable ||
        error == errc::network_down)
        return HostUnreachable;
    if (error == errc::timed_out)
        return Timeout;
    if (error == errc::connection_reset || error == errc::connection_aborted ||
        error == errc::broken_pipe || error == errc::not_connected)
        return ConnectionLost;
    if (error == errc::operation_canceled)
        return Cancelled;
    // Protocol layers without a row of their own (RTSP) map onto these conditions.
    if (error == errc::permission_denied)
        return Unauthorized;
    if (error == errc::no_such_file_or_directory)
        return NotFound;
    if (error == errc::protocol_error || error == errc::message_size)
        return ProtocolError;
    return GenericFailure;
}

std::uint32_t translateHttpStatus(unsigned status)
{
    if ((status >= 200 && status < 300) || status == 302)
        return Ok;
    switch (status) {
    case 401: return Unauthorized;
    case 403: return Forbidden;
    case 404: return NotFound;
    case 503: return ServiceUnavailable;
    default: break;
    }
    if (status >= 500 && status < 600)
        return ServerError;
    return BadRequest;
}

std::uint32_t translateResponseError(const http::HttpResponse& response)
{
    return translateHttpStatus(response.status);
}

} // namespace Orix::Utility

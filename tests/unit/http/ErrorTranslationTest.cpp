#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/rtsp/RtspError.h>
#include <netkit/util/ErrorTranslation.h>

#include "support/FakeHost.h"

#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <gtest/gtest.h>

using namespace Orix;

TEST(ErrorTranslation, TransportErrorsToHostCodes)
{
    namespace ae = boost::asio::error;
    const struct {
        const char* name;
        boost::system::error_code error;
        std::uint32_t code;
    } cases[] = {
        {"success", {}, 0},
        {"refused", ae::connection_refused, 0x101},
        {"host unreachable", ae::host_unreachable, 0x102},
        {"network unreachable", ae::network_unreachable, 0x102},
        {"unknown host", ae::host_not_found, 0x102},
        {"unknown host, try again", ae::host_not_found_try_again, 0x102},
        {"asio timed out", ae::timed_out, 0x103},
        {"client time-out", http::error::timeout, 0x103},
        {"reset", ae::connection_reset, 0x104},
        {"aborted", ae::connection_aborted, 0x104},
        {"eof", ae::eof, 0x104},
        {"broken pipe", ae::broken_pipe, 0x104},
        {"generic reset", boost::system::errc::make_error_code(boost::system::errc::connection_reset), 0x104},
        {"TLS library error", boost::system::error_code(0x0A000086, boost::asio::error::get_ssl_category()), 0x105},
        {"TLS stream truncated", boost::asio::ssl::error::stream_truncated, 0x105},
        {"handshake", http::error::tlsHandshakeFailed, 0x105},
        {"certificate", http::error::certificateRejected, 0x105},
        {"fingerprint", http::error::fingerprintMismatch, 0x105},
        {"malformed", http::error::malformedResponse, 0x106},
        {"too large", http::error::responseTooLarge, 0x106},
        {"operation aborted", ae::operation_aborted, 0x107},
        {"cancelled", http::error::cancelled, 0x107},
        {"401 as error", http::error::unauthorized, 0x201},
        {"404 as error", http::error::notFound, 0x203},
        {"invalid request", http::error::invalidRequest, 0x100},
        {"no usable scheme", http::error::unsupportedAuthScheme, 1},
        {"no connection info", Utility::makeConnectionError(Utility::ConnectionError::noConnectionInfo), 10},
        {"bad connection string", Utility::makeConnectionError(Utility::ConnectionError::invalidConnectionString), 0x100},
        {"rtsp time-out", Utility::rtsp::error::timeout, 0x103},
        {"rtsp connection lost", Utility::rtsp::error::connectionLost, 0x104},
        {"rtsp unauthorized", Utility::rtsp::error::unauthorized, 0x201},
        {"rtsp not found", Utility::rtsp::error::notFound, 0x203},
        {"rtsp protocol violation", Utility::rtsp::error::protocolViolation, 0x106},
        {"rtsp message too large", Utility::rtsp::error::messageTooLarge, 0x106},
        {"something else", boost::system::errc::make_error_code(boost::system::errc::no_space_on_device), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utility::translateSystemError(c.error), c.code);
    }
}

TEST(ErrorTranslation, HttpStatusesToHostCodes)
{
    const std::pair<unsigned, std::uint32_t> cases[] = {
        {200, 0},     {204, 0},     {302, 0},     {401, 0x201}, {403, 0x202}, {404, 0x203},
        {503, 0x206}, {500, 0x205}, {502, 0x205}, {400, 0x204}, {405, 0x204}, {301, 0x204},
        {100, 0x204}, {0, 0x204},
    };
    for (const auto& [status, code] : cases) {
        SCOPED_TRACE(status);
        EXPECT_EQ(Utility::translateHttpStatus(status), code);
        http::HttpResponse response;
        response.status = status;
        EXPECT_EQ(Utility::translateResponseError(response), code);
    }
}

TEST(CheckHttpAnswer, LogsTheStandardLinesAndReturnsTheCode)
{
    const std::string uri = "/axis-cgi/param.cgi?action=list&group=root.Properties";
    const struct {
        const char* name;
        boost::system::error_code error;
        unsigned status;
        const char* reason;
        std::string body;
        std::uint32_t code;
        std::string logged; // empty: nothing logged
    } cases[] = {
        {"usable answer", {}, 200, "OK", "root.Properties.API.HTTP.Version=3\n", 0, ""},
        {"302 counts as success", {}, 302, "Found", "moved", 0, ""},
        {"transport error", boost::asio::error::connection_refused, 0, "", "", 0x101,
         " HTTP request is finished with error: 111, message: Connection refused, request: " + uri},
        {"client error with a status", http::error::notFound, 404, "Not Found", "page", 0x203,
         " HTTP request is finished with error: 404, message: not found, request: " + uri},
        {"bad status", {}, 503, "Service Unavailable", "busy", 0x206,
         " HTTP response has error code: 503, reason: Service Unavailable, request: " + uri},
        {"empty body", {}, 200, "OK", "", 1, " HTTP responce is empty, request: " + uri},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        LoggerOwner owner(logger);
        http::HttpResponse response;
        response.status = c.status;
        response.reason = c.reason;
        EXPECT_EQ(Utility::checkHttpAnswer(owner, c.error, c.body, response, uri), c.code);
        const auto lines = logger->entries();
        ASSERT_EQ(lines.size(), c.logged.empty() ? 0u : 1u);
        if (!lines.empty()) {
            EXPECT_EQ(lines[0].level, 3);
            EXPECT_EQ(lines[0].message, c.logged);
        }
    }
}

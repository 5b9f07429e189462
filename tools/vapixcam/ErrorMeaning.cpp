#include "ErrorMeaning.h"

#include "StderrLogger.h"

#include <cstdio>
#include <orix/ErrorCodes.h>

namespace VapixcamCli {

namespace {

struct Meaning {
    std::uint32_t code;
    const char* text;
};

constexpr Meaning kMeanings[] = {
    {Orix::Ok, "success"},
    {Orix::GenericFailure, "failure"},
    {2, "the camera answered with an error"},
    {Orix::AlreadyInState, "already in that state"},
    {Orix::WrongValueType, "a setting has the wrong type"},
    {Orix::InvalidArgument, "invalid argument"},
    {Orix::NotSupported, "not supported"},
    {Orix::NotStarted, "not started"},
    {Orix::NoConnection, "no connection"},
    {Orix::InProgress, "already in progress or terminated"},
    {Orix::BadAddress, "bad address or unknown host"},
    {Orix::ConnectionRefused, "connection refused"},
    {Orix::HostUnreachable, "host unreachable"},
    {Orix::Timeout, "the camera did not answer in time"},
    {Orix::ConnectionLost, "connection lost"},
    {Orix::TlsFailure, "TLS handshake or certificate check failed"},
    {Orix::ProtocolError, "malformed or oversized answer"},
    {Orix::Cancelled, "cancelled"},
    {Orix::Unauthorized, "wrong user name or password"},
    {Orix::Forbidden, "access forbidden for this user"},
    {Orix::NotFound, "not found on the camera"},
    {Orix::BadRequest, "the camera rejected the request"},
    {Orix::ServerError, "camera internal error"},
    {Orix::ServiceUnavailable, "camera service unavailable"},
    {Orix::DeviceNotRecognised, "device not recognised"},
    {Orix::NotInCall, "not in a call"},
    {0x800, "the camera refused the command"},
    {0x900, "a value is missing in the camera's answer"},
    {Orix::BadConnectionString, "bad connection string"},
};

} // namespace

std::string errorMeaning(std::uint32_t code)
{
    for (const Meaning& m : kMeanings)
        if (m.code == code)
            return m.text;
    return "unknown error";
}

std::string formatResultCode(std::uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%03X", static_cast<unsigned>(code));
    return text;
}

std::string failureText(std::uint32_t code)
{
    std::string text = errorMeaning(code) + " (code " + formatResultCode(code) + ")";
    const std::string reason = StderrLogger::lastError();
    if (!reason.empty())
        text += ": " + reason;
    return text;
}

} // namespace VapixcamCli

#include <netkit/rtsp/RtspError.h>

#include <string>

namespace Orix::Utility::rtsp {
namespace {

class RtspCategory : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.rtsp"; }

    std::string message(int value) const override
    {
        switch (static_cast<error>(value)) {
        case error::timeout: return "RTSP time-out";
        case error::unauthorized: return "RTSP authentication failed";
        case error::notFound: return "RTSP resource not found";
        case error::protocolViolation: return "RTSP protocol violation";
        case error::connectionLost: return "RTSP connection lost";
        case error::messageTooLarge: return "RTSP message exceeds the size bound";
        case error::sessionEndedByServer: return "RTSP session ended by the server";
        case error::requestFailed: return "RTSP request refused by the server";
        case error::noTracks: return "no usable media track in the session";
        case error::tooManyRedirects: return "too many RTSP redirects";
        case error::badUrl: return "unusable RTSP URL";
        case error::alreadyStarted: return "an RTSP session is already running";
        case error::notPlaying: return "no established RTSP session";
        case error::cancelled: return "RTSP request cancelled";
        case error::transportRefused: return "the RTSP server refused the requested transport";
        }
        return "unknown RTSP error " + std::to_string(value);
    }

    boost::system::error_condition default_error_condition(int value) const noexcept override
    {
        namespace errc = boost::system::errc;
        switch (static_cast<error>(value)) {
        case error::timeout: return errc::make_error_condition(errc::timed_out);
        case error::connectionLost: return errc::make_error_condition(errc::connection_reset);
        case error::unauthorized: return errc::make_error_condition(errc::permission_denied);
        case error::notFound: return errc::make_error_condition(errc::no_such_file_or_directory);
        case error::protocolViolation:
        case error::messageTooLarge: return errc::make_error_condition(errc::protocol_error);
        case error::cancelled: return errc::make_error_condition(errc::operation_canceled);
        case error::sessionEndedByServer:
        case error::requestFailed:
        case error::noTracks:
        case error::tooManyRedirects:
        case error::badUrl:
        case error::alreadyStarted:
        case error::notPlaying:
        case error::transportRefused: break;
        }
        return {value, *this};
    }
};

} // namespace

const boost::system::error_category& rtspCategory()
{
    static const RtspCategory category;
    return category;
}

boost::system::error_code make_error_code(error e)
{
    return {static_cast<int>(e), rtspCategory()};
}

} // namespace Orix::Utility::rtsp

#pragma once
// The standard check after every asynchronous request: a transport error, a
// status outside 200-299 other than 302, or an empty body is logged at error
// level and turned into a host result code; 0 means the answer is usable.
#include <cstdint>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>

namespace Orix::Utility {

std::uint32_t checkHttpAnswer(const LoggerOwner& owner, const boost::system::error_code& error,
                              const std::string& body, const http::HttpResponse& response,
                              const std::string& uri);

inline bool isSuccessStatus(unsigned status)
{
    return (status >= 200 && status < 300) || status == 302;
}

} // namespace Orix::Utility

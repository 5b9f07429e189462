#include <netkit/http/ResponseCheck.h>
#include <netkit/util/ErrorTranslation.h>

#include <orix/ErrorCodes.h>

namespace Orix::Utility {

std::uint32_t checkHttpAnswer(const LoggerOwner& owner, const boost::system::error_code& error,
                              const std::string& body, const http::HttpResponse& response,
                              const std::string& uri)
{
    if (error) {
        ORIX_LOG(owner, LogError, " HTTP request is finished with error: " << error.value()
                                      << ", message: " << error.message() << ", request: " << uri);
        return translateSystemError(error);
    }
    if (!isSuccessStatus(response.status)) {
        ORIX_LOG(owner, LogError, " HTTP response has error code: " << response.status
                                      << ", reason: " << response.reason << ", request: " << uri);
        return translateResponseError(response);
    }
    if (body.empty()) {
        ORIX_LOG(owner, LogError, " HTTP responce is empty, request: " << uri);
        return GenericFailure;
    }
    return Ok;
}

} // namespace Orix::Utility

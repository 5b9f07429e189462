#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>

#include <boost/asio/io_context.hpp>

namespace Orix::http {

boost::system::error_code syncHttpGet(asio::ConnectionInfoPtr info, const std::string& uri,
                                      ILogger* logger, std::string& body, const Headers& headers,
                                      bool checkStatus, Timeout timeout)
{
    const LoggerOwner log(LoggerDetail::borrowLogger(logger));
    const std::string where = info ? info->display() : std::string("(no camera)");

    boost::asio::io_context io;
    HttpRequest request;
    request.target = uri;
    request.headers = headers;
    boost::system::error_code result;
    unsigned status = 0;
    std::string reason;
    asyncGetEx(std::move(info), std::move(request), io, timeout,
               [&](const boost::system::error_code& ec, const std::string& answer,
                   const HttpResponse& response) {
                   result = ec;
                   body = answer;
                   status = response.status;
                   reason = response.reason;
               });
    io.run();

    if (result) {
        ORIX_LOG(log, LogError, " HTTP request is finished with error: " << result.value()
                                    << ", message: " << result.message() << ", request: " << where
                                    << uri);
        return result;
    }
    if (checkStatus && (status < 200 || status >= 300)) {
        ORIX_LOG(log, LogError, " HTTP response has error code: " << status << ", reason: " << reason
                                    << ", request: " << where << uri);
        if (status == 401)
            return error::unauthorized;
        if (status == 404)
            return error::notFound;
        return error::malformedResponse;
    }
    return {};
}

} // namespace Orix::http

#include <netkit/http/HttpError.h>
#include <string>

namespace Orix::http {
namespace {

class HttpCategory : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.http"; }

    std::string message(int value) const override
    {
        switch (static_cast<error>(value)) {
        case error::unauthorized: return "unauthorized";
        case error::notFound: return "not found";
        case error::timeout: return "no complete answer within the time-out";
        case error::cancelled: return "request cancelled";
        case error::responseTooLarge: return "response exceeds the size bound";
        case error::malformedResponse: return "malformed HTTP response";
        case error::unsupportedAuthScheme: return "no supported authentication scheme offered";
        case error::tlsHandshakeFailed: return "TLS handshake failed";
        case error::certificateRejected: return "server certificate rejected";
        case error::fingerprintMismatch: return "server certificate does not match the pinned fingerprint";
        case error::invalidRequest: return "invalid request or connection info";
        }
        return "unknown HTTP client error " + std::to_string(value);
    }
};

} // namespace

const boost::system::error_category& httpCategory()
{
    static const HttpCategory category;
    return category;
}

boost::system::error_code make_error_code(error e)
{
    return {static_cast<int>(e), httpCategory()};
}

} // namespace Orix::http

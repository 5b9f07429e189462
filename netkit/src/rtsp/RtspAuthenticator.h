#pragma once
// Authentication of one RTSP session's requests (RFC 2326 section 14 with
// RFC 7616 / 2617 Digest, or Basic): the credentials to add to each request
// once a challenge has been answered, and the decision what a 401 means.
#include <netkit/http/DigestAuth.h>
#include <netkit/rtsp/RtspMessage.h>

#include <boost/system/error_code.hpp>

#include <optional>
#include <string>

namespace Orix::Utility::rtsp {

class RtspAuthenticator {
public:
    // Answers to one request's challenges before giving up, as the HTTP client does.
    static constexpr unsigned kMaxRounds = 3;

    RtspAuthenticator() = default;
    RtspAuthenticator(std::string user, std::string password);

    // Whether requests carry credentials yet.
    bool answering() const { return session_.has_value(); }
    // The Authorization value for a request, once a challenge was chosen.
    std::optional<std::string> authorization(const std::string& method, const std::string& uri);

    // A 401 to a request that was sent `rounds` times after challenges
    // (`answered`: it carried credentials). No error: send it again (the new
    // challenge is taken). rtsp::error::unauthorized otherwise, with `reason`
    // saying why (no credentials, a scheme or algorithm we cannot answer,
    // credentials refused, endless stale nonces); it never holds the password.
    boost::system::error_code onUnauthorized(const RtspMessage& response, bool answered, unsigned rounds,
                                             std::string& reason);

    // Forget the chosen challenge (a redirect to another server).
    void reset() { session_.reset(); }

private:
    std::string user_;
    std::string password_;
    std::optional<http::DigestSession> session_;
};

} // namespace Orix::Utility::rtsp

#include "rtsp/RtspAuthenticator.h"

#include <netkit/rtsp/RtspError.h>

#include <vector>

namespace Orix::Utility::rtsp {
namespace {

// "Negotiate, Digest algorithm=SHA-512-256" for a log line.
std::string describeChallenges(const std::vector<http::AuthChallenge>& challenges)
{
    if (challenges.empty())
        return "no challenge";
    std::string out;
    for (const auto& c : challenges) {
        if (!out.empty())
            out += ", ";
        out += c.scheme;
        if (!c.algorithm.empty())
            out += " algorithm=" + c.algorithm;
    }
    return out;
}

} // namespace

RtspAuthenticator::RtspAuthenticator(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password))
{
}

std::optional<std::string> RtspAuthenticator::authorization(const std::string& method, const std::string& uri)
{
    if (!session_)
        return std::nullopt;
    return session_->authorization(user_, password_, method, uri);
}

boost::system::error_code RtspAuthenticator::onUnauthorized(const RtspMessage& response, bool answered,
                                                            unsigned rounds, std::string& reason)
{
    std::vector<http::AuthChallenge> challenges;
    for (const auto& value : response.findAll("WWW-Authenticate")) {
        auto parsed = http::parseChallenges(value);
        challenges.insert(challenges.end(), parsed.begin(), parsed.end());
    }
    if (user_.empty()) {
        reason = "needs credentials and none were given";
        return error::unauthorized;
    }
    const http::AuthChallenge* chosen = http::chooseChallenge(challenges);
    if (!chosen) {
        reason = "asks for authentication we cannot answer: " + describeChallenges(challenges);
        return error::unauthorized;
    }
    // A second 401 means the credentials are wrong, unless the server only
    // found the nonce stale (RFC 7616 section 3.3); a server that finds every
    // nonce stale gets a few answers, not an endless loop.
    if (answered && !chosen->stale) {
        reason = "refused the credentials of user '" + user_ + "'";
        return error::unauthorized;
    }
    if (rounds >= kMaxRounds) {
        reason = "challenged " + std::to_string(rounds + 1) + " times in a row (stale nonce each time); giving up";
        return error::unauthorized;
    }
    session_.emplace(*chosen);
    return {};
}

} // namespace Orix::Utility::rtsp

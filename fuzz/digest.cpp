// WWW-Authenticate challenges as HTTP servers and RTSP cameras send them, and
// the Authorization header answered to the one chosen.
//
// Input: the header value, '\0', the user name, '\0', the request URI.
//
// Checks: the chosen challenge is one we can answer; the Authorization header
// for it is one line, never holds the password, and reads back (through the
// same auth-param parser) with the user, realm, nonce, URI and opaque value
// the server gave; the nonce count advances by one per request with qop.
#include "FuzzSupport.h"

#include <netkit/http/DigestAuth.h>

using namespace Orix::http;

namespace {

const std::string kPassword = "pa55:W0rd!";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::string_view value = input.field();
    const std::string user(input.field());
    const std::string uri(input.rest());

    const auto challenges = parseChallenges(value);
    FUZZ_CHECK(challenges.size() <= value.size());
    for (const auto& c : challenges)
        FUZZ_CHECK(!c.scheme.empty());
    const AuthChallenge* chosen = chooseChallenge(challenges);
    if (!chosen)
        return 0;
    FUZZ_CHECK(chosen >= challenges.data() && chosen < challenges.data() + challenges.size());

    DigestSession session(*chosen);
    const std::string header = session.authorization(user, kPassword, "DESCRIBE", uri, std::string("0a4f113b"));
    if (session.isBasic()) {
        FUZZ_CHECK(header.rfind("Basic ", 0) == 0);
        std::string decoded;
        FUZZ_CHECK(base64Decode(header.substr(6), decoded));
        FUZZ_CHECK(decoded == user + ":" + kPassword);
        return 0;
    }

    const bool echoes = contains(chosen->realm, kPassword) || contains(chosen->nonce, kPassword) ||
                        contains(chosen->opaque, kPassword) || contains(user, kPassword) ||
                        contains(uri, kPassword);
    FUZZ_CHECK(echoes || !contains(header, kPassword));
    if (header.find_first_of("\r\n") != std::string::npos) {
        // Only what the server or the caller put there may break the line.
        FUZZ_CHECK((chosen->realm + chosen->nonce + chosen->opaque + user + uri).find_first_of("\r\n") !=
                   std::string::npos);
    }

    const auto echoed = parseChallenges(header);
    FUZZ_CHECK(echoed.size() == 1);
    const AuthChallenge& back = echoed.front();
    FUZZ_CHECK(back.scheme == "Digest");
    FUZZ_CHECK(back.realm == chosen->realm);
    FUZZ_CHECK(back.nonce == chosen->nonce);
    FUZZ_CHECK(back.opaque == chosen->opaque);
    FUZZ_CHECK(back.algorithm == chosen->algorithm);

    const std::uint32_t count = session.nonceCount();
    (void)session.authorization(user, kPassword, "PLAY", uri, std::string("0a4f113b"));
    FUZZ_CHECK(session.nonceCount() == count || session.nonceCount() == count + 1);
    return 0;
}

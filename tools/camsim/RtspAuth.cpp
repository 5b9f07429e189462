#include "RtspAuth.h"

#include "HttpMessage.h"
#include "RtspMessage.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cstdio>
#include <random>

namespace Camsim {

namespace {

std::string trimSpaces(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool sameSecret(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

RtspAuth::RtspAuth(Options options, Clock clock, NonceSource nonces)
    : options_(std::move(options)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })),
      nonceSource_(nonces ? std::move(nonces) : NonceSource(&RtspAuth::makeNonce))
{
}

std::string RtspAuth::makeNonce()
{
    unsigned char random[23];
    if (RAND_bytes(random, sizeof random) != 1) {
        std::random_device device;
        for (auto& b : random)
            b = static_cast<unsigned char>(device());
    }
    static const char digits[] = "0123456789abcdef";
    std::string nonce;
    for (int i = 0; i < 4; ++i) {
        nonce += digits[random[i] >> 4];
        nonce += digits[random[i] & 15];
    }
    nonce += 'Y';
    for (int i = 4; i < 23; ++i) {
        nonce += digits[random[i] >> 4];
        nonce += digits[random[i] & 15];
    }
    return nonce;
}

RtspAuth::Result RtspAuth::refuse(bool stale)
{
    Result r;
    const std::string realm = "realm=\"" + options_.realm + "\"";
    if (options_.mode != AuthMode::Basic) {
        const std::string nonce = nonceSource_();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (nonces_.emplace(nonce, clock_()).second)
                nonceOrder_.push_back(nonce);
            while (nonces_.size() > options_.maxNonces && !nonceOrder_.empty()) {
                nonces_.erase(nonceOrder_.front());
                nonceOrder_.pop_front();
            }
        }
        r.challenges.push_back("Digest " + realm + ", nonce=\"" + nonce + "\", stale=" + (stale ? "TRUE" : "FALSE"));
    }
    r.challenges.push_back("Basic " + realm);
    return r;
}

bool RtspAuth::checkBasic(const std::string& credentials) const
{
    Base64StreamDecoder decoder;
    std::string decoded;
    const std::string encoded = trimSpaces(credentials);
    if (encoded.empty() || encoded.size() > 1024 || encoded.size() % 4 != 0 ||
        !decoder.feed(encoded.data(), encoded.size(), decoded))
        return false;
    const auto colon = decoded.find(':');
    return colon != std::string::npos && decoded.substr(0, colon) == options_.user &&
           sameSecret(decoded.substr(colon + 1), options_.password);
}

RtspAuth::Result RtspAuth::check(const std::string& method, const std::string& authorization)
{
    if (options_.mode == AuthMode::None)
        return Result{true, {}};
    const std::string h = trimSpaces(authorization);
    if (h.size() > 6 && iequals(h.substr(0, 6), "Basic ")) {
        if (checkBasic(h.substr(6)))
            return Result{true, {}};
        return refuse(false);
    }
    if (options_.mode == AuthMode::Basic)
        return refuse(false);
    const auto p = parseDigestParams(h);
    if (!p)
        return refuse(false);
    auto get = [&p](const char* name) {
        const auto it = p->find(name);
        return it == p->end() ? std::string() : it->second;
    };
    const std::string algorithm = get("algorithm");
    if ((!algorithm.empty() && !iequals(algorithm, "MD5")) || get("username") != options_.user ||
        get("realm") != options_.realm || get("nonce").empty() || get("uri").empty())
        return refuse(false);

    const std::string ha1 = digestHex("MD5", options_.user + ":" + options_.realm + ":" + options_.password);
    const std::string ha2 = digestHex("MD5", method + ":" + get("uri"));
    // RFC 2069 form, as challenged; a client answering with qop anyway is
    // checked by the RFC 2617 form.
    const std::string expected =
        get("qop").empty()
            ? digestHex("MD5", ha1 + ":" + get("nonce") + ":" + ha2)
            : digestHex("MD5", ha1 + ":" + get("nonce") + ":" + get("nc") + ":" + get("cnonce") + ":" + get("qop") +
                                   ":" + ha2);
    if (!sameSecret(toLower(get("response")), expected))
        return refuse(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = nonces_.find(get("nonce"));
        if (it != nonces_.end() && clock_() - it->second <= options_.nonceLifetime)
            return Result{true, {}};
    }
    return refuse(true);
}

} // namespace Camsim

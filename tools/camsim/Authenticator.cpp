#include "Authenticator.h"

#include "HttpMessage.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <cstdlib>

namespace Camsim {

namespace {

constexpr unsigned kNcWindow = 64;

std::string hex(const unsigned char* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0f];
    }
    return out;
}

std::optional<std::string> base64Decode(const std::string& in)
{
    if (in.empty() || in.size() % 4 != 0 || in.size() > 4096)
        return std::nullopt;
    std::string out(in.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                  reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
    if (n < 0)
        return std::nullopt;
    std::size_t size = static_cast<std::size_t>(n);
    if (in[in.size() - 1] == '=')
        --size;
    if (in[in.size() - 2] == '=')
        --size;
    out.resize(size);
    return out;
}

bool sameSecret(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string trimSpaces(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::optional<std::uint64_t> parseNc(const std::string& nc)
{
    if (nc.size() != 8)
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : nc) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 16 + static_cast<std::uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                                    ? c - '0'
                                                    : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return v;
}

} // namespace

std::optional<AuthMode> parseAuthMode(const std::string& text)
{
    if (text == "digest-md5" || text == "digest")
        return AuthMode::DigestMd5;
    if (text == "digest-sha256")
        return AuthMode::DigestSha256;
    if (text == "basic")
        return AuthMode::Basic;
    if (text == "none")
        return AuthMode::None;
    return std::nullopt;
}

std::optional<std::map<std::string, std::string>> parseDigestParams(const std::string& header)
{
    const std::string h = trimSpaces(header);
    if (h.size() < 7 || !iequals(h.substr(0, 6), "Digest") || (h[6] != ' ' && h[6] != '\t'))
        return std::nullopt;
    std::map<std::string, std::string> params;
    std::size_t i = 7;
    while (i < h.size()) {
        while (i < h.size() && (h[i] == ' ' || h[i] == '\t' || h[i] == ','))
            ++i;
        if (i >= h.size())
            break;
        const auto eq = h.find('=', i);
        if (eq == std::string::npos)
            return std::nullopt;
        const std::string name = toLower(trimSpaces(h.substr(i, eq - i)));
        if (name.empty() || name.find_first_of(" \t,\"") != std::string::npos)
            return std::nullopt;
        i = eq + 1;
        while (i < h.size() && (h[i] == ' ' || h[i] == '\t'))
            ++i;
        std::string value;
        if (i < h.size() && h[i] == '"') {
            ++i;
            bool closed = false;
            while (i < h.size()) {
                const char c = h[i++];
                if (c == '\\' && i < h.size()) {
                    value += h[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed)
                return std::nullopt;
        } else {
            const auto end = h.find(',', i);
            value = trimSpaces(h.substr(i, end == std::string::npos ? std::string::npos : end - i));
            i = end == std::string::npos ? h.size() : end;
        }
        if (params.count(name))
            return std::nullopt;
        params[name] = value;
    }
    return params;
}

std::string digestHex(const std::string& algorithm, const std::string& text)
{
    const EVP_MD* md = iequals(algorithm, "SHA-256") ? EVP_sha256() : EVP_md5();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_Digest(text.data(), text.size(), out, &size, md, nullptr) != 1)
        return {};
    return hex(out, size);
}

Authenticator::Authenticator(Options options, Clock clock, NonceSource nonces)
    : options_(std::move(options)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })),
      nonceSource_(nonces ? std::move(nonces) : NonceSource(&Authenticator::makeNonce))
{
}

std::string Authenticator::makeNonce()
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    unsigned char stamp[8];
    for (int i = 0; i < 8; ++i)
        stamp[i] = static_cast<unsigned char>((static_cast<std::uint64_t>(micros) >> (8 * i)) & 0xff);
    unsigned char encoded[16] = {};
    EVP_EncodeBlock(encoded, stamp, sizeof stamp);
    unsigned char random[20];
    if (RAND_bytes(random, sizeof random) != 1) {
        for (auto& b : random)
            b = static_cast<unsigned char>(std::rand());
    }
    return std::string(reinterpret_cast<char*>(encoded)) + hex(random, sizeof random);
}

Authenticator::Result Authenticator::check(const std::string& method, const std::string& target,
                                           const std::string& authorization)
{
    switch (options_.mode) {
    case AuthMode::None:
        return Result{true, false, {}, {}};
    case AuthMode::Basic:
        return checkBasic(authorization);
    case AuthMode::DigestMd5:
    case AuthMode::DigestSha256:
        return checkDigest(method, target, authorization);
    }
    return refuse(false, "unknown mode");
}

Authenticator::Result Authenticator::refuse(bool stale, std::string reason)
{
    Result r;
    r.stale = stale;
    r.reason = std::move(reason);
    const std::string realm = "realm=\"" + options_.realm + "\"";
    if (options_.mode == AuthMode::Basic) {
        r.challenges.push_back("Basic " + realm);
        return r;
    }
    std::string nonce = nonceSource_();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (nonces_.emplace(nonce, NonceState{clock_(), 0, 0, 0}).second)
            nonceOrder_.push_back(nonce);
        while (nonces_.size() > options_.maxNonces && !nonceOrder_.empty()) {
            nonces_.erase(nonceOrder_.front());
            nonceOrder_.pop_front();
        }
    }
    const std::string tail = std::string(", qop=\"auth\"") + (stale ? ", stale=true" : "");
    const std::string head = "Digest " + realm + ", nonce=\"" + nonce + "\"";
    if (options_.mode == AuthMode::DigestSha256)
        r.challenges.push_back(head + ", algorithm=SHA-256" + tail);
    r.challenges.push_back(head + ", algorithm=MD5" + tail);
    return r;
}

Authenticator::Result Authenticator::checkBasic(const std::string& authorization)
{
    const std::string h = trimSpaces(authorization);
    if (h.empty())
        return refuse(false, "no credentials");
    if (h.size() < 7 || !iequals(h.substr(0, 6), "Basic ") )
        return refuse(false, "not Basic credentials");
    const auto decoded = base64Decode(trimSpaces(h.substr(6)));
    if (!decoded)
        return refuse(false, "malformed Basic credentials");
    const auto colon = decoded->find(':');
    if (colon == std::string::npos)
        return refuse(false, "malformed Basic credentials");
    if (decoded->substr(0, colon) != options_.user ||
        !sameSecret(decoded->substr(colon + 1), options_.password))
        return refuse(false, "wrong user or password");
    return Result{true, false, {}, {}};
}

Authenticator::Result Authenticator::checkDigest(const std::string& method, const std::string& target,
                                                 const std::string& authorization)
{
    if (trimSpaces(authorization).empty())
        return refuse(false, "no credentials");
    const auto p = parseDigestParams(authorization);
    if (!p)
        return refuse(false, "not Digest credentials");
    auto get = [&p](const char* name) {
        const auto it = p->find(name);
        return it == p->end() ? std::string() : it->second;
    };
    const std::string algorithm = get("algorithm").empty() ? "MD5" : get("algorithm");
    const bool md5 = iequals(algorithm, "MD5");
    const bool sha256 = iequals(algorithm, "SHA-256") && options_.mode == AuthMode::DigestSha256;
    if (!md5 && !sha256)
        return refuse(false, "algorithm " + algorithm + " not offered");
    if (get("username") != options_.user)
        return refuse(false, "wrong user or password");
    if (get("realm") != options_.realm)
        return refuse(false, "wrong realm");
    if (get("uri") != target)
        return refuse(false, "uri does not match the request");
    // Without qop the answer has the RFC 2069 form (no nc, no cnonce). Axis
    // firmware accepts it, and GStreamer sends it on the RTSP-over-HTTP tunnel.
    const bool rfc2069 = get("qop").empty();
    if (!rfc2069 && get("qop") != "auth")
        return refuse(false, "qop must be auth");
    const auto nc = rfc2069 ? std::optional<std::uint64_t>() : parseNc(get("nc"));
    const std::string cnonce = get("cnonce");
    const std::string nonce = get("nonce");
    if ((!rfc2069 && (!nc || cnonce.empty())) || nonce.empty())
        return refuse(false, "incomplete Digest credentials");

    const std::string ha1 = digestHex(algorithm, options_.user + ":" + options_.realm + ":" + options_.password);
    const std::string ha2 = digestHex(algorithm, method + ":" + get("uri"));
    const std::string expected =
        rfc2069 ? digestHex(algorithm, ha1 + ":" + nonce + ":" + ha2)
                : digestHex(algorithm, ha1 + ":" + nonce + ":" + get("nc") + ":" + cnonce + ":auth:" + ha2);
    if (!sameSecret(toLower(get("response")), expected))
        return refuse(false, "wrong user or password");

    enum class Verdict { Accepted, Unknown, Expired, Replayed };
    Verdict verdict = Verdict::Accepted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = nonces_.find(nonce);
        if (it == nonces_.end()) {
            verdict = Verdict::Unknown;
        } else if (clock_() - it->second.issued > options_.nonceLifetime ||
                   it->second.uses >= options_.maxNonceUses) {
            verdict = Verdict::Expired;
        } else if (nc && !acceptNc(it->second, *nc)) {
            verdict = Verdict::Replayed;
        } else {
            ++it->second.uses;
        }
    }
    switch (verdict) {
    case Verdict::Accepted:
        return Result{true, false, {}, {}};
    case Verdict::Unknown:
        // A correct answer on a nonce we no longer know (evicted, or issued
        // before a restart): the client only needs a fresh nonce.
        return refuse(true, "unknown nonce");
    case Verdict::Expired:
        return refuse(true, "nonce expired");
    case Verdict::Replayed:
        return refuse(false, "nonce count replayed");
    }
    return refuse(false, "unreachable");
}

bool Authenticator::acceptNc(NonceState& state, std::uint64_t nc)
{
    if (nc == 0)
        return false;
    if (nc > state.highestNc) {
        const std::uint64_t shift = nc - state.highestNc;
        if (state.highestNc == 0)
            state.seenBelow = 0;
        else if (shift > kNcWindow)
            state.seenBelow = 0;
        else if (shift == kNcWindow)
            state.seenBelow = std::uint64_t{1} << (kNcWindow - 1);
        else
            state.seenBelow = (state.seenBelow << shift) | (std::uint64_t{1} << (shift - 1));
        state.highestNc = nc;
        return true;
    }
    if (nc == state.highestNc)
        return false;
    const std::uint64_t back = state.highestNc - 1 - nc;
    if (back >= kNcWindow)
        return false;
    const std::uint64_t bit = std::uint64_t{1} << back;
    if (state.seenBelow & bit)
        return false;
    state.seenBelow |= bit;
    return true;
}

} // namespace Camsim

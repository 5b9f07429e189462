#include <netkit/http/DigestAuth.h>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <netkit/util/TextUtil.h>

namespace Orix::http {
namespace {

using Orix::Utility::text::iequals;

bool iendsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && iequals(text.substr(text.size() - suffix.size()), suffix);
}

// tchar of RFC 7230 section 3.2.6.
bool isTokenChar(char c)
{
    if (std::isalnum(static_cast<unsigned char>(c)))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// A cursor over one header value. Every read either advances or reports
// failure; nothing throws.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    std::size_t position() const { return pos_; }
    void reset(std::size_t pos) { pos_ = pos; }

    void skipSpaces()
    {
        while (!atEnd() && isSpace(text_[pos_]))
            ++pos_;
    }
    void skipSpacesAndCommas()
    {
        while (!atEnd() && (isSpace(text_[pos_]) || text_[pos_] == ','))
            ++pos_;
    }
    std::string_view token()
    {
        const std::size_t start = pos_;
        while (!atEnd() && isTokenChar(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    // token68: base64-like characters followed by "=" padding.
    std::string_view token68()
    {
        const std::size_t start = pos_;
        while (!atEnd() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                            std::string_view("-._~+/").find(text_[pos_]) != std::string_view::npos))
            ++pos_;
        if (pos_ == start)
            return {};
        while (!atEnd() && text_[pos_] == '=')
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    // quoted-string of RFC 7230 section 3.2.6 with quoted-pair escapes.
    bool quoted(std::string& out)
    {
        if (peek() != '"')
            return false;
        ++pos_;
        out.clear();
        while (!atEnd()) {
            const char c = text_[pos_++];
            if (c == '"')
                return true;
            if (c == '\\') {
                if (atEnd())
                    return false;
                out += text_[pos_++];
            } else {
                out += c;
            }
        }
        return false;
    }
    // Skips to the next comma outside a quoted string (the end of a broken
    // parameter).
    void skipBrokenPart()
    {
        bool inQuotes = false;
        while (!atEnd()) {
            const char c = text_[pos_];
            if (inQuotes && c == '\\') {
                pos_ += 2;
                continue;
            }
            if (c == '"')
                inQuotes = !inQuotes;
            else if (c == ',' && !inQuotes)
                return;
            ++pos_;
        }
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::vector<std::string> splitList(std::string_view text)
{
    std::vector<std::string> items;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto item = trim(text.substr(0, comma));
        if (!item.empty())
            items.emplace_back(item);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return items;
}

void applyParameter(AuthChallenge& challenge, std::string_view name, std::string value)
{
    if (iequals(name, "realm"))
        challenge.realm = std::move(value);
    else if (iequals(name, "nonce"))
        challenge.nonce = std::move(value);
    else if (iequals(name, "opaque"))
        challenge.opaque = std::move(value);
    else if (iequals(name, "algorithm"))
        challenge.algorithm = std::move(value);
    else if (iequals(name, "qop"))
        challenge.qop = splitList(value);
    else if (iequals(name, "stale"))
        challenge.stale = iequals(value, "true");
    else if (iequals(name, "userhash"))
        challenge.userhash = iequals(value, "true");
}

const EVP_MD* digestByName(std::string_view algorithm)
{
    if (iendsWith(algorithm, "-sess"))
        algorithm.remove_suffix(5);
    if (algorithm.empty() || iequals(algorithm, "MD5"))
        return EVP_md5();
    if (iequals(algorithm, "SHA-256"))
        return EVP_sha256();
    return nullptr;
}

std::string toHex(const unsigned char* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 0x0f];
    }
    return hex;
}

std::string quote(std::string_view value)
{
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string randomCnonce()
{
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        // The generator only fails without entropy; a cnonce still has to be
        // unique per nonce count, which the address and counter give.
        static std::uint64_t fallback = 0;
        const auto value = reinterpret_cast<std::uintptr_t>(&bytes) + ++fallback;
        for (std::size_t i = 0; i < sizeof(value); ++i)
            bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
    return toHex(bytes.data(), bytes.size());
}

int rank(const AuthChallenge& challenge)
{
    if (iequals(challenge.scheme, "Basic"))
        return 1;
    if (!iequals(challenge.scheme, "Digest") || challenge.nonce.empty())
        return 0;
    if (!challenge.qop.empty()) {
        bool auth = false;
        for (const auto& q : challenge.qop)
            auth = auth || iequals(q, "auth");
        if (!auth)
            return 0; // auth-int only: the body hash is not supported
    }
    std::string_view algorithm = challenge.algorithm;
    if (iendsWith(algorithm, "-sess"))
        algorithm.remove_suffix(5);
    if (iequals(algorithm, "SHA-256"))
        return 3;
    if (algorithm.empty() || iequals(algorithm, "MD5"))
        return 2;
    return 0;
}

} // namespace

std::vector<AuthChallenge> parseChallenges(std::string_view headerValue)
{
    // RFC 7235 section 4.1: a list of challenges, each a scheme followed by
    // either a token68 or comma-separated auth-params. A token followed by
    // "=" continues the current challenge; any other token starts a new one.
    std::vector<AuthChallenge> challenges;
    Scanner in(headerValue);
    bool haveCurrent = false;
    while (true) {
        in.skipSpacesAndCommas();
        if (in.atEnd())
            break;
        const std::size_t start = in.position();
        const std::string_view name = in.token();
        if (name.empty()) {
            in.skipBrokenPart();
            if (in.position() == start)
                in.reset(start + 1);
            continue;
        }
        in.skipSpaces();
        if (in.peek() == '=' && haveCurrent) {
            in.reset(in.position() + 1);
            in.skipSpaces();
            std::string value;
            if (in.peek() == '"') {
                if (!in.quoted(value)) {
                    in.skipBrokenPart();
                    continue;
                }
            } else {
                value = std::string(in.token());
            }
            in.skipSpaces();
            if (!in.atEnd() && in.peek() != ',') {
                in.skipBrokenPart();
                continue;
            }
            applyParameter(challenges.back(), name, std::move(value));
            continue;
        }
        if (in.peek() == '=') {
            // A parameter with no scheme in front of it.
            in.skipBrokenPart();
            continue;
        }
        AuthChallenge challenge;
        challenge.scheme = std::string(name);
        challenges.push_back(std::move(challenge));
        haveCurrent = true;
        // token68 (RFC 7235 section 2.1), e.g. "Negotiate YIIB/w==": skipped.
        const std::size_t afterScheme = in.position();
        if (!in.token68().empty()) {
            in.skipSpaces();
            if (in.atEnd() || in.peek() == ',')
                continue;
        }
        in.reset(afterScheme);
    }
    return challenges;
}

const AuthChallenge* chooseChallenge(const std::vector<AuthChallenge>& challenges)
{
    const AuthChallenge* best = nullptr;
    int bestRank = 0;
    for (const auto& challenge : challenges) {
        const int r = rank(challenge);
        if (r > bestRank) {
            best = &challenge;
            bestRank = r;
        }
    }
    return best;
}

DigestSession::DigestSession(AuthChallenge challenge) : challenge_(std::move(challenge)) {}

bool DigestSession::isBasic() const { return iequals(challenge_.scheme, "Basic"); }

std::string DigestSession::authorization(const std::string& user, const std::string& password,
                                         std::string_view method, std::string_view uri,
                                         std::optional<std::string> cnonce)
{
    if (isBasic())
        return "Basic " + base64Encode(user + ":" + password);

    const std::string& algorithm = challenge_.algorithm;
    const std::string& nonce = challenge_.nonce;
    const bool sess = iendsWith(algorithm, "-sess");
    bool qopAuth = false;
    for (const auto& q : challenge_.qop)
        qopAuth = qopAuth || iequals(q, "auth");
    if (!cnonce)
        cnonce = randomCnonce();

    // RFC 7616 section 3.4.2 (A1, -sess) and 3.4.3 (A2 for qop=auth).
    std::string ha1 = digestHex(algorithm, user + ":" + challenge_.realm + ":" + password);
    if (sess)
        ha1 = digestHex(algorithm, ha1 + ":" + nonce + ":" + *cnonce);
    std::string a2 = std::string(method) + ":" + std::string(uri);
    const std::string ha2 = digestHex(algorithm, a2);

    std::string response;
    char nc[9] = {};
    if (qopAuth) {
        ++nc_;
        std::snprintf(nc, sizeof nc, "%08x", static_cast<unsigned>(nc_));
        response = digestHex(algorithm, ha1 + ":" + nonce + ":" + nc + ":" + *cnonce + ":auth:" + ha2);
    } else {
        // RFC 2069 form, still sent by RTSP servers and old cameras.
        response = digestHex(algorithm, ha1 + ":" + nonce + ":" + ha2);
    }

    std::string username = user;
    if (challenge_.userhash)
        username = digestHex(algorithm, user + ":" + challenge_.realm);

    std::string header = "Digest username=" + quote(username);
    header += ", realm=" + quote(challenge_.realm);
    header += ", nonce=" + quote(nonce);
    header += ", uri=" + quote(uri);
    if (!algorithm.empty())
        header += ", algorithm=" + algorithm;
    header += ", response=" + quote(response);
    if (!challenge_.opaque.empty())
        header += ", opaque=" + quote(challenge_.opaque);
    if (qopAuth) {
        header += ", qop=auth, nc=";
        header += nc;
        header += ", cnonce=" + quote(*cnonce);
    } else if (sess) {
        header += ", cnonce=" + quote(*cnonce);
    }
    if (challenge_.userhash)
        header += ", userhash=true";
    return header;
}

std::string digestHex(std::string_view algorithm, std::string_view text)
{
    const EVP_MD* md = digestByName(algorithm);
    if (!md)
        return {};
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), out, &size, md, nullptr) != 1)
        return {};
    return toHex(out, size);
}


} // namespace Orix::http

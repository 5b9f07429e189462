// HTTP authentication as an Axis camera does it: RFC known answers, the
// challenge layout, and the refusals (wrong answer, replay, stale nonce).
#include "Authenticator.h"

#include <gtest/gtest.h>

#include <regex>

using Camsim::AuthMode;
using Camsim::Authenticator;

namespace {

// RFC 7616 §3.9.1: user Mufasa, password "Circle of Life".
const char* const kRfc7616Nonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
const char* const kMd5Response = "8ca523f5e9506fed4657c9700eebdbec";
const char* const kSha256Response = "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1";

struct Harness {
    explicit Harness(AuthMode mode, std::string realm = "http-auth@example.org",
                     std::string password = "Circle of Life", std::string nonce = kRfc7616Nonce)
        : auth(options(mode, std::move(realm), std::move(password)), [this] { return now; },
               [nonce] { return nonce; })
    {
    }

    static Authenticator::Options options(AuthMode mode, std::string realm, std::string password)
    {
        Authenticator::Options o;
        o.mode = mode;
        o.user = "Mufasa";
        o.password = std::move(password);
        o.realm = std::move(realm);
        o.nonceLifetime = std::chrono::seconds(300);
        o.maxNonceUses = 100;
        return o;
    }

    // Issues the nonce: the first request of every client carries no credentials.
    Authenticator::Result challenge() { return auth.check("GET", "/dir/index.html", ""); }

    std::chrono::steady_clock::time_point now{};
    Authenticator auth;
};

std::string rfc7616Header(const char* algorithm, const char* response)
{
    return std::string("Digest username=\"Mufasa\", realm=\"http-auth@example.org\", uri=\"/dir/index.html\", "
                       "algorithm=") +
           algorithm + ", nonce=\"" + kRfc7616Nonce +
           "\", nc=00000001, cnonce=\"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ\", qop=auth, response=\"" +
           response + "\", opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
}

} // namespace

TEST(Authenticator, DigestKnownAnswersFromTheRfcs)
{
    {
        // RFC 2617 §3.5, password "Circle Of Life".
        Harness h(AuthMode::DigestMd5, "testrealm@host.com", "Circle Of Life", "dcd98b7102dd2f0e8b11d0f600bfb0c093");
        h.challenge();
        const auto r = h.auth.check(
            "GET", "/dir/index.html",
            "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
            "uri=\"/dir/index.html\", qop=auth, nc=00000001, cnonce=\"0a4f113b\", "
            "response=\"6629fae49393a05397450978507c4ef1\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
        EXPECT_TRUE(r.accepted) << r.reason;
    }
    // RFC 2069 §2.4 (no qop), with the corrected response for "CircleOfLife".
    {
        Harness h(AuthMode::DigestMd5, "testrealm@host.com", "CircleOfLife", "dcd98b7102dd2f0e8b11d0f600bfb0c093");
        h.challenge();
        const auto r = h.auth.check(
            "GET", "/dir/index.html",
            "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
            "uri=\"/dir/index.html\", response=\"1949323746fe6a43ef61f9606e7febea\", "
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
        EXPECT_TRUE(r.accepted) << r.reason;
    }
    // RFC 7616 §3.9.1, MD5 and SHA-256.
    {
        Harness h(AuthMode::DigestMd5);
        h.challenge();
        const auto r = h.auth.check("GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response));
        EXPECT_TRUE(r.accepted) << r.reason;
    }
    {
        Harness h(AuthMode::DigestSha256);
        h.challenge();
        const auto r = h.auth.check("GET", "/dir/index.html", rfc7616Header("SHA-256", kSha256Response));
        EXPECT_TRUE(r.accepted) << r.reason;
    }
}

TEST(Authenticator, ChallengesLookLikeAnAxisCamera)
{
    Authenticator::Options o;
    o.realm = "AXIS_ACCC12345678";
    o.mode = AuthMode::DigestMd5;
    auto r = Authenticator(o).check("GET", "/axis-cgi/param.cgi", "");
    EXPECT_FALSE(r.accepted);
    ASSERT_EQ(r.challenges.size(), 1u);
    // Apache-style nonce: base64 of an 8-byte stamp, then 40 hex digits.
    EXPECT_TRUE(std::regex_match(
        r.challenges[0],
        std::regex(R"(Digest realm="AXIS_ACCC12345678", nonce="[A-Za-z0-9+/]{11}=[0-9a-f]{40}", algorithm=MD5, qop="auth")")))
        << r.challenges[0];

    o.mode = AuthMode::DigestSha256;
    r = Authenticator(o).check("GET", "/axis-cgi/param.cgi", "");
    ASSERT_EQ(r.challenges.size(), 2u);
    EXPECT_NE(r.challenges[0].find(", algorithm=SHA-256, qop=\"auth\""), std::string::npos);
    EXPECT_NE(r.challenges[1].find(", algorithm=MD5, qop=\"auth\""), std::string::npos);

    o.mode = AuthMode::Basic;
    r = Authenticator(o).check("GET", "/axis-cgi/param.cgi", "");
    EXPECT_EQ(r.challenges, (std::vector<std::string>{"Basic realm=\"AXIS_ACCC12345678\""}));
}

TEST(Authenticator, Refusals)
{
    const struct {
        const char* name;
        AuthMode mode;
        std::string method;
        std::string target;
        std::string header;
        bool stale;
        int secondsLater = 0;
        bool replay = false; // the same header was accepted once before
    } cases[] = {
        {"wrong password", AuthMode::DigestMd5, "GET", "/dir/index.html",
         rfc7616Header("MD5", "00000000000000000000000000000000"), false},
        {"other method than signed", AuthMode::DigestMd5, "POST", "/dir/index.html", rfc7616Header("MD5", kMd5Response),
         false},
        {"uri not the request target", AuthMode::DigestMd5, "GET", "/dir/index.html?x=1",
         rfc7616Header("MD5", kMd5Response), false},
        {"SHA-256 not offered", AuthMode::DigestMd5, "GET", "/dir/index.html",
         rfc7616Header("SHA-256", kSha256Response), false},
        {"Basic sent to a Digest camera", AuthMode::DigestMd5, "GET", "/dir/index.html",
         "Basic TXVmYXNhOkNpcmNsZSBvZiBMaWZl", false},
        {"unterminated quote", AuthMode::DigestMd5, "GET", "/dir/index.html", "Digest username=\"Mufasa, realm=\"x",
         false},
        {"nonce count replayed", AuthMode::DigestMd5, "GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response),
         false, 0, true},
        {"nonce expired", AuthMode::DigestMd5, "GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response), true,
         301},
        {"Basic with a wrong password", AuthMode::Basic, "GET", "/dir/index.html", "Basic TXVmYXNhOndyb25n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.mode);
        h.challenge();
        if (c.replay) {
            ASSERT_TRUE(h.auth.check(c.method, c.target, c.header).accepted);
        }
        h.now += std::chrono::seconds(c.secondsLater);
        const auto r = h.auth.check(c.method, c.target, c.header);
        EXPECT_FALSE(r.accepted);
        EXPECT_EQ(r.stale, c.stale);
        ASSERT_FALSE(r.challenges.empty());
        EXPECT_EQ(r.challenges.back().find(", qop=\"auth\", stale=true") != std::string::npos, c.stale);
    }
    // A right answer on a nonce this camera never issued (a restart in between) is only stale.
    Harness restarted(AuthMode::DigestMd5);
    EXPECT_TRUE(restarted.auth.check("GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response)).stale);
    Harness basic(AuthMode::Basic);
    EXPECT_TRUE(basic.auth.check("GET", "/", "basic TXVmYXNhOkNpcmNsZSBvZiBMaWZl").accepted);
}

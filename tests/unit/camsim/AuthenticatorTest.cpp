#include "Authenticator.h"

#include <gtest/gtest.h>

#include <regex>

using Camsim::AuthMode;
using Camsim::Authenticator;

namespace {

using Clock = std::chrono::steady_clock;

// RFC 7616 §3.9.1: user Mufasa, password "Circle of Life".
const char* const kRfc7616Nonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
const char* const kRfc7616Cnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";

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

    Clock::time_point now{};
    Authenticator auth;
};

std::string rfc7616Header(const char* algorithm, const char* response, const char* nc = "00000001")
{
    return std::string("Digest username=\"Mufasa\", realm=\"http-auth@example.org\", uri=\"/dir/index.html\", "
                       "algorithm=") +
           algorithm + ", nonce=\"" + kRfc7616Nonce + "\", nc=" + nc + ", cnonce=\"" + kRfc7616Cnonce +
           "\", qop=auth, response=\"" + response + "\", opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
}

const char* const kMd5Response = "8ca523f5e9506fed4657c9700eebdbec";
const char* const kSha256Response = "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1";

} // namespace

TEST(Authenticator, DigestKnownAnswersFromTheRfcs)
{
    // RFC 2617 §3.5, password "Circle Of Life".
    {
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
    EXPECT_EQ(Camsim::digestHex("MD5", ""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Camsim::digestHex("SHA-256", "abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Authenticator, ChallengesLookLikeAnAxisCamera)
{
    Authenticator::Options o;
    o.realm = "AXIS_ACCC12345678";
    o.mode = AuthMode::DigestMd5;
    Authenticator md5(o);
    auto r = md5.check("GET", "/axis-cgi/param.cgi", "");
    EXPECT_FALSE(r.accepted);
    ASSERT_EQ(r.challenges.size(), 1u);
    // Apache-style nonce: base64 of an 8-byte stamp, then 40 hex digits.
    EXPECT_TRUE(std::regex_match(
        r.challenges[0],
        std::regex(R"(Digest realm="AXIS_ACCC12345678", nonce="[A-Za-z0-9+/]{11}=[0-9a-f]{40}", algorithm=MD5, qop="auth")")))
        << r.challenges[0];

    o.mode = AuthMode::DigestSha256;
    Authenticator sha(o);
    r = sha.check("GET", "/axis-cgi/param.cgi", "");
    ASSERT_EQ(r.challenges.size(), 2u);
    EXPECT_NE(r.challenges[0].find(", algorithm=SHA-256, qop=\"auth\""), std::string::npos);
    EXPECT_NE(r.challenges[1].find(", algorithm=MD5, qop=\"auth\""), std::string::npos);

    o.mode = AuthMode::Basic;
    Authenticator basic(o);
    r = basic.check("GET", "/axis-cgi/param.cgi", "");
    EXPECT_EQ(r.challenges, (std::vector<std::string>{"Basic realm=\"AXIS_ACCC12345678\""}));
}

TEST(Authenticator, DigestRefusals)
{
    const struct {
        const char* name;
        AuthMode mode;
        std::string method;
        std::string target;
        std::string header;
        bool stale;
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
        {"unterminated quote", AuthMode::DigestMd5, "GET", "/dir/index.html",
         "Digest username=\"Mufasa, realm=\"x", false},
        {"no nc", AuthMode::DigestMd5, "GET", "/dir/index.html",
         "Digest username=\"Mufasa\", realm=\"http-auth@example.org\", uri=\"/dir/index.html\", nonce=\"" +
             std::string(kRfc7616Nonce) + "\", cnonce=\"x\", qop=auth, response=\"" + kMd5Response + "\"",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.mode);
        h.challenge();
        const auto r = h.auth.check(c.method, c.target, c.header);
        EXPECT_FALSE(r.accepted);
        EXPECT_EQ(r.stale, c.stale);
        ASSERT_FALSE(r.challenges.empty());
        EXPECT_EQ(r.challenges.back().find("stale=true") != std::string::npos, c.stale);
    }
}

TEST(Authenticator, NonceCountsCannotBeReplayed)
{
    Harness h(AuthMode::DigestMd5);
    h.challenge();
    // nc 1 is the RFC answer; a second use of nc 1 is a replay.
    EXPECT_TRUE(h.auth.check("GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response)).accepted);
    const auto replay = h.auth.check("GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response));
    EXPECT_FALSE(replay.accepted);
    EXPECT_FALSE(replay.stale);
    EXPECT_EQ(replay.reason, "nonce count replayed");
}

TEST(Authenticator, OldOrUnknownNoncesAreStale)
{
    {
        Harness h(AuthMode::DigestMd5);
        h.challenge();
        h.now += std::chrono::seconds(301);
        const auto r = h.auth.check("GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response));
        EXPECT_FALSE(r.accepted);
        EXPECT_TRUE(r.stale);
        EXPECT_NE(r.challenges[0].find(", qop=\"auth\", stale=true"), std::string::npos) << r.challenges[0];
    }
    {
        // A correct answer on a nonce this camera never issued (e.g. before
        // a restart): the password is right, only the nonce is stale.
        Harness h(AuthMode::DigestMd5);
        const auto r = h.auth.check("GET", "/dir/index.html", rfc7616Header("MD5", kMd5Response));
        EXPECT_FALSE(r.accepted);
        EXPECT_TRUE(r.stale);
    }
}

TEST(Authenticator, NcWindowAcceptsReorderedRequestsOnce)
{
    // Requests sent in parallel on one nonce may arrive out of order; each
    // nc is still good once. Checked through the same nonce with nc 3, 2, 3.
    Harness h(AuthMode::DigestMd5);
    h.challenge();
    auto header = [](const char* nc) {
        const std::string ha1 = Camsim::digestHex("MD5", "Mufasa:http-auth@example.org:Circle of Life");
        const std::string ha2 = Camsim::digestHex("MD5", "GET:/dir/index.html");
        const std::string response =
            Camsim::digestHex("MD5", ha1 + ":" + kRfc7616Nonce + ":" + nc + ":" + kRfc7616Cnonce + ":auth:" + ha2);
        return rfc7616Header("MD5", response.c_str(), nc);
    };
    EXPECT_TRUE(h.auth.check("GET", "/dir/index.html", header("00000003")).accepted);
    EXPECT_TRUE(h.auth.check("GET", "/dir/index.html", header("00000002")).accepted);
    EXPECT_FALSE(h.auth.check("GET", "/dir/index.html", header("00000002")).accepted);
    EXPECT_FALSE(h.auth.check("GET", "/dir/index.html", header("00000003")).accepted);
    EXPECT_TRUE(h.auth.check("GET", "/dir/index.html", header("00000001")).accepted);
    EXPECT_FALSE(h.auth.check("GET", "/dir/index.html", header("00000000")).accepted);
}

TEST(Authenticator, BasicCredentials)
{
    const struct {
        const char* name;
        const char* header;
        bool accepted;
    } cases[] = {
        {"root:pass", "Basic cm9vdDpwYXNz", true},
        {"scheme in lower case", "basic cm9vdDpwYXNz", true},
        {"root:wrong", "Basic cm9vdDp3cm9uZw==", false},
        {"admin:pass", "Basic YWRtaW46cGFzcw==", false},
        {"no colon", "Basic cm9vdA==", false},
        {"not base64", "Basic !!!!", false},
        {"empty", "", false},
        {"digest instead", "Digest username=\"root\"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Authenticator::Options o;
        o.mode = AuthMode::Basic;
        o.realm = "AXIS_00408C923E54";
        Authenticator auth(o);
        EXPECT_EQ(auth.check("GET", "/axis-cgi/param.cgi", c.header).accepted, c.accepted);
    }
}

TEST(Authenticator, DigestParamsWithQuotedCommasAndEscapes)
{
    const auto p = Camsim::parseDigestParams(
        R"(Digest username="root", realm="AXIS_ACCC8EB3494E", nonce="PNHWZB6nBQA=316099a140230c2db387fc75ee1c8ae838a750d8", uri="/axis-cgi/com/ptz.cgi?camera=1&continuouspantiltmove=-49,0", response="x", algorithm=MD5, cnonce="17b7311e0c27a979", qop=auth, nc=00000003, opaque="a\"b")");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->at("uri"), "/axis-cgi/com/ptz.cgi?camera=1&continuouspantiltmove=-49,0");
    EXPECT_EQ(p->at("nonce"), "PNHWZB6nBQA=316099a140230c2db387fc75ee1c8ae838a750d8");
    EXPECT_EQ(p->at("qop"), "auth");
    EXPECT_EQ(p->at("nc"), "00000003");
    EXPECT_EQ(p->at("opaque"), "a\"b");
    for (const char* bad : {"Digest", "Basic realm=\"x\"", "Digest a=\"1\", a=\"2\"", "Digest novalue",
                            "Digest x=\"open"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(Camsim::parseDigestParams(bad));
    }
}

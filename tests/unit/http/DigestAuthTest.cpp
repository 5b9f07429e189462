#include <netkit/http/DigestAuth.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <tuple>

using namespace Orix::http;

namespace {

// The parameters of an Authorization header, read with a pattern of the
// test's own so that the header is checked independently of the builder.
std::map<std::string, std::string> authParams(const std::string& header)
{
    std::map<std::string, std::string> params;
    static const std::regex param(R"re(([A-Za-z-]+)=("((?:[^"\\]|\\.)*)"|[^,\s]*))re");
    for (auto it = std::sregex_iterator(header.begin(), header.end(), param);
         it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        params[m[1]] = m[3].matched ? std::string(m[3]) : std::string(m[2]);
    }
    return params;
}

// RFC 7616 section 3.9.1.
const char* const kRfc7616Nonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
const char* const kRfc7616Opaque = "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS";
const char* const kRfc7616Cnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";

std::string rfc7616Challenge(const std::string& algorithm)
{
    return "Digest realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=" + algorithm +
           ", nonce=\"" + kRfc7616Nonce + "\", opaque=\"" + kRfc7616Opaque + "\"";
}

} // namespace

TEST(DigestSession, KnownAnswersFromTheRfcs)
{
    const std::string rfc2617 = "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                                "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
    const struct {
        const char* name;
        std::string challenge;
        const char* password;
        const char* cnonce;
        const char* response;
        const char* qop; // expected qop parameter, "" when absent
        const char* nc;
    } cases[] = {
        {"RFC 7616 3.9.1 MD5", rfc7616Challenge("MD5"), "Circle of Life", kRfc7616Cnonce, "8ca523f5e9506fed4657c9700eebdbec",
         "auth", "00000001"},
        {"RFC 7616 3.9.1 SHA-256", rfc7616Challenge("SHA-256"), "Circle of Life", kRfc7616Cnonce,
         "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1", "auth", "00000001"},
        {"RFC 2617 3.5", rfc2617, "Circle Of Life", "0a4f113b", "6629fae49393a05397450978507c4ef1", "auth", "00000001"},
        // RFC 2069 section 2.4 example (the corrected value: the RFC's printed
        // response is a known erratum).
        {"RFC 2069 without qop", "Digest realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                                 "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
         "CircleOfLife", "unused", "1949323746fe6a43ef61f9606e7febea", "", ""},
        // -sess variants with the RFC 7616 inputs; values computed with
        // Python's hashlib.
        {"MD5-sess", rfc7616Challenge("MD5-sess"), "Circle of Life", kRfc7616Cnonce, "e783283f46242139c486a698fec7211d", "auth",
         "00000001"},
        {"SHA-256-sess", rfc7616Challenge("SHA-256-sess"), "Circle of Life", kRfc7616Cnonce,
         "2fd51b3a77ad75bad6afad6003e818d767133c46d9e2749e7f5232ae1ea3efd7", "auth", "00000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto challenges = parseChallenges(c.challenge);
        ASSERT_EQ(challenges.size(), 1u);
        DigestSession session(challenges[0]);
        const bool rfc2617 = c.challenge.find("testrealm") != std::string::npos;
        const std::string header = session.authorization("Mufasa", c.password, "GET", "/dir/index.html", std::string(c.cnonce));
        ASSERT_EQ(header.rfind("Digest ", 0), 0u) << header;
        auto params = authParams(header);
        EXPECT_EQ(params["response"], c.response);
        EXPECT_EQ(params["username"], "Mufasa");
        EXPECT_EQ(params["uri"], "/dir/index.html");
        EXPECT_EQ(params["qop"], c.qop);
        EXPECT_EQ(params["nc"], c.nc);
        EXPECT_EQ(params["cnonce"], *c.qop ? c.cnonce : "");
        EXPECT_EQ(params["opaque"], rfc2617 ? "5ccc069c403ebaf9f0171e9517f40e41" : kRfc7616Opaque);
        EXPECT_EQ(params["realm"], rfc2617 ? "testrealm@host.com" : "http-auth@example.org");
    }
}

TEST(DigestSession, NonceCountAdvancesWithEachAuthorization)
{
    DigestSession session(parseChallenges(rfc7616Challenge("MD5"))[0]);
    const auto authorize = [&] {
        return authParams(session.authorization("Mufasa", "Circle of Life", "GET", "/dir/index.html", std::string(kRfc7616Cnonce)));
    };
    EXPECT_EQ(authorize()["nc"], "00000001");
    auto second = authorize();
    EXPECT_EQ(second["nc"], "00000002");
    // nc=00000002 with the RFC 7616 inputs (Python's hashlib).
    EXPECT_EQ(second["response"], "4b5d595ecf2db9df612ea5b45cd97101");
    EXPECT_EQ(session.nonceCount(), 2u);
    // Generated cnonces differ from one request to the next.
    const auto a = authParams(session.authorization("u", "p", "GET", "/", std::nullopt))["cnonce"];
    EXPECT_GE(a.size(), 16u);
    EXPECT_NE(a, authParams(session.authorization("u", "p", "GET", "/", std::nullopt))["cnonce"]);
    // Without qop there is no count to advance.
    DigestSession plain(parseChallenges("Digest realm=\"r\", nonce=\"n\"")[0]);
    plain.authorization("u", "p", "GET", "/", std::nullopt);
    EXPECT_EQ(plain.nonceCount(), 0u);
}

TEST(DigestSession, UserhashEscapingAndBasic)
{
    DigestSession hashed(parseChallenges(rfc7616Challenge("SHA-256") + ", userhash=true")[0]);
    auto params = authParams(hashed.authorization("Mufasa", "Circle of Life", "GET", "/dir/index.html", std::string(kRfc7616Cnonce)));
    // SHA-256("Mufasa:http-auth@example.org"), Python's hashlib.
    EXPECT_EQ(params["username"], "a947aad205e80e429958a387394944c6b496301e79f89d35a4cc23b6ee12b5b6");
    EXPECT_EQ(params["userhash"], "true");

    DigestSession quoted(parseChallenges(R"(Digest realm="a \"b\"", nonce="n")")[0]);
    const std::string header = quoted.authorization("we\"ird", "p", "GET", "/", std::nullopt);
    EXPECT_NE(header.find(R"(username="we\"ird")"), std::string::npos) << header;
    EXPECT_NE(header.find(R"(realm="a \"b\"")"), std::string::npos) << header;

    DigestSession basic(parseChallenges("Basic realm=\"WallyWorld\"")[0]);
    EXPECT_TRUE(basic.isBasic());
    // RFC 7617 section 2.
    EXPECT_EQ(basic.authorization("Aladdin", "open sesame", "GET", "/", std::nullopt), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(ParseChallenges, ReadsEveryChallengeOfAHeader)
{
    struct Expected {
        std::string scheme, realm, nonce, algorithm;
        std::vector<std::string> qop;
        bool stale = false;
        std::string opaque = {};
    };
    const struct {
        const char* name;
        std::string header;
        std::vector<Expected> expected;
    } cases[] = {
        {"Axis Boa firmware with qop",
         R"(Digest realm="AXIS_00408C923E54", nonce="0013b078Y274915fd7ef48ab6f35d58fc6611936d82959", stale=FALSE, qop="auth")",
         {{"Digest", "AXIS_00408C923E54", "0013b078Y274915fd7ef48ab6f35d58fc6611936d82959", "", {"auth"}}}},
        {"Axis newer firmware, Apache-style nonce",
         R"(Digest realm="AXIS_ACCC8EB3494E", nonce="PNHWZB6nBQA=316099a140230c2db387fc75ee1c8ae838a750d8", algorithm=MD5, qop="auth")",
         {{"Digest", "AXIS_ACCC8EB3494E", "PNHWZB6nBQA=316099a140230c2db387fc75ee1c8ae838a750d8", "MD5", {"auth"}}}},
        {"Basic after Digest in one header",
         R"(Digest realm="AXIS_00408CEF081C", nonce="00054cecY7165349339ae05f7017797d6b0aaad38f6ff45", stale=FALSE, Basic realm="AXIS_00408CEF081C")",
         {{"Digest", "AXIS_00408CEF081C", "00054cecY7165349339ae05f7017797d6b0aaad38f6ff45", "", {}},
          {"Basic", "AXIS_00408CEF081C", "", "", {}}}},
        {"RFC 7616 3.9.1 offer of SHA-256 and MD5", rfc7616Challenge("SHA-256") + ", " + rfc7616Challenge("MD5"),
         {{"Digest", "http-auth@example.org", kRfc7616Nonce, "SHA-256", {"auth", "auth-int"}, false, kRfc7616Opaque},
          {"Digest", "http-auth@example.org", kRfc7616Nonce, "MD5", {"auth", "auth-int"}, false, kRfc7616Opaque}}},
        {"commas inside quotes", R"(Digest realm="a, b", nonce="n,1", qop="auth,auth-int")",
         {{"Digest", "a, b", "n,1", "", {"auth", "auth-int"}}}},
        {"escaped quotes and backslashes", R"(Digest realm="say \"hi\"", nonce="x\\y")", {{"Digest", "say \"hi\"", "x\\y", "", {}}}},
        {"stale=true unquoted", R"(Digest realm="r", nonce="n2", stale=true)", {{"Digest", "r", "n2", "", {}, true}}},
        {"stale=\"TRUE\" quoted", R"(Digest realm="r", nonce="n2", stale="TRUE")", {{"Digest", "r", "n2", "", {}, true}}},
        {"names in any case", R"(digest REALM="r", Nonce="n", QOP=auth, Algorithm=sha-256)", {{"digest", "r", "n", "sha-256", {"auth"}}}},
        {"token68 scheme then Basic", R"(Negotiate YIIB/w==, Basic realm="x")", {{"Negotiate", "", "", "", {}}, {"Basic", "x", "", "", {}}}},
        {"bare scheme then Digest", R"(Basic, Digest realm="r", nonce="n")", {{"Basic", "", "", "", {}}, {"Digest", "r", "n", "", {}}}},
        {"unterminated quote", R"(Digest nonce="n", realm="unterminated)", {{"Digest", "", "n", "", {}}}},
        {"parameter before any scheme", R"(=broken, realm="lost", Basic realm="x")", {{"Basic", "x", "", "", {}}}},
        {"garbage after a value", R"(Digest realm="r" junk, nonce="n")", {{"Digest", "", "n", "", {}}}},
        {"empty", "", {}},
        {"only separators", " , ,, ", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = parseChallenges(c.header);
        ASSERT_EQ(parsed.size(), c.expected.size());
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& p = parsed[i];
            const auto& e = c.expected[i];
            EXPECT_EQ(std::tie(p.scheme, p.realm, p.nonce, p.algorithm, p.qop, p.stale, p.opaque),
                      std::tie(e.scheme, e.realm, e.nonce, e.algorithm, e.qop, e.stale, e.opaque));
        }
    }
    // Every truncation of a real header parses without harm.
    const std::string header =
        R"(Digest realm="AXIS_ACCC8E0CBE87", nonce="01f82f1eY2828699f525c781da2d528b24cd9b5f249fbb", stale=FALSE, qop="auth", Basic realm="AXIS_ACCC8E0CBE87")";
    for (std::size_t n = 0; n <= header.size(); ++n)
        EXPECT_LE(parseChallenges(std::string_view(header).substr(0, n)).size(), 2u);
}

TEST(ChooseChallenge, PrefersSha256ThenMd5ThenBasic)
{
    const struct {
        const char* name;
        std::string header;
        int chosen; // index into the parsed list, -1 for none
    } cases[] = {
        {"SHA-256 listed after MD5",
         R"(Digest realm="r", nonce="a", algorithm=MD5, qop="auth", Digest realm="r", nonce="b", algorithm=SHA-256, qop="auth")", 1},
        {"SHA-256-sess over MD5", R"(Digest realm="r", nonce="a", Digest realm="r", nonce="b", algorithm=SHA-256-sess)", 1},
        {"Digest over Basic listed first", R"(Basic realm="r", Digest realm="r", nonce="n")", 1},
        {"Basic alone", R"(Basic realm="AXIS_ACCC8E0CBE87")", 0},
        {"unknown algorithm skipped", R"(Digest realm="r", nonce="a", algorithm=SHA-512-256, Digest realm="r", nonce="b", algorithm=MD5)", 1},
        {"auth-int only is unusable, Basic taken", R"(Digest realm="r", nonce="a", qop="auth-int", Basic realm="r")", 1},
        {"Digest without nonce is unusable", R"(Digest realm="r")", -1},
        {"only schemes we do not speak", R"(Negotiate, NTLM)", -1},
        {"nothing offered", "", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = parseChallenges(c.header);
        ASSERT_LT(c.chosen, static_cast<int>(parsed.size()));
        EXPECT_EQ(chooseChallenge(parsed), c.chosen < 0 ? nullptr : &parsed[static_cast<std::size_t>(c.chosen)]);
    }
}

TEST(DigestHex, KnownDigests)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // RFC 1321 appendix A.5 and FIPS 180-2 appendix B.1.
        {"MD5", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"md5", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"MD5-sess", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"SHA-256", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"sha-256-SESS", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"SHA-512-256", "abc", ""},
        {"SHA-1", "abc", ""},
    };
    for (const auto& [algorithm, text, hex] : cases)
        EXPECT_EQ(digestHex(algorithm, text), hex) << algorithm;
}

TEST(Base64, Rfc4648TestVectorsBothWaysAndNothingElse)
{
    // RFC 4648 section 10, plus RFC 7617's credentials.
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
    };
    for (const auto& [plain, encoded] : vectors) {
        SCOPED_TRACE(encoded);
        EXPECT_EQ(base64Encode(plain), encoded);
        std::string decoded = "stale";
        EXPECT_TRUE(base64Decode(encoded, decoded));
        EXPECT_EQ(decoded, plain);
    }
    EXPECT_EQ(base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
    // Cameras write sprop-parameter-sets without padding as well.
    for (const auto& [encoded, plain] : {std::pair{"Zm9vYg", "foob"}, std::pair{"Zm9vYmE", "fooba"}}) {
        std::string decoded;
        EXPECT_TRUE(base64Decode(encoded, decoded)) << encoded;
        EXPECT_EQ(decoded, plain);
    }
    for (const char* bad : {"Zm9v!", "Zg=", "Z", "Zm9vY", "Zg===", "=Zg=", "Zm 9v", "Zm9v\n", "==", "Zg==Zg=="}) {
        SCOPED_TRACE(bad);
        std::string out = "untouched";
        EXPECT_FALSE(base64Decode(bad, out));
        EXPECT_EQ(out, "untouched");
    }
}

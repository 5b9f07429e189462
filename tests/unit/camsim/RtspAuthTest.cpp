// RTSP authentication as Axis cameras answer it: a Digest challenge without
// qop and a Basic one, the captured client answer accepted, and the ways a
// wrong or stale answer is refused.
#include "RtspAuth.h"

#include <gtest/gtest.h>

using namespace Camsim;

namespace {

struct Fixture {
    std::chrono::steady_clock::time_point now{};
    RtspAuth auth;

    explicit Fixture(AuthMode mode = AuthMode::DigestMd5)
        : auth(RtspAuth::Options{mode, "root", "pass", "AXIS_ACCC8E012345", std::chrono::seconds(300), 4},
               [this] { return now; }, [] { return std::string("0000eb57Y1462133062b37999f0cd530f02755fa37b8df1"); })
    {
    }
};

// The DESCRIBE answer of a captured session (realm AXIS_ACCC8E012345).
const char* const kCapturedDescribe =
    "Digest username=\"root\", realm=\"AXIS_ACCC8E012345\", algorithm=\"MD5\", "
    "nonce=\"0000eb57Y1462133062b37999f0cd530f02755fa37b8df1\", "
    "uri=\"rtsp://127.0.0.1/axis-media/media.amp?video=0&audio=0&event=on\", "
    "response=\"909e6c215f6b0f350147a81ae3980018\"";

} // namespace

TEST(RtspAuth, ChallengesAreDigestWithoutQopThenBasic)
{
    Fixture f;
    const auto r = f.auth.check("DESCRIBE", "");
    EXPECT_FALSE(r.accepted);
    ASSERT_EQ(r.challenges.size(), 2u);
    EXPECT_EQ(r.challenges[0], "Digest realm=\"AXIS_ACCC8E012345\", "
                               "nonce=\"0000eb57Y1462133062b37999f0cd530f02755fa37b8df1\", stale=FALSE");
    EXPECT_EQ(r.challenges[1], "Basic realm=\"AXIS_ACCC8E012345\"");

    Fixture basicOnly(AuthMode::Basic);
    EXPECT_EQ(basicOnly.auth.check("DESCRIBE", "").challenges,
              std::vector<std::string>{"Basic realm=\"AXIS_ACCC8E012345\""});
}

TEST(RtspAuth, CapturedAnswersAndBasicCredentialsPass)
{
    Fixture f;
    f.auth.check("DESCRIBE", ""); // hands out the nonce
    EXPECT_TRUE(f.auth.check("DESCRIBE", kCapturedDescribe).accepted);
    // root:pass, and the RFC 2069 form with the uri of the header, not of the request line.
    EXPECT_TRUE(f.auth.check("SETUP", "Basic cm9vdDpwYXNz").accepted);
    EXPECT_FALSE(f.auth.check("PLAY", kCapturedDescribe).accepted); // the hash covers the method
}

TEST(RtspAuth, WrongAnswersAreRefused)
{
    const struct {
        const char* name;
        std::string authorization;
        bool stale;
    } cases[] = {
        {"wrong response", std::string(kCapturedDescribe).replace(std::string(kCapturedDescribe).find("909e"), 4, "909f"), false},
        {"wrong user", std::string(kCapturedDescribe).replace(std::string(kCapturedDescribe).find("\"root\""), 6, "\"admin\""), false},
        {"wrong realm", std::string(kCapturedDescribe).replace(std::string(kCapturedDescribe).find("012345"), 6, "012346"), false},
        {"SHA-256", std::string(kCapturedDescribe).replace(std::string(kCapturedDescribe).find("\"MD5\""), 5, "SHA-256"), false},
        {"Basic root:wrong", "Basic cm9vdDp3cm9uZw==", false},
        {"Basic without colon", "Basic cm9vdA==", false},
        {"Basic not base64", "Basic ***", false},
        {"unknown scheme", "Bearer abc", false},
        {"unterminated quote", "Digest username=\"root", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.auth.check("DESCRIBE", "");
        const auto r = f.auth.check("DESCRIBE", c.authorization);
        EXPECT_FALSE(r.accepted);
        ASSERT_FALSE(r.challenges.empty());
        EXPECT_NE(r.challenges[0].find(c.stale ? "stale=TRUE" : "stale=FALSE"), std::string::npos);
    }
}

TEST(RtspAuth, ARightAnswerOnAnOldNonceIsStale)
{
    Fixture f;
    // Never handed out by this camera (a restart in between).
    auto r = f.auth.check("DESCRIBE", kCapturedDescribe);
    EXPECT_FALSE(r.accepted);
    EXPECT_NE(r.challenges[0].find("stale=TRUE"), std::string::npos);
    // Handed out, then 301 s pass.
    f.now += std::chrono::seconds(301);
    r = f.auth.check("DESCRIBE", kCapturedDescribe);
    EXPECT_FALSE(r.accepted);
    EXPECT_NE(r.challenges[0].find("stale=TRUE"), std::string::npos);
}

TEST(RtspAuth, NoAuthenticationWhenTurnedOff)
{
    Fixture f(AuthMode::None);
    EXPECT_TRUE(f.auth.check("DESCRIBE", "").accepted);
}

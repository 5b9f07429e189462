// RTSP authentication as Axis cameras answer it: a Digest challenge without
// qop and a Basic one, the captured client answer accepted, wrong or stale
// answers refused.
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
const std::string kCapturedDescribe =
    "Digest username=\"root\", realm=\"AXIS_ACCC8E012345\", algorithm=\"MD5\", "
    "nonce=\"0000eb57Y1462133062b37999f0cd530f02755fa37b8df1\", "
    "uri=\"rtsp://127.0.0.1/axis-media/media.amp?video=0&audio=0&event=on\", "
    "response=\"909e6c215f6b0f350147a81ae3980018\"";

std::string replaced(const std::string& what, const std::string& with)
{
    std::string s = kCapturedDescribe;
    return s.replace(s.find(what), what.size(), with);
}

} // namespace

TEST(RtspAuth, ChallengesAreDigestWithoutQopThenBasic)
{
    Fixture f;
    const auto r = f.auth.check("DESCRIBE", "");
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.challenges, (std::vector<std::string>{"Digest realm=\"AXIS_ACCC8E012345\", "
                                                      "nonce=\"0000eb57Y1462133062b37999f0cd530f02755fa37b8df1\", "
                                                      "stale=FALSE",
                                                      "Basic realm=\"AXIS_ACCC8E012345\""}));
    EXPECT_TRUE(Fixture(AuthMode::None).auth.check("DESCRIBE", "").accepted);
}

TEST(RtspAuth, CapturedAnswerPassesAndWrongOnesAreRefused)
{
    Fixture f;
    f.auth.check("DESCRIBE", ""); // hands out the nonce
    EXPECT_TRUE(f.auth.check("DESCRIBE", kCapturedDescribe).accepted);
    EXPECT_TRUE(f.auth.check("SETUP", "Basic cm9vdDpwYXNz").accepted); // root:pass

    const struct {
        const char* name;
        std::string method;
        std::string authorization;
        bool stale;
        int secondsLater;
    } cases[] = {
        {"the hash covers the method", "PLAY", kCapturedDescribe, false, 0},
        {"wrong response", "DESCRIBE", replaced("909e", "909f"), false, 0},
        {"wrong user", "DESCRIBE", replaced("\"root\"", "\"admin\""), false, 0},
        {"SHA-256", "DESCRIBE", replaced("\"MD5\"", "SHA-256"), false, 0},
        {"Basic root:wrong", "DESCRIBE", "Basic cm9vdDp3cm9uZw==", false, 0},
        {"unknown scheme", "DESCRIBE", "Bearer abc", false, 0},
        {"nonce expired", "DESCRIBE", kCapturedDescribe, true, 301},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture g;
        g.auth.check("DESCRIBE", "");
        g.now += std::chrono::seconds(c.secondsLater);
        const auto r = g.auth.check(c.method, c.authorization);
        EXPECT_FALSE(r.accepted);
        ASSERT_FALSE(r.challenges.empty());
        EXPECT_NE(r.challenges[0].find(c.stale ? "stale=TRUE" : "stale=FALSE"), std::string::npos);
    }
}

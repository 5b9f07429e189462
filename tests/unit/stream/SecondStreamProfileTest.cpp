// What counts as an acknowledged profile add or update: the camera answers
// 200 either way, so the body decides.
#include "SecondStreamProfile.h"

#include <gtest/gtest.h>

namespace {

TEST(SecondStreamProfile, ParamCgiAnswerAcknowledgesOnlyOk)
{
    const struct {
        const char* body;
        bool acknowledged;
    } cases[] = {
        {"S8 OK\r\n", true},
        {"S0 OK", true},
        {"OK\r\n", true},
        {"# Request failed: Couldn't create group\r\n", false},
        {"# Error: Error setting 'StreamProfile.S1.Parameters' to 'videocodec=h264'!\r\n", false},
        {"# Error: Error -1 getting param in group 'StreamProfile'\r\n", false},
        {"", false},
        {"BROKEN", false},
        {"<html><body>OK</body></html>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(Vapixcam::paramCgiAcknowledged(c.body), c.acknowledged);
    }
}

} // namespace

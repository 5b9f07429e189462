#include "CliError.h"
#include "EventsCommand.h"

#include <gtest/gtest.h>

using namespace VapixcamCli;

TEST(EventsCommand, AreasColoursAndTimes)
{
    const auto area = parseArea(" 0,0  1,0.5 0.25,1 ");
    ASSERT_EQ(area.size(), 3u);
    EXPECT_DOUBLE_EQ(area[1].x, 1.0);
    EXPECT_DOUBLE_EQ(area[1].y, 0.5);
    for (const char* bad : {"0,0 1,1", "0,0 1,1 2,0", "0,0 1;1 0,1", "0,0 1,1 0,x", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseArea(bad), CliError);
    }

    struct Colour { double h, s, v; std::array<int, 3> rgb; } colours[] = {
        {0, 1, 1, {255, 0, 0}}, {120, 1, 1, {0, 255, 0}}, {240, 1, 0.5, {0, 0, 128}},
        {60, 0.5, 1, {255, 255, 128}}, {0, 0, 0.2, {51, 51, 51}}, {360, 1, 1, {255, 0, 0}},
    };
    for (const Colour& c : colours) {
        SCOPED_TRACE(c.h);
        EXPECT_EQ(hsvToRgb(c.h, c.s, c.v), c.rgb);
    }

    EXPECT_EQ(eventTime(1556878530250), "2019-05-03T10:15:30.250Z");
    EXPECT_EQ(eventTime(0), "1970-01-01T00:00:00.000Z");
}

#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpRange.h>

#include <gtest/gtest.h>

using namespace Orix::Utility;

TEST(SdpRange, ParsesNptAndClockRanges)
{
    struct Case {
        const char* text;
        SdpRange::Kind kind;
        bool now;
        std::optional<double> start, end;
        std::optional<std::int64_t> startUtc, endUtc;
        const char* formatted;
    };
    const Case cases[] = {
        // Live streams of Axis GStreamer firmware.
        {"npt=now-", SdpRange::Kind::npt, true, {}, {}, {}, {}, "npt=now-"},
        // 5.x firmware.
        {"npt=0.000000-", SdpRange::Kind::npt, false, 0.0, {}, {}, {}, "npt=0-"},
        {"npt=10-20.5", SdpRange::Kind::npt, false, 10.0, 20.5, {}, {}, "npt=10-20.5"},
        {"npt=1:02:03.5-", SdpRange::Kind::npt, false, 3723.5, {}, {}, {}, "npt=3723.5-"},
        {"npt=-30", SdpRange::Kind::npt, false, {}, 30.0, {}, {}, "npt=-30"},
        // Edge-storage playback (documented examples).
        {"clock=20240621T071725Z-20240621T071817Z", SdpRange::Kind::clock, false, {}, {},
         1718954245000000, 1718954297000000, "clock=20240621T071725Z-20240621T071817Z"},
        {"clock=20110812T081211Z-20110814T101000Z", SdpRange::Kind::clock, false, {}, {},
         1313136731000000, 1313316600000000, "clock=20110812T081211Z-20110814T101000Z"},
        {"clock=20000229T235959.25Z-", SdpRange::Kind::clock, false, {}, {}, 951868799250000, {},
         "clock=20000229T235959.25Z-"},
        {"clock=20240621T071725Z-;time=20240621T071700Z", SdpRange::Kind::clock, false, {}, {},
         1718954245000000, {}, "clock=20240621T071725Z-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SdpRange range;
        ASSERT_FALSE(parseRange(c.text, range));
        EXPECT_EQ(range.kind, c.kind);
        EXPECT_EQ(range.startIsNow, c.now);
        EXPECT_EQ(range.startSeconds, c.start);
        EXPECT_EQ(range.endSeconds, c.end);
        EXPECT_EQ(range.startUtcMicros, c.startUtc);
        EXPECT_EQ(range.endUtcMicros, c.endUtc);
        EXPECT_EQ(formatRange(range), c.formatted);
    }
}

TEST(SdpRange, RejectsMalformedRanges)
{
    const char* cases[] = {
        "",
        "npt",
        "npt=",
        "npt=-",
        "npt=abc-",
        "npt=5",
        "npt=1:99:00-",
        "smpte=10:07:00-10:07:33:05.01",
        "clock=-",
        "clock=20240621T071725-",       // no Z
        "clock=20241321T000000Z-",      // month 13
        "clock=20240621T251725Z-",      // hour 25
        "clock=2024-06-21T07:17:25Z-",  // ISO punctuation
        "clock=20240621T071725.Z-",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        SdpRange range;
        EXPECT_EQ(parseRange(text, range), make_error_code(SdpError::malformedRange));
    }
}

// Frame times of a played-back stream rebuilt from RTP time.
#include <gtest/gtest.h>
#include <netkit/rtp/TimestampGenerator.h>

using Orix::Utility::PreciseTimestampGenerator;
using Orix::Utility::rtpTime2VeltoTime;

TEST(RtpTime, TicksToMillisecondsTruncate)
{
    struct Case {
        std::uint64_t ticks;
        std::uint32_t rate;
        std::uint64_t ms;
    } cases[] = {
        {0, 90000, 0},        {3600, 90000, 40},    {89, 90000, 0},      {90, 90000, 1},
        {160, 8000, 20},      {4294967295ull, 90000, 47721858}, // a whole 32-bit span
        {1000, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.ticks) + " at " + std::to_string(c.rate));
        EXPECT_EQ(rtpTime2VeltoTime(c.ticks, c.rate), c.ms);
    }
}

TEST(PreciseTimestampGenerator, CountsForwardTicksFromTheFirstTimestamp)
{
    constexpr std::uint64_t kStart = 1718954245250;
    struct Case {
        const char* name;
        std::vector<std::uint32_t> rtp;
        std::vector<std::uint64_t> offsets; // ms after kStart
    } cases[] = {
        {"25 fps", {1000, 4600, 8200, 11800}, {0, 40, 80, 120}},
        {"first timestamp 0", {0, 3600, 7200}, {0, 40, 80}},
        {"repeated timestamp", {500, 4100, 4100, 7700}, {0, 40, 40, 80}},
        {"backward timestamp adds nothing", {90000, 93600, 50000, 97200}, {0, 40, 40, 80}},
        {"wrap past 2^32", {4294967000u, 3304u, 6904u}, {0, 40, 80}},
        {"ticks of a jump ahead count", {0, 90000 * 4}, {0, 4000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PreciseTimestampGenerator generator(kStart, 90000);
        for (std::size_t i = 0; i < c.rtp.size(); ++i)
            EXPECT_EQ(generator(c.rtp[i]), kStart + c.offsets[i]) << "timestamp " << i;
    }
}

#include <netkit/rtp/SequenceTracker.h>

#include <gtest/gtest.h>

using namespace Orix::Utility;
using Verdict = SequenceTracker::Verdict;

TEST(SequenceTracker, ObservesInOrderLossDuplicatesAndLateArrivals)
{
    constexpr Verdict D = Verdict::deliver, Dup = Verdict::duplicate, L = Verdict::late, S = Verdict::stray;
    struct Step {
        std::uint16_t sequence;
        Verdict verdict;
        std::uint32_t lostBefore = 0;
        bool discontinuity = false;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::uint64_t lost, duplicates, late, resyncs, stray;
    } cases[] = {
        {"wrap 65534 65535 0 1", {{65534, D}, {65535, D}, {0, D}, {1, D}}, 0, 0, 0, 0, 0},
        {"loss across the wrap", {{65534, D}, {65535, D}, {2, D, 2, true}, {3, D}}, 2, 0, 0, 0, 0},
        {"duplicate", {{10, D}, {11, D}, {11, Dup}, {10, Dup}, {12, D}}, 0, 2, 0, 0, 0},
        {"late arrival after its gap", {{10, D}, {12, D, 1, true}, {11, L}, {13, D}}, 1, 0, 1, 0, 0},
        {"duplicate across the wrap", {{65535, D}, {0, D}, {65535, Dup}}, 0, 1, 0, 0, 0},
        {"loss of 64 needs no confirmation", {{0, D}, {65, D, 64, true}}, 64, 0, 0, 0, 0},
        {"a stray far ahead costs only itself", {{10, D}, {40000, S}, {11, D}, {12, D}}, 0, 0, 0, 0, 1},
        {"strays far behind and ahead between two packets", {{30000, D}, {1234, S}, {60123, S}, {30001, D}}, 0, 0, 0, 0, 2},
        {"a confirmed jump counts its gap as loss", {{0, D}, {2999, S}, {3000, D, 2999, true}}, 2999, 0, 0, 0, 1},
        {"jump beyond the dropout bound restarts once confirmed", {{100, D}, {5000, S}, {5001, D, 0, true}, {5002, D}}, 0, 0, 0, 1, 1},
        {"far behind restarts once confirmed (camera restarted its sequence)",
         {{40000, D}, {30000, S}, {30001, D, 0, true}, {30002, D}}, 0, 0, 0, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SequenceTracker tracker;
        for (const auto& s : c.steps) {
            SCOPED_TRACE(s.sequence);
            const auto o = tracker.observe(s.sequence);
            EXPECT_EQ(o.verdict, s.verdict);
            EXPECT_EQ(o.lostBefore, s.lostBefore);
            EXPECT_EQ(o.discontinuity, s.discontinuity);
        }
        const auto& stats = tracker.stats();
        EXPECT_EQ(std::vector<std::uint64_t>({stats.lost, stats.duplicates, stats.late, stats.resyncs, stats.stray, stats.received}),
                  std::vector<std::uint64_t>({c.lost, c.duplicates, c.late, c.resyncs, c.stray, c.steps.size()}));
    }
}

TEST(SequenceTracker, ReordersWithinTheWindow)
{
    const struct {
        const char* name;
        std::size_t window;
        std::vector<std::uint16_t> in;
        bool flush;
        std::vector<std::pair<std::uint16_t, std::uint32_t>> out; // sequence, lost before it
        std::uint64_t lost, late, duplicates, reordered;
    } cases[] = {
        {"swap filled", 4, {1, 3, 2, 4}, false, {{1, 0}, {2, 0}, {3, 0}, {4, 0}}, 0, 0, 0, 1},
        {"swap across the wrap", 4, {65534, 0, 65535, 1}, false, {{65534, 0}, {65535, 0}, {0, 0}, {1, 0}}, 0, 0, 0, 1},
        {"window overflow gives the gap up", 2, {1, 3, 4, 5, 2}, false, {{1, 0}, {3, 1}, {4, 0}, {5, 0}}, 1, 1, 0, 3},
        {"flush releases what is held", 8, {1, 3, 5}, true, {{1, 0}, {3, 1}, {5, 1}}, 2, 0, 0, 2},
        {"held duplicate", 4, {1, 3, 3, 2}, false, {{1, 0}, {2, 0}, {3, 0}}, 0, 0, 1, 1},
        {"delivered duplicate", 4, {1, 2, 2}, false, {{1, 0}, {2, 0}}, 0, 0, 1, 0},
        {"confirmed restart flushes the old run", 4, {10, 12, 9000, 9001}, false, {{10, 0}, {12, 1}, {9001, 0}}, 1, 0, 0, 1},
        {"stray in the window's path is dropped alone", 4, {1, 3, 40000, 2, 4}, false, {{1, 0}, {2, 0}, {3, 0}, {4, 0}}, 0, 0, 0, 1},
        {"confirmed jump releases what is held first", 4, {1, 3, 500, 501}, false, {{1, 0}, {3, 1}, {501, 497}}, 498, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SequenceTracker tracker(c.window);
        std::vector<std::pair<std::uint16_t, std::uint32_t>> got;
        auto drain = [&] {
            while (auto r = tracker.pop()) {
                // The packet travels with its number.
                EXPECT_EQ(r->packet.bytes, std::vector<std::uint8_t>({std::uint8_t(r->sequence >> 8), std::uint8_t(r->sequence)}));
                got.emplace_back(r->sequence, r->lostBefore);
            }
        };
        for (std::uint16_t s : c.in) {
            const std::uint8_t bytes[] = {std::uint8_t(s >> 8), std::uint8_t(s)};
            tracker.push(s, OwnedRtpPacket(RtpPacket(), ByteSpan(bytes, 2)));
            drain();
        }
        if (c.flush) {
            tracker.flush();
            drain();
        }
        EXPECT_EQ(got, c.out);
        EXPECT_EQ(tracker.held(), 0u);
        const auto& stats = tracker.stats();
        EXPECT_EQ(std::vector<std::uint64_t>({stats.lost, stats.late, stats.duplicates, stats.reordered}),
                  std::vector<std::uint64_t>({c.lost, c.late, c.duplicates, c.reordered}));
    }
}

TEST(SequenceTracker, LossReportFollowsRfc3550AppendixA3)
{
    // 1..10 with 4 and 7 missing: 10 expected, 8 received; fraction = 2 * 256 / 10.
    SequenceTracker tracker;
    for (std::uint16_t s : {1, 2, 3, 5, 6, 8, 9, 10})
        tracker.observe(s);
    auto report = tracker.lossReport();
    EXPECT_EQ(report.fractionLost, 51);
    EXPECT_EQ(report.cumulativeLost, 2);
    EXPECT_EQ(tracker.extendedHighest(), 10u);

    // Next interval: 11..14 all received; the cumulative count stays.
    for (std::uint16_t s : {11, 12, 13, 14})
        tracker.observe(s);
    report = tracker.lossReport();
    EXPECT_EQ(report.fractionLost, 0);
    EXPECT_EQ(report.cumulativeLost, 2);

    // The extended number counts wraps.
    SequenceTracker wrapping;
    for (std::uint16_t s : {65535, 0, 1})
        wrapping.observe(s);
    EXPECT_EQ(wrapping.extendedHighest(), 65537u);
}

#include <netkit/rtp/SequenceTracker.h>

#include <gtest/gtest.h>

using namespace Orix::Utility;
using Verdict = SequenceTracker::Verdict;

TEST(SequenceTracker, ObservesInOrderLossDuplicatesAndLateArrivals)
{
    struct Step {
        std::uint16_t sequence;
        Verdict verdict;
        std::uint32_t lostBefore;
        bool discontinuity;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::uint64_t lost, duplicates, late, resyncs;
    };
    const Case cases[] = {
        {"wrap 65534 65535 0 1",
         {{65534, Verdict::deliver, 0, false}, {65535, Verdict::deliver, 0, false},
          {0, Verdict::deliver, 0, false}, {1, Verdict::deliver, 0, false}},
         0, 0, 0, 0},
        {"loss across the wrap",
         {{65534, Verdict::deliver, 0, false}, {65535, Verdict::deliver, 0, false},
          {2, Verdict::deliver, 2, true}, {3, Verdict::deliver, 0, false}},
         2, 0, 0, 0},
        {"duplicate",
         {{10, Verdict::deliver, 0, false}, {11, Verdict::deliver, 0, false},
          {11, Verdict::duplicate, 0, false}, {10, Verdict::duplicate, 0, false},
          {12, Verdict::deliver, 0, false}},
         0, 2, 0, 0},
        {"late arrival after its gap",
         {{10, Verdict::deliver, 0, false}, {12, Verdict::deliver, 1, true},
          {11, Verdict::late, 0, false}, {13, Verdict::deliver, 0, false}},
         1, 0, 1, 0},
        {"duplicate across the wrap",
         {{65535, Verdict::deliver, 0, false}, {0, Verdict::deliver, 0, false},
          {65535, Verdict::duplicate, 0, false}},
         0, 1, 0, 0},
        {"jump ahead beyond the dropout bound restarts",
         {{100, Verdict::deliver, 0, false}, {5000, Verdict::deliver, 0, true},
          {5001, Verdict::deliver, 0, false}},
         0, 0, 0, 1},
        {"far behind restarts (camera restarted its sequence)",
         {{40000, Verdict::deliver, 0, false}, {30000, Verdict::deliver, 0, true},
          {30001, Verdict::deliver, 0, false}},
         0, 0, 0, 1},
        {"loss of 3000 is still loss",
         {{0, Verdict::deliver, 0, false}, {3001, Verdict::deliver, 3000, true}},
         3000, 0, 0, 0},
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
        EXPECT_EQ(tracker.stats().lost, c.lost);
        EXPECT_EQ(tracker.stats().duplicates, c.duplicates);
        EXPECT_EQ(tracker.stats().late, c.late);
        EXPECT_EQ(tracker.stats().resyncs, c.resyncs);
        EXPECT_EQ(tracker.stats().received, c.steps.size());
    }
}

TEST(SequenceTracker, ReordersWithinTheWindow)
{
    struct Out {
        std::uint16_t sequence;
        std::uint32_t lostBefore;
    };
    struct Case {
        const char* name;
        std::size_t window;
        std::vector<std::uint16_t> in;
        bool flush;
        std::vector<Out> out;
        std::uint64_t lost, late, duplicates, reordered;
    };
    const Case cases[] = {
        {"swap filled", 4, {1, 3, 2, 4}, false, {{1, 0}, {2, 0}, {3, 0}, {4, 0}}, 0, 0, 0, 1},
        {"swap across the wrap", 4, {65534, 0, 65535, 1}, false,
         {{65534, 0}, {65535, 0}, {0, 0}, {1, 0}}, 0, 0, 0, 1},
        {"window overflow gives the gap up", 2, {1, 3, 4, 5, 2}, false,
         {{1, 0}, {3, 1}, {4, 0}, {5, 0}}, 1, 1, 0, 3},
        {"flush releases what is held", 8, {1, 3, 5}, true, {{1, 0}, {3, 1}, {5, 1}}, 2, 0, 0, 2},
        {"held duplicate", 4, {1, 3, 3, 2}, false, {{1, 0}, {2, 0}, {3, 0}}, 0, 0, 1, 1},
        {"delivered duplicate", 4, {1, 2, 2}, false, {{1, 0}, {2, 0}}, 0, 0, 1, 0},
        {"restart flushes the old run", 4, {10, 12, 9000}, false, {{10, 0}, {12, 1}, {9000, 0}}, 1, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SequenceTracker tracker(c.window);
        std::vector<Out> got;
        auto drain = [&] {
            while (auto r = tracker.pop()) {
                // The packet travels with its number.
                EXPECT_EQ(r->packet, std::vector<std::uint8_t>({std::uint8_t(r->sequence >> 8),
                                                                std::uint8_t(r->sequence)}));
                got.push_back({r->sequence, r->lostBefore});
            }
        };
        for (std::uint16_t s : c.in) {
            tracker.push(s, {std::uint8_t(s >> 8), std::uint8_t(s)});
            drain();
        }
        if (c.flush) {
            tracker.flush();
            drain();
        }
        ASSERT_EQ(got.size(), c.out.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(got[i].sequence, c.out[i].sequence);
            EXPECT_EQ(got[i].lostBefore, c.out[i].lostBefore);
        }
        EXPECT_EQ(tracker.held(), 0u);
        EXPECT_EQ(tracker.stats().lost, c.lost);
        EXPECT_EQ(tracker.stats().late, c.late);
        EXPECT_EQ(tracker.stats().duplicates, c.duplicates);
        EXPECT_EQ(tracker.stats().reordered, c.reordered);
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

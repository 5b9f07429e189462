// camsim's recordings and the record/list.cgi answers it builds from them.
#include "RecordingStore.h"

#include <gtest/gtest.h>

using namespace Camsim;

namespace {

constexpr std::int64_t kNow = 1718954245000000; // 2024-06-21T07:17:25Z

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(RecordingStore, ListFiltersByIdDiskTimeAndCount)
{
    std::int64_t now = kNow;
    RecordingStore store([&now] { return now; });
    const auto all = store.recordings();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].stopMicros, all[1].startMicros);              // back to back
    EXPECT_EQ(all[2].startMicros - all[1].stopMicros, 4000000);    // a gap of 4 s
    EXPECT_TRUE(all[3].running);
    EXPECT_EQ(all[0].id, "20240621_070725_1A00_ACCC8E5A7C01");

    struct Case {
        const char* name;
        RecordingQuery query;
        std::size_t returned;
        const char* first; // recording id in the first entry, or "" for none
    } cases[] = {
        {"all", {}, 4, "20240621_070725_1A00"},
        {"one id", {{all[2].id}, "", {}, {}, {}, false}, 1, "20240621_070735_1A02"},
        {"other disk", {{}, "NetworkShare", {}, {}, {}, false}, 1, "20240621_071655_1A03"},
        {"every disk", {{}, "all", {}, {}, {}, false}, 4, "20240621_070725_1A00"},
        {"overlapping the end of 2", {{}, "", all[1].stopMicros, all[2].startMicros - 1, {}, false}, 1,
         "20240621_070728_1A01"},
        {"two, newest first", {{}, "", {}, {}, 2u, true}, 2, "20240621_071655_1A03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string xml = store.recordListXml(c.query);
        EXPECT_EQ(count(xml, "<recording "), c.returned);
        EXPECT_NE(xml.find("totalnumberofrecordings=\"4\" numberofrecordings=\"" + std::to_string(c.returned) + "\""),
                  std::string::npos);
        if (c.returned) {
            EXPECT_EQ(xml.find("recordingid=\"" + std::string(c.first)), xml.find("recordingid=\""));
        }
    }
    // The running recording stops when it is asked about.
    now += 5000000;
    EXPECT_NE(store.recordListXml({{all[3].id}, "", {}, {}, {}, false})
                  .find("stoptime=\"2024-06-21T07:17:30.000000Z\" stoptimelocal=\"2024-06-21T07:17:30.000000+00:00\""),
              std::string::npos);
    EXPECT_NE(store.recordListXml({}).find("recordingstatus=\"recording\""), std::string::npos);
}

TEST(RecordingStore, ReadsAndWritesCameraTimes)
{
    EXPECT_EQ(parseIsoUtc("2024-06-21T07:17:25.349296Z"), kNow + 349296);
    EXPECT_EQ(parseIsoUtc("2024-10-23T00:00:00"), 1729641600000000); // the camera takes it without Z
    EXPECT_FALSE(parseIsoUtc("2024-10-23"));
    EXPECT_FALSE(parseIsoUtc("2024-10-23T00:00:00.Z"));
    EXPECT_EQ(formatIsoUtc(kNow + 349296), "2024-06-21T07:17:25.349296Z");
    EXPECT_EQ(parseClockTime("20240621T071725Z"), kNow);
    EXPECT_EQ(parseClockTime("20240621T071725.250Z"), kNow + 250000);
    EXPECT_FALSE(parseClockTime("2024-06-21T07:17:25Z"));
    EXPECT_EQ(formatClockTime(kNow + 250999), "20240621T071725.250Z");
}

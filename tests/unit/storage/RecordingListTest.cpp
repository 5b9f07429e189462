// Storage-source identifiers, camera times and the record/list.cgi and
// disks/list.cgi answers, from captured and documented camera answers.
#include "RecordingList.h"
#include "support/FakeHost.h"

#include <netkit/util/Logging.h>

#include <gtest/gtest.h>

using namespace Vapixcam;

namespace {

// record/list.cgi as documented for an AXIS camera in 2024 (pretty-printed by its author).
const char* kRecordList =
    R"(<?xml version="1.0"?>
<root xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xsi:noNamespaceSchemaLocation="http://www.axis.com/vapix/http_cgi/recording/list1.xsd">
    <recordings totalnumberofrecordings="%TOTAL%" numberofrecordings="%COUNT%">
        <recording diskid="NetworkShare" recordingid="20240621_151725_95E7_B8A44F9D7D55" starttime="2024-06-21T07:17:25.349296Z" starttimelocal="2024-06-21T15:17:25.349296+08:00" stoptime="2024-06-21T07:18:17.615961Z" stoptimelocal="2024-06-21T15:18:17.615961+08:00" recordingtype="continuous" eventid="continuous" eventtrigger="continuous" recordingstatus="%STATUS%" source="1" locked="No">
            <video mimetype="video/x-h264" width="1920" height="1080" framerate="30:1" resolution="1920x1080"/>
        </recording>
    </recordings>
</root>
)";

std::string recordList(const std::string& count, const std::string& status)
{
    std::string s = kRecordList;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"%TOTAL%", count}, {"%COUNT%", count},
                                     {"%STATUS%", status}})
        s.replace(s.find(key), key.size(), value);
    return s;
}

// disks/list.cgi captured from an AXIS Companion Bullet LE, firmware 9.80.2.2.
const char* kDiskList =
    "<?xml version=\"1.0\"?>\n<root xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:noNamespaceSchemaLocation=\"http://www.axis.com/vapix/http_cgi/disk/list1.xsd\">\n"
    "<disks numberofdisks=\"2\" >  <disk diskid=\"SD_DISK\" name=\"\" totalsize=\"116109036\" freesize=\"63126240\" "
    "cleanuplevel=\"99\" cleanupmaxage=\"7000\" cleanuppolicy=\"fifo\" locked=\"no\" full=\"no\" readonly=\"no\" "
    "status=\"OK\" filesystem=\"ext4\" group=\"S0\" requiredfilesystem=\"none\" encryptionenabled=\"false\" "
    "diskencrypted=\"false\"/>\n  <disk diskid=\"NetworkShare\" name=\"\" totalsize=\"1073741824\" "
    "freesize=\"920987392\" cleanuplevel=\"99\" cleanupmaxage=\"7000\" cleanuppolicy=\"fifo\" locked=\"no\" "
    "full=\"no\" readonly=\"no\" status=\"OK\" filesystem=\"cifs\" group=\"S1\" requiredfilesystem=\"none\" "
    "encryptionenabled=\"false\" diskencrypted=\"false\"/>\n</disks> </root>\n";

constexpr std::uint64_t kStart = 1718954245349; // 2024-06-21T07:17:25.349Z
constexpr std::uint64_t kStop = 1718954297615;  // 2024-06-21T07:18:17.615Z

struct Fixture {
    std::shared_ptr<TestSupport::CapturingLogger> logger = std::make_shared<TestSupport::CapturingLogger>(0);
    Orix::LoggerOwner log{logger};
};

} // namespace

TEST(StorageSourceId, SplitsChannelAndDisk)
{
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t channel;
        const char* disk;
    } cases[] = {
        {"0.SD_DISK", true, 0, "SD_DISK"}, {"1", true, 1, ""},          {"2.", true, 2, ""},
        {"3.Net.Share", true, 3, "Net.Share"}, {"", false, 0, ""},      {".SD_DISK", false, 0, ""},
        {"x.SD_DISK", false, 0, ""},       {"-1", false, 0, ""},       {"12345678901", false, 0, ""},
    };
    Fixture f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto id = splitRecordingId(c.text, f.log);
        ASSERT_EQ(id.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(id->channel, c.channel);
            EXPECT_EQ(id->disk, c.disk);
        }
    }
    EXPECT_EQ(storageSourceId(0, "SD_DISK"), "0.SD_DISK");
    EXPECT_EQ(storageSourceId(1, ""), "1");
}

TEST(CameraTime, ConvertsBothWays)
{
    struct Case {
        const char* text;
        std::optional<std::uint64_t> host;
    } parsed[] = {
        {"2024-06-21T07:17:25.349296Z", kStart},   // fraction truncated to ms
        {"2024-06-21T07:17:25Z", 1718954245000},
        {"2024-02-29T23:59:59.999Z", 1709251199999},
        {"2038-01-19T03:14:08Z", 2147483648000},   // past 32-bit seconds
        {"1970-01-01T00:00:00Z", 0},
        {"2024-06-21 07:17:25Z", std::nullopt},
        {"2024-06-21T07:17:25", std::nullopt},     // no zone: not UTC
        {"2024-13-01T00:00:00Z", std::nullopt},
        {"2024-06-21T25:00:00Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : parsed) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(toVeltoTime(c.text), c.host);
    }
    // The list arguments take whole seconds; logs and the host see milliseconds.
    EXPECT_EQ(toVapixTime(kStart), "2024-06-21T07:17:25Z");
    EXPECT_EQ(timestampToString(kStart), "2024-06-21T07:17:25.349Z");
    EXPECT_EQ(timestampToString(1709251199000), "2024-02-29T23:59:59.000Z");
    EXPECT_EQ(recordingListUrl("SD_DISK", "&maxnumberofresults=2&sortorder=ascending", kStart, kStop),
              "/axis-cgi/record/list.cgi?recordingid=all&diskid=SD_DISK&maxnumberofresults=2&sortorder=ascending"
              "&starttime=2024-06-21T07:17:25Z&stoptime=2024-06-21T07:18:17Z");
    EXPECT_EQ(recordingListUrl("", "", 0, 1000),
              "/axis-cgi/record/list.cgi?recordingid=all&starttime=1970-01-01T00:00:00Z&stoptime=1970-01-01T00:00:01Z");
}

TEST(RecordingList, ParsesStatusIntervalAndCount)
{
    constexpr std::uint64_t kNow = kStop + 60000;
    struct Case {
        const char* name;
        std::string body;
        std::uint64_t begin, end;
        std::uint32_t result;
        std::vector<std::pair<std::uint32_t, std::uint64_t>> ranges; // status, end
    } cases[] = {
        {"completed", recordList("1", "completed"), 0, kNow, 0, {{1, kStop}}},
        {"triggered", recordList("1", "triggered"), 0, kNow, 0, {{1, kStop}}},
        {"still recording ends now", recordList("1", "recording"), 0, kNow, 0, {{2, kNow}}},
        {"other status", recordList("1", "unknown"), 0, kNow, 0, {{0, kStop}}},
        {"count 0 ignores children", recordList("0", "completed"), 0, kNow, 0, {}},
        {"ends before the interval", recordList("1", "completed"), kStop + 1, kNow, 0, {}},
        {"starts after the interval", recordList("1", "completed"), 0, kStart - 1, 0, {}},
        {"touches the interval", recordList("1", "completed"), kStop, kNow, 0, {{1, kStop}}},
        {"count not a number", recordList("many", "completed"), 0, kNow, 1, {}},
        {"no recordings node", "<?xml version=\"1.0\"?><root><error/></root>", 0, kNow, 1, {}},
        {"not XML", "# Error: Unknown parameter", 0, kNow, 1, {}},
        {"cut short", recordList("1", "completed").substr(0, 400), 0, kNow, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        std::vector<RecordingEntry> out;
        EXPECT_EQ(parseRecordingList(c.body, c.begin, c.end, kNow, f.log, out), c.result);
        ASSERT_EQ(out.size(), c.ranges.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].id, "20240621_151725_95E7_B8A44F9D7D55");
            EXPECT_EQ(out[i].begin, kStart);
            EXPECT_EQ(out[i].status, c.ranges[i].first);
            EXPECT_EQ(out[i].end, c.ranges[i].second);
        }
    }
}

TEST(RecordingList, MissingRecordingAttributeIsAnUnreadableAnswer)
{
    Fixture f;
    std::string body = recordList("1", "completed");
    body.replace(body.find(" recordingid="), 13, " other=");
    std::vector<RecordingEntry> out;
    EXPECT_EQ(parseRecordingList(body, 0, kStop, kStop, f.log, out), 1u);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(f.logger->contains(" Cannot parse device reponse, while reading recordings list: "));
}

TEST(DiskList, ReadsDiskIdentifiersInOrder)
{
    EXPECT_EQ(parseDiskList(kDiskList), (std::vector<std::string>{"SD_DISK", "NetworkShare"}));
    EXPECT_TRUE(parseDiskList("<?xml version=\"1.0\"?><root><disks numberofdisks=\"0\"></disks></root>").empty());
    EXPECT_TRUE(parseDiskList("<html><body>404 Not Found</body></html>").empty());
    EXPECT_TRUE(parseDiskList(std::string(kDiskList).substr(0, 300)).empty());
}

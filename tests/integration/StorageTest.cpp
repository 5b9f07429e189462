// Edge storage against camsim, whose recordings lie in the past of its
// start: on SD_DISK 1 and 2 back to back and 3 after a gap of 4 s, on
// NetworkShare 4, still recording.
// All are 25 fps H.264 with a key frame every second, so frame times step
// by exactly 40 ms inside a recording.
#include "Device.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <netkit/http/HttpClient.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>
#include <orix/gdrv/Storage.h>

using Orix::GDRV::ConnectionState;
using TestSupport::CamsimProcess;

namespace {

constexpr auto kLimit = std::chrono::seconds(30);

class Waiter final : public Orix::IAsyncActionHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(const Orix::IContract*, std::uint32_t r) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = r;
        cv_.notify_all();
    }
    std::optional<std::uint32_t> wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, kLimit, [this] { return result_.has_value(); });
        return result_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::optional<std::uint32_t> result_;
};

struct Range {
    std::string id;
    std::uint32_t status;
    std::uint64_t begin, end;
};

class Search final : public Orix::GDRV::IRecordingSearchHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Completed(const Orix::IContract*, const Orix::GDRV::RecordingRange* r, std::uint32_t n) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::uint32_t i = 0; i < n; ++i)
            ranges.push_back({r[i].id, r[i].status, r[i].begin, r[i].end});
        done(0);
    }
    void Failed(const Orix::IContract*, std::uint32_t result) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done(result);
    }
    std::optional<std::uint32_t> wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, kLimit, [this] { return result_.has_value(); });
        return result_;
    }
    std::vector<Range> ranges;

private:
    void done(std::uint32_t r)
    {
        result_ = r;
        cv_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::optional<std::uint32_t> result_;
};

// What playback delivered, in order: frame times, and "+id@time" when a recording started.
class Player final : public Orix::GDRV::IRecordingPlaybackHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void OnFrame(const Orix::IContract*, const Orix::GDRV::MediaFrame& f) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.push_back(f.timestamp);
        cv_.notify_all();
    }
    void OnRecordingStarted(const Orix::IContract*, const char* id, std::uint64_t) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        starts_.push_back({id, frames_.size()});
        cv_.notify_all();
    }
    void Ended(const Orix::IContract*, std::uint32_t r) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = r;
        cv_.notify_all();
    }
    void TornDown(const Orix::IContract*) override {}

    // Waits until a frame at or after time arrived.
    bool waitForFrameAt(std::uint64_t time)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, kLimit, [&] { return !frames_.empty() && frames_.back() >= time; });
    }
    std::vector<std::uint64_t> frames() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }
    std::optional<std::uint32_t> waitForEnd()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, kLimit, [&] { return ended_.has_value(); });
        return ended_;
    }
    // Recording id and the index of its first frame.
    std::vector<std::pair<std::string, std::size_t>> starts() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return starts_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::uint64_t> frames_;
    std::vector<std::pair<std::string, std::size_t>> starts_;
    std::optional<std::uint32_t> ended_;
};

class StorageLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim is not built";
        Orix::http::clearAuthenticationCache();
        camsim_ = std::make_unique<CamsimProcess>();
        Orix::GDRV::DeviceDescription description;
        description.models.push_back({"Axis", "generic", {"auto"}});
        device_ = std::make_unique<Vapixcam::Device>(&deviceHandler_, description, "generic", "", nullptr, log_);
        device_->Connect(camsim_->url().c_str());
        ASSERT_TRUE(deviceHandler_.waitFor(ConnectionState::Connected)) << log_->all();
        storage_ = static_cast<Orix::GDRV::IStorageDevice*>(
            device_->QueryContract(Orix::contractName<Orix::GDRV::IStorageDevice>()));
        ASSERT_NE(storage_, nullptr);

        auto* search = storage_->CreateRecordingSearch("0"); // every disk
        const std::uint64_t now = Orix::Utility::timeStamp();
        search->FindRecordings(now - 3600 * 1000, now + 3600 * 1000, &search_);
        const auto result = search_.wait();
        search->Destroy();
        ASSERT_EQ(result, 0u) << log_->all();
        ASSERT_EQ(search_.ranges.size(), 4u) << log_->all();
    }
    void TearDown() override
    {
        if (device_)
            device_->Disconnect();
        device_.reset();
    }

    const Range& recording(std::size_t i) const { return search_.ranges.at(i); }

    std::shared_ptr<TestSupport::CapturingLogger> log_ = std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler_;
    std::unique_ptr<CamsimProcess> camsim_;
    std::unique_ptr<Vapixcam::Device> device_;
    Orix::GDRV::IStorageDevice* storage_ = nullptr;
    Search search_;
};

// Steps between the frames [from, to) that are not 40 ms, as "index:step".
std::vector<std::string> irregularSteps(const std::vector<std::uint64_t>& frames, std::size_t from, std::size_t to)
{
    std::vector<std::string> out;
    for (std::size_t i = from + 1; i < to && i < frames.size(); ++i)
        if (frames[i] - frames[i - 1] != 40)
            out.push_back(std::to_string(i) + ":" + std::to_string(std::int64_t(frames[i] - frames[i - 1])));
    return out;
}

TEST_F(StorageLive, SearchReportsStatusAndClampsARunningRecordingToNow)
{
    EXPECT_EQ(recording(0).status, 1u);
    EXPECT_EQ(recording(1).begin, recording(0).end);
    EXPECT_EQ(recording(2).begin, recording(1).end + 4000);
    EXPECT_EQ(recording(3).status, 2u);
    EXPECT_TRUE(log_->contains("Incorrect recording end interval")) << log_->all();
}

TEST_F(StorageLive, BackToBackRecordingsJoinAndAGapShowsInFrameTimes)
{
    Player player;
    auto* playback = storage_->CreateRecordingPlayback("0.SD_DISK", &player);
    Waiter sought, played;
    playback->Seek(recording(0).begin, &sought);
    playback->Play(1.0, &played);
    ASSERT_EQ(sought.wait(), 0u);
    ASSERT_EQ(played.wait(), 0u) << log_->all();
    ASSERT_TRUE(player.waitForFrameAt(recording(2).begin)) << log_->all();
    playback->Teardown();
    playback->Destroy();

    const auto frames = player.frames();
    const auto starts = player.starts();
    ASSERT_GE(starts.size(), 3u);
    EXPECT_EQ(starts[0].first, recording(0).id);
    EXPECT_EQ(starts[1].first, recording(1).id);
    EXPECT_EQ(starts[2].first, recording(2).id);
    // 1 and 2: 150 frames 40 ms apart from the start of 1 to 40 ms before the end of 2.
    const std::size_t third = starts[2].second;
    ASSERT_EQ(third, 150u);
    EXPECT_EQ(frames.front(), recording(0).begin);
    EXPECT_EQ(frames[third - 1], recording(1).end - 40);
    EXPECT_TRUE(irregularSteps(frames, 0, third).empty()) << ::testing::PrintToString(irregularSteps(frames, 0, third));
    // 3 starts at its own time, not after the last frame of 2.
    EXPECT_EQ(frames[third], recording(2).begin);
}

TEST_F(StorageLive, SeekDuringPlaybackRestartsAtTheKeyFrameBeforeTheNewTime)
{
    Player player;
    auto* playback = storage_->CreateRecordingPlayback("0.SD_DISK", &player);
    Waiter sought, played, soughtAgain, playedAgain;
    playback->Seek(recording(0).begin, &sought);
    playback->Play(1.0, &played);
    ASSERT_EQ(played.wait(), 0u) << log_->all();
    ASSERT_TRUE(player.waitForFrameAt(recording(0).begin + 400));

    // 1.5 s into recording 2: the camera starts at its key frame of second 1.
    const std::uint64_t target = recording(1).begin + 1500;
    playback->Seek(target, &soughtAgain);
    playback->Play(1.0, &playedAgain);
    ASSERT_EQ(soughtAgain.wait(), 0u);
    ASSERT_EQ(playedAgain.wait(), 0u) << log_->all();
    ASSERT_TRUE(player.waitForFrameAt(target + 400)) << log_->all();
    playback->Teardown();
    playback->Destroy();

    const auto frames = player.frames();
    const auto starts = player.starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].first, recording(1).id);
    const std::size_t after = starts[1].second;
    ASSERT_LT(after, frames.size());
    EXPECT_EQ(frames[after], recording(1).begin + 1000);
    EXPECT_TRUE(irregularSteps(frames, after, frames.size()).empty());
    EXPECT_TRUE(log_->contains(" Teardown current session because new seek time provided"));
}

TEST_F(StorageLive, ConnectionDroppedInsideARecordingResumesIt)
{
    camsim_->injectFault("/axis-media/media.amp", "end:1", 1);
    Player player;
    auto* playback = storage_->CreateRecordingPlayback("0.SD_DISK", &player);
    Waiter sought, played;
    playback->Seek(recording(0).begin, &sought);
    playback->Play(1.0, &played);
    ASSERT_EQ(played.wait(), 0u) << log_->all();
    ASSERT_TRUE(player.waitForFrameAt(recording(1).begin)) << log_->all();
    playback->Teardown();
    playback->Destroy();

    // The camera restarts at the key frame before the break: frames of that
    // second come twice, with their true times, and recording 1 is played to its end.
    const auto frames = player.frames();
    const auto starts = player.starts();
    ASSERT_GE(starts.size(), 3u) << log_->all();
    EXPECT_EQ(starts[1].first, recording(0).id);
    EXPECT_EQ(starts[2].first, recording(1).id);
    const std::size_t resumed = starts[1].second, next = starts[2].second;
    ASSERT_GT(resumed, 0u);
    EXPECT_EQ((frames[resumed] - recording(0).begin) % 1000, 0u);
    EXPECT_LE(frames[resumed], frames[resumed - 1]);
    EXPECT_TRUE(irregularSteps(frames, resumed, next).empty());
    EXPECT_EQ(frames[next - 1], recording(0).end - 40);
    EXPECT_TRUE(log_->contains(" Recording ended early")) << log_->all();
}

TEST_F(StorageLive, PullSpeedAsksForPulledDelivery)
{
    struct Case {
        double speed;
        bool pull;
    } cases[] = {{1.0, false}, {1000.0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        const std::size_t before = camsim_->requests().size();
        Player player;
        auto* playback = storage_->CreateRecordingPlayback("0.SD_DISK", &player);
        Waiter sought, played;
        playback->Seek(recording(2).begin, &sought);
        playback->Play(c.speed, &played);
        ASSERT_EQ(played.wait(), 0u) << log_->all();
        ASSERT_TRUE(player.waitForFrameAt(recording(2).begin));
        playback->Teardown();
        playback->Destroy();
        bool described = false;
        const auto requests = camsim_->requests();
        for (std::size_t i = before; i < requests.size(); ++i)
            if (const auto& r = requests[i]; r.method == "DESCRIBE" && r.target.find("recordingid=" + recording(2).id) != std::string::npos) {
                described = true;
                EXPECT_EQ(r.target.find("&pull=1") != std::string::npos, c.pull) << r.target;
            }
        EXPECT_TRUE(described);
    }
}

TEST_F(StorageLive, PlaybackEndsAfterTheLastRecordingOfTheDisk)
{
    Player player;
    auto* playback = storage_->CreateRecordingPlayback("0.SD_DISK", &player);
    Waiter sought, played;
    playback->Seek(recording(2).begin + 2500, &sought);
    playback->Play(1.0, &played);
    ASSERT_EQ(played.wait(), 0u) << log_->all();
    EXPECT_EQ(player.waitForEnd(), 0u) << log_->all();
    playback->Destroy();
    const auto frames = player.frames();
    ASSERT_EQ(frames.size(), 25u); // from the key frame of the last second
    EXPECT_EQ(frames.back(), recording(2).end - 40);
    EXPECT_TRUE(log_->contains(" Last fragment found. Stoping playback"));
}

TEST_F(StorageLive, PlaybackRefusesReversePlayAndRequestsAfterTeardown)
{
    Player player;
    auto* playback = storage_->CreateRecordingPlayback("0.SD_DISK", &player);
    Waiter reverse, late;
    playback->Play(-1.0, &reverse);
    EXPECT_EQ(reverse.wait(), static_cast<std::uint32_t>(Orix::NotSupported));
    playback->Teardown();
    playback->Teardown();
    playback->Play(1.0, &late);
    EXPECT_EQ(late.wait(), static_cast<std::uint32_t>(Orix::InProgress));
    playback->Destroy();
    EXPECT_TRUE(player.frames().empty());
    EXPECT_TRUE(log_->contains(" Already terminated"));
}

class Sources final : public Orix::GDRV::IStorageSourcesHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Completed(const Orix::IContract*, const Orix::GDRV::StorageSourceDescription* s, std::uint32_t n) override
    {
        ids.clear();
        for (std::uint32_t i = 0; i < n; ++i)
            ids.push_back(std::string(s[i].id) + "/" + std::to_string(s[i].trackCount));
        result = 0;
    }
    void Failed(const Orix::IContract*, std::uint32_t r) override { result = r; }
    std::vector<std::string> ids;
    std::optional<std::uint32_t> result;
};

// Storage sources are answered on the caller's thread: no waiting needed.
TEST(StorageSources, OnePerChannelAndDiskAndNoneWithoutDisks)
{
    if (!CamsimProcess::available())
        GTEST_SKIP() << "camsim is not built";
    struct Case {
        const char* name;
        std::vector<std::string> faults;
        std::vector<std::string> ids;
    } cases[] = {
        {"two disks", {}, {"0.SD_DISK/2", "0.NetworkShare/2"}},
        {"no disk list", {"/axis-cgi/disks/list.cgi=status:404"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Orix::http::clearAuthenticationCache();
        TestSupport::CamsimOptions options;
        options.faults = c.faults;
        CamsimProcess camsim(options);
        auto log = std::make_shared<TestSupport::CapturingLogger>(0);
        TestSupport::RecordingDeviceHandler handler;
        Orix::GDRV::DeviceDescription description;
        description.models.push_back({"Axis", "generic", {"auto"}});
        Vapixcam::Device device(&handler, description, "generic", "", nullptr, log);
        device.Connect(camsim.url().c_str());
        ASSERT_TRUE(handler.waitFor(ConnectionState::Connected)) << log->all();
        auto* storage = static_cast<Orix::GDRV::IStorageDevice*>(
            device.QueryContract(Orix::contractName<Orix::GDRV::IStorageDevice>()));
        Sources listed, known, unknown;
        storage->ListStorageSources(&listed);
        EXPECT_EQ(listed.result, 0u);
        EXPECT_EQ(listed.ids, c.ids);
        storage->DescribeStorageSource("0.SD_DISK", &known);
        EXPECT_EQ(known.ids, (std::vector<std::string>{"0.SD_DISK/2"}));
        storage->DescribeStorageSource("1.SD_DISK", &unknown); // the camera has one channel
        EXPECT_EQ(unknown.result, static_cast<std::uint32_t>(Orix::NoConnection));
        device.Disconnect();
    }
}

} // namespace

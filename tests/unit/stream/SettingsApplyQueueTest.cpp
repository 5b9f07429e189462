// The settings apply queue: calls before Start wait, calls run one at a time
// in the host's order, and closing answers every call exactly once.
#include "SettingsApplyQueue.h"

#include <gtest/gtest.h>
#include <orix/ErrorCodes.h>

using Vapixcam::SettingsApplyQueue;

namespace {

class RecordingHandler final : public Orix::IAsyncActionHandler {
public:
    explicit RecordingHandler(std::vector<std::pair<int, std::uint32_t>>& answers, int id)
        : answers_(answers), id_(id)
    {
    }
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(const Orix::IContract*, std::uint32_t result) override { answers_.emplace_back(id_, result); }

private:
    std::vector<std::pair<int, std::uint32_t>>& answers_;
    int id_;
};

TEST(SettingsApplyQueue, WaitsForStartRunsOneAtATimeInOrderAndCloseAnswersTheRest)
{
    std::vector<std::pair<int, std::uint32_t>> answers;
    std::vector<RecordingHandler> handlers;
    for (int id = 0; id < 4; ++id)
        handlers.emplace_back(answers, id);

    std::vector<SettingsApplyQueue::Finish> running; // finish of each call being applied
    auto queue = SettingsApplyQueue::create(nullptr, [&](const auto&, SettingsApplyQueue::Finish finish) {
        running.push_back(std::move(finish));
    });
    auto call = [&](int id) {
        return Orix::Utility::wrapAsyncActionHandler(&handlers[id], nullptr, "ApplySettings");
    };

    queue->push(call(0));
    queue->push(call(1));
    EXPECT_TRUE(running.empty()) << "nothing is sent before Start";

    queue->setRunning(true);
    ASSERT_EQ(running.size(), 1u) << "one at a time";
    queue->push(call(2));
    running[0](Orix::Ok);
    ASSERT_EQ(running.size(), 2u);
    running[0](Orix::GenericFailure); // a second finish of the same call changes nothing
    running[1](Orix::GenericFailure);
    ASSERT_EQ(running.size(), 3u);

    queue->setRunning(false);
    queue->push(call(3));
    queue->close(Orix::NotStarted);
    running[2](Orix::Ok); // the writer completes after the close
    EXPECT_EQ(running.size(), 3u);

    const std::vector<std::pair<int, std::uint32_t>> expected{
        {0, Orix::Ok}, {1, Orix::GenericFailure}, {2, Orix::NotStarted}, {3, Orix::NotStarted}};
    EXPECT_EQ(answers, expected);
}

} // namespace

// Digital IO end to end: vapixcam io watch against camsim's P3245-LVE (one
// input, one output). Inputs toggled in camsim reach the host once each, a
// relay set with vapixcam io relay changes camsim's output and comes back
// through the output monitor, a cut monitor stream is reopened without
// repeating a state, and virtual inputs answer 0 or, refused, 2048.
#include "support/CamsimProcess.h"
#include "support/ProcessRunner.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

// The tools of the plain build, also when the tests themselves run sanitized.
const std::string kBin = CamsimProcess::toolsDirectory();
const std::string kVapixcam = kBin + "/vapixcam";
constexpr std::chrono::seconds kLimit{60}; // hang guards only

Json::Value parseJson(const std::string& text)
{
    Json::Value root;
    std::istringstream in(text);
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr))
        ADD_FAILURE() << "not JSON:\n" << text;
    return root;
}

Json::Value camsimIo(const CamsimProcess& camsim, const std::string& body = {})
{
    const auto answer =
        TestSupport::plainHttpRequest(camsim.httpPort(), body.empty() ? "GET" : "POST", "/camsim/io", body);
    EXPECT_EQ(answer.status, 200) << answer.body;
    return parseJson(answer.body);
}

// Waits until camsim has exactly n monitor streams open.
bool waitForMonitors(const CamsimProcess& camsim, unsigned n)
{
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (std::chrono::steady_clock::now() < end) {
        if (camsimIo(camsim)["monitors"].asUInt() == n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The next state line vapixcam io watch prints, as "ray 0 on".
std::string nextState(TestSupport::ChildProcess& watch)
{
    std::string line;
    if (!watch.readLine(line, kLimit))
        return "(no line: " + watch.stderrText() + ")";
    const Json::Value state = parseJson(line);
    return state["type"].asString() + " " + std::to_string(state["number"].asUInt()) +
           (state["active"].asBool() ? " on" : " off");
}

TEST(IoCli, StatesReachTheHostOnceRelaysComeBackAndACutMonitorRepeatsNothing)
{
    if (access(kVapixcam.c_str(), X_OK) != 0 || !CamsimProcess::available())
        GTEST_SKIP() << "vapixcam or camsim is not built in " << kBin;
    CamsimOptions options;
    options.model = "P3245-LVE";
    CamsimProcess camsim(options);
    TestSupport::ChildProcess watch({kVapixcam, "io", camsim.url(), "watch"});

    // The state check's first states, in port order.
    EXPECT_EQ(nextState(watch), "ray 0 off");
    EXPECT_EQ(nextState(watch), "relay 0 off");
    ASSERT_TRUE(waitForMonitors(camsim, 2));

    for (const bool active : {true, false, true})
        camsimIo(camsim, std::string("{\"port\":1,\"active\":") + (active ? "true" : "false") + "}");
    EXPECT_EQ(nextState(watch), "ray 0 on");
    EXPECT_EQ(nextState(watch), "ray 0 off");
    EXPECT_EQ(nextState(watch), "ray 0 on");

    const auto relay = TestSupport::runProcess({kVapixcam, "io", camsim.url(), "relay", "0", "on"}, kLimit);
    ASSERT_TRUE(relay.exited(0)) << relay.summary();
    EXPECT_EQ(parseJson(relay.out)["result"].asUInt(), 0u);
    EXPECT_TRUE(camsimIo(camsim)["ports"][1]["active"].asBool());
    EXPECT_EQ(nextState(watch), "relay 0 on");

    // The relay command's own channel has gone; then the watch's monitors
    // are cut and come back with a new check that tells nothing new.
    ASSERT_TRUE(waitForMonitors(camsim, 2));
    EXPECT_EQ(camsimIo(camsim, "{\"cut\":true}")["cut"].asUInt(), 2u);
    ASSERT_TRUE(waitForMonitors(camsim, 2));
    camsimIo(camsim, "{\"port\":1,\"active\":false}");
    EXPECT_EQ(nextState(watch), "ray 0 off");

    watch.stop();
    std::string rest;
    watch.readAll(rest, kLimit);
    EXPECT_EQ(rest, "");
    std::size_t checks = 0;
    for (const auto& r : camsim.requests())
        checks += r.target == "/axis-cgi/io/port.cgi?check=1,2" ? 1 : 0;
    EXPECT_EQ(checks, 3u); // the watch twice, the relay command once
}

TEST(IoCli, VirtualInputsAnswerTheirResult)
{
    if (access(kVapixcam.c_str(), X_OK) != 0 || !CamsimProcess::available())
        GTEST_SKIP() << "vapixcam or camsim is not built in " << kBin;
    CamsimProcess camsim;
    const struct {
        const char* number;
        const char* state;
        int exit;
        unsigned result;
    } cases[] = {
        {"0", "on", 0, 0},
        {"0", "off", 0, 0},
        {"4", "on", 0, 0},
        {"40", "on", 1, 2048}, // camsim has 32: ErrorCode 20
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.number) + " " + c.state);
        const auto run = TestSupport::runProcess({kVapixcam, "io", camsim.url(), "virtual", c.number, c.state}, kLimit);
        EXPECT_TRUE(run.exited(c.exit)) << run.summary();
        const Json::Value out = parseJson(run.out);
        EXPECT_EQ(out["result"].asUInt(), c.result);
        EXPECT_FALSE(out["meaning"].asString().empty());
    }
    const Json::Value state = camsimIo(camsim)["virtualInputs"];
    EXPECT_FALSE(state["1"].asBool());
    EXPECT_TRUE(state["5"].asBool());
}

} // namespace

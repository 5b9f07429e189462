#include "support/FakeHost.h"

#include <gtest/gtest.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/params/SimpleAdjuster.h>
#include <orix/ErrorCodes.h>

using namespace Orix::Utility;

namespace {

TEST(ParametersContainer, TypedReadsConvertAcrossTypesOrFallBack)
{
    ParametersContainer c;
    c.setPersistentParam("signalLostTimeout", std::string("30"));
    c.setPersistentParam("fps", 25);
    c.setPersistentParam("mirror", std::string("yes"));
    c.setPersistentParam("wdr", std::string("maybe"));
    c.setPersistentParam("gain", 2.75);
    c.setPersistentParam("enabled", true);
    c.setDefaultValue("transportProtocol", std::string("tcp"));
    c.setDefaultValue("fps", 30);

    const struct {
        const char* name;
        int asInt;
        bool asBool;
        const char* asString;
    } cases[] = {
        {"signalLostTimeout", 30, false /* "30" is no bool word */, "30"},
        {"fps", 25, true, "25"},  // persistent value wins over the default
        {"mirror", -1, true, "yes"},
        {"wdr", -1, false, "maybe"},
        {"gain", 2, true, "2.75"},
        {"enabled", 1, true, "true"},
        {"transportProtocol", -1, false, "tcp"},  // default only
        {"missing", -1, false, "fallback"},
    };
    for (const auto& c2 : cases) {
        SCOPED_TRACE(c2.name);
        EXPECT_EQ(c.getInt(c2.name, -1), c2.asInt);
        EXPECT_EQ(c.getBool(c2.name, false), c2.asBool);
        EXPECT_EQ(c.getString(c2.name, "fallback"), c2.asString);
    }
}

TEST(ParametersContainer, PendingChangesComeOutInOrderAndUpdateStoresThem)
{
    ParametersContainer c;
    ParamMap out;
    EXPECT_FALSE(c.popParameters(out));
    c.pushParameters({{"codec", std::string("H265")}});
    c.pushParameters({{"fps", 15}, {"codec", std::string("MJPEG")}});
    ASSERT_TRUE(c.popParameters(out));
    EXPECT_EQ(out.size(), 1u);
    c.updateParams(out);
    EXPECT_EQ(c.getString("codec"), "H265");
    ASSERT_TRUE(c.popParameters(out));
    c.updateParams(out);
    EXPECT_EQ(c.getString("codec"), "MJPEG");
    EXPECT_EQ(c.getInt("fps"), 15);
    EXPECT_FALSE(c.popParameters(out));
}

class Adjuster final : public SimpleAdjuster {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void ApplySettings(Orix::IAsyncActionHandler*) override {}
};

TEST(SimpleAdjuster, CollectsTheLastValueOfEachNameUntilTaken)
{
    Adjuster a;
    EXPECT_EQ(a.SetValue("codec", "H264"), Orix::Ok);
    EXPECT_EQ(a.SetValue("fps", 10), Orix::Ok);
    EXPECT_EQ(a.SetValue("fps", 12), Orix::Ok);
    EXPECT_EQ(a.SetValue("mirror", true), Orix::Ok);
    EXPECT_EQ(a.SetValue("zoom", 1.5), Orix::Ok);
    EXPECT_EQ(a.SetValue(nullptr, 1), Orix::InvalidArgument);
    EXPECT_EQ(a.SetValue("", 1), Orix::InvalidArgument);
    EXPECT_EQ(a.SetValue("codec", static_cast<const char*>(nullptr)), Orix::InvalidArgument);
    const ParamMap values = a.takeCollected();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(std::get<int>(values.at("fps")), 12);
    EXPECT_EQ(std::get<std::string>(values.at("codec")), "H264");
    EXPECT_TRUE(a.takeCollected().empty());
}

class ActionHandler final : public Orix::IAsyncActionHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(const Orix::IContract*, std::uint32_t result) override
    {
        results.push_back(result);
        if (throwOnCall)
            throw std::runtime_error("host fault");
    }
    std::vector<std::uint32_t> results;
    bool throwOnCall = false;
};

TEST(HandlerWrappers, EachHandlerIsAnsweredExactlyOnce)
{
    auto sink = std::make_shared<TestSupport::CapturingLogger>(0);
    {
        ActionHandler handler;
        {
            auto wrapped = wrapAsyncActionHandler(&handler, sink, "ApplySettings");
            wrapped->finish(nullptr, 0);
            wrapped->finish(nullptr, 12);
        }
        EXPECT_EQ(handler.results, std::vector<std::uint32_t>{0});
    }
    {
        ActionHandler handler;
        { auto dropped = wrapAsyncActionHandler(&handler, sink, "ApplySettings"); }
        EXPECT_EQ(handler.results, std::vector<std::uint32_t>{Orix::GenericFailure});
        EXPECT_TRUE(sink->contains("ApplySettings was dropped without an answer"));
    }
    {
        ActionHandler handler;
        handler.throwOnCall = true;
        auto wrapped = wrapAsyncActionHandler(&handler, sink, "ApplySettings");
        EXPECT_NO_THROW(wrapped->finish(nullptr, 9));
        EXPECT_TRUE(sink->contains("ApplySettings handler threw std::exception - host fault"));
    }
    {
        TestSupport::RecordingParametersHandler handler;
        {
            auto wrapped = wrapDynamicParametersHandler(&handler, sink, "AcquireDynamicParameters");
            wrapped->completed(nullptr, "{\"schemaVersion\" : 1}");
            wrapped->failed(nullptr, 12);
        }
        EXPECT_EQ(handler.calls(), 1);
        EXPECT_EQ(handler.json(), "{\"schemaVersion\" : 1}");
    }
}

TEST(HandlerHolder, HoldsOneHandlerBetweenStartAndStop)
{
    HandlerHolder<ActionHandler> holder;
    ActionHandler a, b;
    EXPECT_FALSE(holder.started());
    EXPECT_FALSE(holder.start(nullptr));
    EXPECT_TRUE(holder.start(&a));
    EXPECT_FALSE(holder.start(&b));
    EXPECT_EQ(holder.get(), &a);
    EXPECT_TRUE(holder.stop());
    EXPECT_FALSE(holder.stop());
    EXPECT_TRUE(holder.start(&b));
}

} // namespace

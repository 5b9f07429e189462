#include "FaultInjector.h"
#include "RequestLog.h"

#include <gtest/gtest.h>

using Camsim::FaultSpec;

TEST(FaultInjector, SpecsParse)
{
    const struct {
        const char* text;
        FaultSpec::Kind kind;
        int status;
        long delayMs;
        std::optional<unsigned> count;
    } cases[] = {
        {"status:404", FaultSpec::Kind::Status, 404, 0, std::nullopt},
        {"status:503,count:2", FaultSpec::Kind::Status, 503, 0, 2u},
        {"count:1,status:500", FaultSpec::Kind::Status, 500, 0, 1u},
        {"delay:1500", FaultSpec::Kind::Delay, 0, 1500, std::nullopt},
        {"close", FaultSpec::Kind::Close, 0, 0, std::nullopt},
        {"empty,count:3", FaultSpec::Kind::Empty, 0, 0, 3u},
        {"garbage", FaultSpec::Kind::Garbage, 0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto spec = Camsim::parseFaultSpec(c.text, error);
        ASSERT_TRUE(spec) << error;
        EXPECT_EQ(spec->kind, c.kind);
        EXPECT_EQ(spec->status, c.status);
        EXPECT_EQ(spec->delay.count(), c.delayMs);
        EXPECT_EQ(spec->count, c.count);
    }
}

TEST(FaultInjector, BadSpecsAreErrors)
{
    for (const char* text : {"", "status", "status:99", "status:600", "status:abc", "delay:-5", "delay:600001",
                             "close:1", "count:2", "status:404,count:0", "status:404,close", "reset", ","}) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(Camsim::parseFaultSpec(text, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(FaultInjector, CountedFaultsHitTheNextRequestsOnly)
{
    Camsim::FaultInjector faults;
    std::string error;
    faults.set("/axis-cgi/param.cgi", *Camsim::parseFaultSpec("status:503,count:2", error));
    faults.set("/axis-cgi/io/port.cgi", *Camsim::parseFaultSpec("close", error));
    EXPECT_FALSE(faults.take("/axis-cgi/param.cgi?action=list"));
    ASSERT_TRUE(faults.take("/axis-cgi/param.cgi"));
    ASSERT_TRUE(faults.take("/axis-cgi/param.cgi"));
    EXPECT_FALSE(faults.take("/axis-cgi/param.cgi"));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(faults.take("/axis-cgi/io/port.cgi"));
    faults.clear("/axis-cgi/io/port.cgi");
    EXPECT_FALSE(faults.take("/axis-cgi/io/port.cgi"));
}

TEST(RequestLog, PasswordsInTargetsAreMasked)
{
    const struct {
        const char* target;
        const char* logged;
    } cases[] = {
        {"/axis-cgi/param.cgi?action=list&group=Brand", "/axis-cgi/param.cgi?action=list&group=Brand"},
        {"/axis-cgi/pwdgrp.cgi?action=update&user=root&pwd=secret", "/axis-cgi/pwdgrp.cgi?action=update&user=root&pwd=****"},
        {"/x?PASSWORD=a&b=1&passwd=c", "/x?PASSWORD=****&b=1&passwd=****"},
        {"/no/query", "/no/query"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(Camsim::redactTarget(c.target), c.logged);
    }
}

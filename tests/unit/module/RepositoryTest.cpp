#include "support/FakeHost.h"

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>
#include <netkit/module/ModuleDriver.h>
#include <netkit/repository/RepositoryReader.h>

using Orix::GDRV::DriverInfo;
using Orix::Utility::findDeviceDescription;
using Orix::Utility::RepositoryReader;

namespace {

const char* const kRepository = R"(
driver { name "Velto.Vapixcam" version 7 }
groups
{
    Properties { codec { values { "" H264 "" MJPEG } } }
    ignorePropertiesGroup { "P7214" "irCutFilter" }
}
devices
{
    device
    {
        models { model { vendor Axis name generic firmware { "" auto } } }
        videoSources { source { streams { "" main "" second } detectors { "" MotionDetection } } }
    }
    device
    {
        models
        {
            model { vendor Axis name "P7214" firmware { "" 5.51.2 "" 5.51.7 } }
            model { vendor Axis name "P7216" firmware { "" 5.51.2 } }
        }
        videoSources
        {
            source { streams { "" main "" second } detectors { "" MotionDetection "" TamperingDetection } }
            source { streams { "" main } detectors { } }
        }
        telemetry { "" ptz1 "" ptz2 }
        audioSources { "" in }
        audioDestinations { }
        other { "" x }
        ioDevices { "" io }
    }
    device
    {
        models { model { vendor Acme name "P7214" firmware { "" 1.0 } } }
    }
}
)";

DriverInfo load(const char* text)
{
    DriverInfo info;
    RepositoryReader reader(std::make_shared<TestSupport::CapturingLogger>());
    EXPECT_EQ(reader.loadFromString(text, info), 0);
    return info;
}

TEST(RepositoryReader, ReadsDriverGroupsAndDescriptionsInOrder)
{
    const DriverInfo info = load(kRepository);
    EXPECT_EQ(info.name, "Velto.Vapixcam");
    EXPECT_EQ(info.version, 7u);
    ASSERT_EQ(info.groups.count("Properties"), 1u);
    EXPECT_EQ(info.groups.at("ignorePropertiesGroup")->get<std::string>("P7214"), "irCutFilter");
    ASSERT_EQ(info.devices.size(), 3u);
    EXPECT_TRUE(info.devices[0].isGeneric());
    const auto& encoder = info.devices[1];
    EXPECT_FALSE(encoder.isGeneric());
    ASSERT_EQ(encoder.models.size(), 2u);
    EXPECT_EQ(encoder.models[0].firmwares, (std::vector<std::string>{"5.51.2", "5.51.7"}));
    ASSERT_EQ(encoder.videoSources.size(), 2u);
    EXPECT_EQ(encoder.videoSources[0].detectors,
              (std::vector<std::string>{"MotionDetection", "TamperingDetection"}));
    EXPECT_EQ(encoder.videoSources[1].streams.size(), 1u);
    EXPECT_EQ(encoder.telemetryChannels.size(), 2u);
    EXPECT_EQ(encoder.audioSources.size(), 1u);
    EXPECT_EQ(encoder.audioDestinations.size(), 0u);
    EXPECT_EQ(encoder.otherChannels.size(), 1u);
    EXPECT_EQ(encoder.ioDevices.size(), 1u);
}

TEST(RepositoryReader, RefusesBrokenFilesWithoutTouchingTheTarget)
{
    const struct {
        const char* name;
        const char* text;
        const char* logged;
    } cases[] = {
        {"unbalanced braces", "driver { name x version 1 ", "syntax error"},
        {"no driver block", "devices { device { models { model { vendor A name B } } } }", "content error"},
        {"version not a number", "driver { name x version one } devices { device { models { model { vendor A name B } } } }", "content error"},
        {"no devices", "driver { name x version 1 } devices { }", "content error"},
        {"description without model", "driver { name x version 1 } devices { device { videoSources { } } }", "content error"},
        {"model without name", "driver { name x version 1 } devices { device { models { model { vendor A } } } }", "content error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto sink = std::make_shared<TestSupport::CapturingLogger>();
        RepositoryReader reader(sink);
        DriverInfo info;
        info.name = "untouched";
        EXPECT_NE(reader.loadFromString(c.text, info), 0);
        EXPECT_EQ(info.name, "untouched");
        EXPECT_TRUE(sink->contains(c.logged)) << sink->all();
    }
}

TEST(RepositoryReader, MissingFileIsAnError)
{
    DriverInfo info;
    RepositoryReader reader(std::make_shared<TestSupport::CapturingLogger>());
    EXPECT_NE(reader.load("/nonexistent/Velto.Vapixcam.rep", info), 0);
}

TEST(RepositoryReader, ShippedRepositoryLoads)
{
    DriverInfo info;
    RepositoryReader reader(std::make_shared<TestSupport::CapturingLogger>());
    ASSERT_EQ(reader.load(std::string(VAPIXCAM_SOURCE_DIR) + "/data/Velto.Vapixcam.rep", info), 0);
    EXPECT_EQ(info.name, "Velto.Vapixcam");
    ASSERT_FALSE(info.devices.empty());
    EXPECT_TRUE(info.devices.front().isGeneric());
    for (const char* group : {"Properties", "VSPropertiesGroups", "StreamingPropertiesGroups",
                              "ignorePropertiesGroup"}) {
        SCOPED_TRACE(group);
        EXPECT_EQ(info.groups.count(group), 1u);
    }
    for (const char* model : {"M1065-LW", "P3245-LVE", "P5512", "P7214", "M3058-PLVE"}) {
        SCOPED_TRACE(model);
        EXPECT_NE(findDeviceDescription(info, "Axis", model, ""), nullptr);
    }
    EXPECT_EQ(findDeviceDescription(info, "Axis", "P7214", "")->videoSources.size(), 4u);
}

TEST(FindDeviceDescription, ExactSearchThenModelOnlyFallback)
{
    const DriverInfo info = load(kRepository);
    const auto* generic = &info.devices[0];
    const auto* encoder = &info.devices[1];
    const auto* acme = &info.devices[2];
    const struct {
        const char* name;
        const char* vendor;
        const char* model;
        const char* firmware;
        const Orix::GDRV::DeviceDescription* expected;
    } cases[] = {
        {"exact with firmware", "Axis", "P7214", "5.51.7", encoder},
        {"second model entry", "Axis", "P7216", "5.51.2", encoder},
        {"empty firmware matches first entry", "Axis", "P7214", "", encoder},
        {"other vendor exact", "Acme", "P7214", "1.0", acme},
        {"unknown firmware falls back to model", "Axis", "P7214", "9.99", encoder},
        {"unknown vendor falls back to model", "Sony", "P7214", "5.51.7", encoder},
        {"vendor match is case-sensitive", "axis", "P7216", "5.51.2", encoder},
        {"generic", "Axis", "generic", "", generic},
        {"generic any vendor", "Other", "generic", "x", generic},
        {"unknown model", "Axis", "Q6135-LE", "", nullptr},
        {"model match is case-sensitive", "Axis", "p7214", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(findDeviceDescription(info, c.vendor, c.model, c.firmware), c.expected);
    }
}

} // namespace

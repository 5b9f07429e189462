#include "DeviceSearch.h"
#include "support/FakeHost.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceSearch, ModelOfInstanceName)
{
    const struct {
        const char* instance;
        std::optional<std::string> model;
    } cases[] = {
        {"AXIS P3245-LVE - ACCC8E123456._axis-video._tcp.local", "P3245-LVE"},
        {"AXIS M1065-LW - ACCC12345678._axis-video._tcp.local.", "M1065-LW"},
        {"AXIS Companion Bullet LE - ACCC8EF7DE6B._axis-video._tcp.local", "Companion Bullet LE"},
        {"AXIS P5512 (Lobby) - 00408CFB6888._axis-video._tcp.local", "P5512"},
        {"AXIS T8705 - Debian - ACCC8E9145C1._axis-video._tcp.local", "T8705"},
        {"AXIS Q1656._axis-video._tcp.local", "Q1656"},
        {"Hikvision DS-2CD2043 - 123._axis-video._tcp.local", std::nullopt},
        {"axis p3245 - ACCC8E123456._axis-video._tcp.local", std::nullopt},
        {"AXIS P3245-LVE - ACCC8E123456._http._tcp.local", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instance);
        EXPECT_EQ(Vapixcam::DeviceSearch::modelOfInstanceName(c.instance), c.model);
    }
}

TEST(DeviceSearch, ResultIsAGenericAxisDeviceWithTheAnnouncedMac)
{
    auto info = std::make_shared<Orix::GDRV::DriverInfo>();
    info->name = "Velto.Vapixcam";
    info->version = 7;
    Vapixcam::DeviceSearch search(nullptr, std::make_shared<TestSupport::CapturingLogger>(0), info);
    const struct {
        std::map<std::string, std::string> txt;
        const char* mac;
    } cases[] = {{{{"macaddress", "ACCC8E0CBE87"}}, "ACCC8E0CBE87"}, {{}, ""}};
    for (const auto& c : cases) {
        const auto result = search.makeResult("192.168.0.90", 80, c.txt);
        EXPECT_STREQ(result.GetVendor(), "Axis");
        EXPECT_STREQ(result.GetModel(), "generic");
        EXPECT_STREQ(result.GetFirmware(), "auto");
        EXPECT_STREQ(result.GetAddress(), "192.168.0.90");
        EXPECT_EQ(result.GetPort(), 80u);
        EXPECT_STREQ(result.GetMacAddress(), c.mac);
        EXPECT_STREQ(result.GetDriverName(), "Velto.Vapixcam");
        EXPECT_EQ(result.GetDriverVersion(), 7u);
        EXPECT_STREQ(result.GetConnectionDetails(), "");
    }
}

} // namespace

#include "ModuleState.h"
#include "support/FakeHost.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <netkit/util/Contract.h>
#include <orix/gdrv/IModule.h>

namespace {

class FakeModuleHost final : public Orix::PLUGIN::IModuleHost {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    Orix::ILogger* GetLogger() override { return &logger; }
    TestSupport::CapturingLogger logger{0};
};

std::string repositoryDir()
{
    return std::string(VAPIXCAM_SOURCE_DIR) + "/data";
}

class ModuleStateTest : public ::testing::Test {
protected:
    void TearDown() override { Vapixcam::ModuleState::instance().fini(); }
    Vapixcam::ModuleState& state = Vapixcam::ModuleState::instance();
    FakeModuleHost host;
};

TEST_F(ModuleStateTest, LifeCycle)
{
    EXPECT_EQ(state.module(), nullptr);
    EXPECT_FALSE(state.init(nullptr, repositoryDir().c_str()));
    EXPECT_FALSE(state.init(&host, nullptr));
    EXPECT_FALSE(state.init(&host, "/nonexistent-dir"));
    EXPECT_EQ(state.module(), nullptr);

    ASSERT_TRUE(state.init(&host, repositoryDir().c_str()));
    Orix::GDRV::IModule* first = state.module();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(state.init(&host, repositoryDir().c_str()));
    EXPECT_EQ(state.module(), first);

    state.fini();
    EXPECT_EQ(state.module(), nullptr);
    ASSERT_TRUE(state.init(&host, repositoryDir().c_str()));
    EXPECT_NE(state.module(), nullptr);
}

TEST_F(ModuleStateTest, ModuleAnswersItsContractsOnly)
{
    ASSERT_TRUE(state.init(&host, repositoryDir().c_str()));
    Orix::GDRV::IModule* module = state.module();
    EXPECT_EQ(module->QueryConstContract(nullptr), nullptr);
    EXPECT_EQ(module->QueryContract(Orix::contractName<Orix::IContract>()),
              static_cast<Orix::IContract*>(module));
    EXPECT_EQ(module->QueryContract(Orix::contractName<Orix::GDRV::IModule>()),
              static_cast<Orix::IContract*>(module));
    EXPECT_EQ(module->QueryContract(Orix::contractName<Orix::GDRV::IDevice>()), nullptr);
    EXPECT_EQ(module->QueryContract("IModule"), nullptr);
}

TEST_F(ModuleStateTest, CreateDeviceUsesExactThenModelOnlySearch)
{
    ASSERT_TRUE(state.init(&host, repositoryDir().c_str()));
    Orix::GDRV::IModule* module = state.module();
    TestSupport::RecordingDeviceHandler handler;
    const struct {
        const char* vendor;
        const char* model;
        const char* firmware;
        bool created;
    } cases[] = {
        {"Axis", "M1065-LW", "9.10.1", true},
        {"Axis", "M1065-LW", "", true},
        {"Unknown", "P7214", "0.0", true},
        {"Axis", "generic", "auto", true},
        {"Axis", "NoSuchModel", "", false},
        {nullptr, nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model ? c.model : "null");
        Orix::GDRV::IDevice* device = module->CreateDevice(&handler, c.vendor, c.model, c.firmware);
        EXPECT_EQ(device != nullptr, c.created);
        if (device)
            device->Destroy();
    }
}

} // namespace

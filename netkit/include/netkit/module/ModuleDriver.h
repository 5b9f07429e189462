#pragma once
// The module object the host obtains from getModule(): the factory of
// devices, the device search and the autodetect tool. Settings supplies the
// logger and the three creation functions:
//
//   static LoggerPtr logger();
//   static GDRV::IDevice* createDevice(GDRV::IDeviceHandler*, const GDRV::DeviceDescription&,
//                                      const std::string& model, const std::string& firmware,
//                                      GDRV::DriverInfoPtr, LoggerPtr);
//   static GDRV::IAutodetect* createAutodetect(GDRV::IAutodetectHandler*, GDRV::DriverInfoPtr);
//   static GDRV::IDeviceSearch* createDeviceSearch(GDRV::IDeviceSearchHandler*, GDRV::DriverInfoPtr);
#include <netkit/util/Contract.h>
#include <netkit/util/Logging.h>
#include <new>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/IModule.h>
#include <string>

namespace Orix::Utility {

// Marks an optional module extension the driver does not provide.
struct notImplemented {};

template <class Settings, class Ext1 = notImplemented, class Ext2 = notImplemented,
          class Ext3 = notImplemented>
struct ModuleDriverTraits {
    using SettingsType = Settings;
};

// Exact search: the first model entry, in repository order, with equal vendor
// and model whose firmware list holds firmware (or firmware is empty).
// Fallback: the first description with a model entry of that model.
// Null when neither finds one.
const GDRV::DeviceDescription* findDeviceDescription(const GDRV::DriverInfo& info,
                                                     const std::string& vendor,
                                                     const std::string& model,
                                                     const std::string& firmware);

template <class Traits>
class ModuleDriver final : public GDRV::IModule {
    using Settings = typename Traits::SettingsType;

public:
    explicit ModuleDriver(GDRV::DriverInfoPtr info) : info_(std::move(info)) {}

    IContract* QueryContract(const char* name) override
    {
        return const_cast<IContract*>(QueryConstContract(name));
    }
    const IContract* QueryConstContract(const char* name) const override
    {
        return queryContract<IContract, GDRV::IModule>(this, name);
    }

    GDRV::IAutodetect* CreateAutodetect(GDRV::IAutodetectHandler* handler) override
    {
        try {
            return Settings::createAutodetect(handler, info_);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    GDRV::IDeviceSearch* CreateDeviceSearch(GDRV::IDeviceSearchHandler* handler) override
    {
        try {
            return Settings::createDeviceSearch(handler, info_);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    GDRV::IDevice* CreateDevice(GDRV::IDeviceHandler* handler, const char* vendor,
                                const char* model, const char* firmware) override
    {
        try {
            const std::string v = vendor ? vendor : "";
            const std::string m = model ? model : "";
            const std::string f = firmware ? firmware : "";
            const GDRV::DeviceDescription* description = findDeviceDescription(*info_, v, m, f);
            if (description == nullptr)
                return nullptr;
            return Settings::createDevice(handler, *description, m, f, info_, Settings::logger());
        } catch (const std::exception&) {
            return nullptr;
        }
    }

    const GDRV::DriverInfoPtr& driverInfo() const { return info_; }

private:
    GDRV::DriverInfoPtr info_;
};

} // namespace Orix::Utility

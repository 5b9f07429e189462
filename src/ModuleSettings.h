#pragma once
// Module-wide state: the logger every device, search and autodetect object
// receives, and the creation functions the module object calls.
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/IModule.h>
#include <orix/plugin/IModuleHost.h>
#include <string>

namespace Vapixcam {

struct ModuleSettings {
    // Forwards every call to the host's logger, then to the file logger, each
    // when present; the level is the host logger's.
    class LoggerHolder final : public Orix::ILogger {
    public:
        Orix::IContract* QueryContract(const char* name) override;
        const Orix::IContract* QueryConstContract(const char* name) const override;
        unsigned GetLogLevel() const override;
        void Log(int level, const char* file, int line, const char* function,
                 const char* message) override;
        void Log(int level, const char* text) override;

        void set(Orix::PLUGIN::IModuleHost* host, Orix::ILogger* hostLogger,
                 Orix::LoggerPtr fileLogger);
        // The host's module context while the module is initialised, else null.
        Orix::PLUGIN::IModuleHost* host() const;

    private:
        mutable std::mutex mutex_;
        Orix::PLUGIN::IModuleHost* host_ = nullptr;
        Orix::ILogger* hostLogger_ = nullptr;
        Orix::LoggerPtr fileLogger_;
    };

    static std::shared_ptr<LoggerHolder> loggerHolder();
    static Orix::LoggerPtr logger();

    static Orix::GDRV::IDevice* createDevice(Orix::GDRV::IDeviceHandler* handler,
                                             const Orix::GDRV::DeviceDescription& description,
                                             const std::string& model, const std::string& firmware,
                                             Orix::GDRV::DriverInfoPtr info, Orix::LoggerPtr logger);
    static Orix::GDRV::IAutodetect* createAutodetect(Orix::GDRV::IAutodetectHandler* handler,
                                                     Orix::GDRV::DriverInfoPtr info);
    static Orix::GDRV::IDeviceSearch* createDeviceSearch(Orix::GDRV::IDeviceSearchHandler* handler,
                                                         Orix::GDRV::DriverInfoPtr info);
};

} // namespace Vapixcam

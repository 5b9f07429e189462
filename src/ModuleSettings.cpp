#include "ModuleSettings.h"

#include "AutodetectTool.h"
#include "DeviceSearch.h"

#include "Device.h"

#include <netkit/util/Contract.h>

namespace Vapixcam {

Orix::IContract* ModuleSettings::LoggerHolder::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* ModuleSettings::LoggerHolder::QueryConstContract(const char* name) const
{
    return Orix::Utility::queryContract<Orix::IContract, Orix::ILogger>(this, name);
}

unsigned ModuleSettings::LoggerHolder::GetLogLevel() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Without a host logger only errors reach the file.
    return hostLogger_ ? hostLogger_->GetLogLevel() : static_cast<unsigned>(Orix::LogError);
}

void ModuleSettings::LoggerHolder::Log(int level, const char* file, int line, const char* function,
                                       const char* message)
{
    Orix::ILogger* host = nullptr;
    Orix::LoggerPtr fileLogger;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        host = hostLogger_;
        fileLogger = fileLogger_;
    }
    if (host)
        host->Log(level, file, line, function, message);
    if (fileLogger)
        fileLogger->Log(level, file, line, function, message);
}

void ModuleSettings::LoggerHolder::Log(int level, const char* text)
{
    Orix::ILogger* host = nullptr;
    Orix::LoggerPtr fileLogger;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        host = hostLogger_;
        fileLogger = fileLogger_;
    }
    if (host)
        host->Log(level, text);
    if (fileLogger)
        fileLogger->Log(level, text);
}

void ModuleSettings::LoggerHolder::set(Orix::PLUGIN::IModuleHost* host, Orix::ILogger* hostLogger,
                                       Orix::LoggerPtr fileLogger)
{
    std::lock_guard<std::mutex> lock(mutex_);
    host_ = host;
    hostLogger_ = hostLogger;
    fileLogger_ = std::move(fileLogger);
}

Orix::PLUGIN::IModuleHost* ModuleSettings::LoggerHolder::host() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return host_;
}

std::shared_ptr<ModuleSettings::LoggerHolder> ModuleSettings::loggerHolder()
{
    static const auto holder = std::make_shared<LoggerHolder>();
    return holder;
}

Orix::LoggerPtr ModuleSettings::logger()
{
    return loggerHolder();
}

Orix::GDRV::IDevice* ModuleSettings::createDevice(Orix::GDRV::IDeviceHandler* handler,
                                                  const Orix::GDRV::DeviceDescription& description,
                                                  const std::string& model,
                                                  const std::string& firmware,
                                                  Orix::GDRV::DriverInfoPtr info,
                                                  Orix::LoggerPtr logger)
{
    return new Device(handler, description, model, firmware, std::move(info), std::move(logger));
}

Orix::GDRV::IAutodetect* ModuleSettings::createAutodetect(Orix::GDRV::IAutodetectHandler* handler,
                                                          Orix::GDRV::DriverInfoPtr info)
{
    return new AutodetectTool(handler, std::move(info), logger());
}

Orix::GDRV::IDeviceSearch* ModuleSettings::createDeviceSearch(Orix::GDRV::IDeviceSearchHandler* handler,
                                                              Orix::GDRV::DriverInfoPtr info)
{
    return new DeviceSearch(handler, logger(), std::move(info));
}

} // namespace Vapixcam

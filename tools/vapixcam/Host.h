#pragma once
// The host side that the module sees: its module context (IModuleHost) with
// the logger, and the services it offers through IServiceProvider (the
// target-enumerator factory of the detectors). Lives longer than the loaded
// module, since the module keeps the logger until it is unloaded.
#include "StderrLogger.h"
#include "TargetEnumerators.h"

#include <orix/plugin/IModuleHost.h>
#include <orix/plugin/IServiceProvider.h>

namespace VapixcamCli {

class Host final : public Orix::PLUGIN::IModuleHost, public Orix::PLUGIN::IServiceProvider {
public:
    explicit Host(unsigned logLevel) : logger_(logLevel) {}

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    Orix::ILogger* GetLogger() override { return &logger_; }
    Orix::IContract* QueryService(const char* name) override;

    StderrLogger& logger() { return logger_; }

private:
    StderrLogger logger_;
    TargetEnumeratorFactory targets_;
};

} // namespace VapixcamCli

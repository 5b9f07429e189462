#pragma once
// The host side that the module sees: its module context (IModuleHost) with
// the logger. Lives longer than the loaded module, since the module keeps
// the logger until it is unloaded.
#include "StderrLogger.h"

#include <orix/plugin/IModuleHost.h>

namespace VapixcamCli {

class Host final : public Orix::PLUGIN::IModuleHost {
public:
    explicit Host(unsigned logLevel) : logger_(logLevel) {}

    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    Orix::ILogger* GetLogger() override { return &logger_; }

    StderrLogger& logger() { return logger_; }

private:
    StderrLogger logger_;
};

} // namespace VapixcamCli

#include "DeviceSession.h"

#include <CLI/CLI.hpp>

#include "CliError.h"
#include "DisplayAddress.h"
#include "ErrorMeaning.h"

#include <utility>

namespace VapixcamCli {

void DeviceOptions::addTo(CLI::App& command, const char* timeoutHelp)
{
    command.add_option("--vendor", vendor, "Vendor name given to CreateDevice")->capture_default_str();
    command.add_option("--model", model, "Model name given to CreateDevice")->capture_default_str();
    command.add_option("--firmware", firmware, "Firmware given to CreateDevice");
    command.add_option("--timeout", timeoutSeconds, timeoutHelp)
        ->check(CLI::Range(1u, 3600u))
        ->capture_default_str();
}

DeviceSession::DeviceSession(Orix::GDRV::IModule& module, DeviceOptions options)
    : options_(std::move(options))
{
    device_ = module.CreateDevice(&handler_, options_.vendor.c_str(), options_.model.c_str(),
                                  options_.firmware.c_str());
    if (device_ == nullptr)
        throw CliError(kExitError, "the module knows no device for vendor '" + options_.vendor +
                                       "', model '" + options_.model + "', firmware '" +
                                       options_.firmware + "'");
}

DeviceSession::~DeviceSession()
{
    if (connectCalled_)
        device_->Disconnect();
    device_->Destroy();
}

std::string DeviceSession::displayedAddress() const
{
    return displayAddress(options_.url);
}

void DeviceSession::connect()
{
    connectCalled_ = true;
    device_->Connect(options_.url.c_str());
    std::uint32_t failure = 0;
    switch (handler_.waitForFirstOutcome(std::chrono::seconds(options_.timeoutSeconds), failure)) {
    case DeviceStateRecorder::Outcome::Connected:
        return;
    case DeviceStateRecorder::Outcome::Failed:
        throw CliError(kExitNotConnected, "cannot connect to " + displayedAddress() + ": " +
                                              failureText(failure));
    case DeviceStateRecorder::Outcome::TimedOut:
        throw CliError(kExitNoAnswer, "no answer from " + displayedAddress() + " within " +
                                          std::to_string(options_.timeoutSeconds) + " s");
    }
}

} // namespace VapixcamCli

#pragma once
// vapixcam params URL: connects to one camera through the module and prints
// the settings one channel (a video source, or the device itself) offers the
// host, as the settings JSON document the channel reports.
//
// SettingsTarget is the channel side that `params` and `set` share: the
// video source is created and started the way a host does it (the source
// refuses acquisition before Start), with a handler that ignores frames.
#include "Command.h"
#include "DeviceSession.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace Orix {
class IAsyncAdjuster;
class IDynamicParametersProvider;
namespace GDRV {
class IVideoSource;
class IVideoSourceHandler;
} // namespace GDRV
} // namespace Orix

namespace VapixcamCli {

struct SettingsTargetOptions {
    std::uint32_t channel = 0;
    std::uint32_t stream = 0; // 0 main, 1 second stream
    bool device = false;      // the device's own settings instead of a video source
};

// URL, --channel, --stream, --device, --vendor, --model, --firmware, --timeout.
void addSettingsTargetOptions(CLI::App& command, DeviceOptions& device, SettingsTargetOptions& target);

class SettingsTarget {
public:
    // Throws CliError when the device has no such channel or no settings.
    SettingsTarget(DeviceSession& session, const SettingsTargetOptions& options);
    // Stops and destroys the video source.
    ~SettingsTarget();
    SettingsTarget(const SettingsTarget&) = delete;
    SettingsTarget& operator=(const SettingsTarget&) = delete;

    // AcquireDynamicParameters: the JSON text; throws CliError on a failure
    // or when there is no answer within limit.
    std::string acquire(std::chrono::milliseconds limit);
    Orix::IAsyncAdjuster& adjuster() { return *adjuster_; }
    // "video channel 0 stream 0" or "the device".
    const std::string& name() const { return name_; }

private:
    std::unique_ptr<Orix::GDRV::IVideoSourceHandler> handler_;
    Orix::GDRV::IVideoSource* source_ = nullptr;
    Orix::IDynamicParametersProvider* provider_ = nullptr;
    Orix::IAsyncAdjuster* adjuster_ = nullptr;
    std::string name_;
};

class ParamsCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    SettingsTargetOptions target_;
};

} // namespace VapixcamCli

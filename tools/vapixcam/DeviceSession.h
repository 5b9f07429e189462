#pragma once
// One device of the loaded module, the way a host drives it: CreateDevice,
// Connect, wait for the first outcome, and on the way out Disconnect and
// Destroy. Commands that talk to a camera build on it.
#include "DeviceStateRecorder.h"

#include <orix/gdrv/IModule.h>
#include <string>

namespace CLI {
class App;
}

namespace VapixcamCli {

struct DeviceOptions {
    std::string url;
    std::string vendor = "Axis";
    std::string model = "generic";
    std::string firmware;
    unsigned timeoutSeconds = 15;

    // --vendor, --model, --firmware and --timeout (explained by timeoutHelp).
    void addTo(CLI::App& command, const char* timeoutHelp);
};

class DeviceSession {
public:
    // Throws CliError when the module has no description for vendor/model.
    DeviceSession(Orix::GDRV::IModule& module, DeviceOptions options);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Connect and wait for Connected; throws CliError with kExitNotConnected
    // on the first failed attempt and kExitNoAnswer after the time-out.
    void connect();

    Orix::GDRV::IDevice& device() { return *device_; }
    // The device's implementation of another host interface, or null. A
    // contract query answers with the object as that interface, so the cast
    // back is a plain one, as across any module boundary.
    template <class Interface>
    Interface* contract()
    {
        return static_cast<Interface*>(device_->QueryContract(Orix::contractName<Interface>()));
    }

    // The address as it may be printed: without credentials.
    std::string displayedAddress() const;

private:
    DeviceOptions options_;
    DeviceStateRecorder handler_;
    Orix::GDRV::IDevice* device_ = nullptr;
    bool connectCalled_ = false;
};

} // namespace VapixcamCli

#pragma once
// The autodetect tool: given a connection string, it tells the host what the
// device at that address is and which channels and capabilities it offers.
#include <cstdint>
#include <orix/IContract.h>

namespace Orix::GDRV {

class IAutodetect;

// What autodetect found. Lives only for the handler call that carries it.
class IIPDeviceDescription : public IContract {
public:
    // slot 3
    virtual const char* GetVendor() const = 0;
    // slot 4
    virtual const char* GetModel() const = 0;
    // slot 5
    virtual const char* GetFirmware() const = 0;
    // slot 6: "ACCC8E123456" or "AC:CC:8E:12:34:56" as the device spells it; may be empty.
    virtual const char* GetMacAddress() const = 0;
    // slot 7: the device description, a JSON document.
    virtual const char* GetDescription() const = 0;
};

class IAutodetectHandler : public IContract {
public:
    // slot 3
    virtual void Detected(IAutodetect* source, const IIPDeviceDescription* description) = 0;
    // slot 4: message is a human-readable reason.
    virtual void Failed(IAutodetect* source, std::uint32_t result, const char* message) = 0;
};

class IAutodetect : public IContract {
public:
    // slot 3: detects the device behind connectionString in the background;
    // the handler hears once, unless Stop comes first. options may be null.
    // 0, 3 when a detection runs already, 6 for a null connection string.
    virtual std::uint32_t Start(const char* connectionString, const char* options) = 0;
    // slot 4: the running detection is not reported. 0, or 3 when none runs.
    virtual std::uint32_t Stop() = 0;
    // slot 5: waits for a running detection to end and deletes the tool.
    virtual void Destroy() = 0;
};

} // namespace Orix::GDRV

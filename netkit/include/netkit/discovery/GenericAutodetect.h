#pragma once
// The autodetect tool's base: Start runs the driver's doAutodetect on a
// worker thread of its own (the driver's requests block), and reports the
// description it returns, or the AutodetectException it throws, to the host
// handler once. Stop drops the running detection's report; Destroy waits for
// the worker to end, so nothing calls the handler or the tool afterwards.
// The handler may call Stop or Start from inside its call, not Destroy.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <orix/gdrv/Autodetect.h>
#include <orix/gdrv/DriverInfo.h>
#include <stdexcept>
#include <string>
#include <thread>

namespace Orix::Utility {

// A detection that failed: a host result code and a reason.
class AutodetectException : public std::runtime_error {
public:
    AutodetectException(std::uint32_t code, const std::string& text)
        : std::runtime_error(text), code_(code)
    {
    }
    std::uint32_t code() const { return code_; }

private:
    std::uint32_t code_;
};

// The host's IP device description, filled by the driver.
class IPDeviceDescription final : public GDRV::IIPDeviceDescription {
public:
    std::string vendor, model, firmware, macAddress, description;

    IContract* QueryContract(const char* name) override;
    const IContract* QueryConstContract(const char* name) const override;
    const char* GetVendor() const override { return vendor.c_str(); }
    const char* GetModel() const override { return model.c_str(); }
    const char* GetFirmware() const override { return firmware.c_str(); }
    const char* GetMacAddress() const override { return macAddress.c_str(); }
    const char* GetDescription() const override { return description.c_str(); }
};

class GenericAutodetect : public GDRV::IAutodetect, public LoggerOwner {
public:
    GenericAutodetect(GDRV::IAutodetectHandler* handler, GDRV::DriverInfoPtr info, LoggerPtr logger);
    // A tool used in-process (no host handler): only doAutodetect is called.
    GenericAutodetect(GDRV::DriverInfoPtr info, LoggerPtr logger);
    ~GenericAutodetect() override;

    IContract* QueryContract(const char* name) override;
    const IContract* QueryConstContract(const char* name) const override;
    std::uint32_t Start(const char* connectionString, const char* options) override;
    std::uint32_t Stop() override;
    void Destroy() override;

    // Throws AutodetectException when the device cannot be described.
    virtual IPDeviceDescription doAutodetect(const std::string& connectionString) = 0;
    // True when brand names a vendor of the repository (case ignored).
    virtual bool checkBrand(const std::string& brand) const;

protected:
    const GDRV::DriverInfoPtr& driverInfo() const { return info_; }
    // True once Stop or Destroy asked the running detection to end; a
    // detection checks it between its requests and gives up early.
    bool stopRequested() const { return stopRequested_; }

private:
    void run(std::uint64_t generation, std::string connectionString);
    void joinWorker();

    GDRV::IAutodetectHandler* handler_ = nullptr;
    GDRV::DriverInfoPtr info_;
    std::recursive_mutex mutex_; // held while the handler runs
    std::thread worker_;
    bool busy_ = false;
    std::atomic<bool> stopRequested_{false};
    std::uint64_t generation_ = 0;
};

} // namespace Orix::Utility

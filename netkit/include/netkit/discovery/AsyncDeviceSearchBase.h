#pragma once
// The search cycle of a network device search: Start prepares the browsers
// and queries them, a timer queries them again every getBroadcastTimeout()
// until Stop, which stops the browsers. The driver supplies the browsers
// through the hooks and reports what they find with reportResult.
//
// Threading and lifetime: the hooks run one at a time (under one lock), on
// the caller's thread for Start and Stop and on the library's I/O context
// for the repeated queries. The timer holds only a weak handle on the
// search's shared core; Stop (and so Destroy) returns after the hooks and
// every handler call have ended, and nothing calls in afterwards. Results
// arriving while stopped are dropped.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <orix/gdrv/DeviceSearch.h>
#include <string>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace Orix::Utility {

class GlobalService;

// The host's IP search result, filled by the driver.
class IPDeviceSearchResult final : public GDRV::IIPDeviceSearchResult {
public:
    std::string vendor, model, firmware, driverName, address, connectionDetails, macAddress;
    std::uint32_t driverVersion = 0;
    std::uint32_t port = 0;

    IContract* QueryContract(const char* name) override;
    const IContract* QueryConstContract(const char* name) const override;
    const char* GetVendor() const override { return vendor.c_str(); }
    const char* GetModel() const override { return model.c_str(); }
    const char* GetFirmware() const override { return firmware.c_str(); }
    const char* GetDriverName() const override { return driverName.c_str(); }
    std::uint32_t GetDriverVersion() const override { return driverVersion; }
    const char* GetAddress() const override { return address.c_str(); }
    const char* GetConnectionDetails() const override { return connectionDetails.c_str(); }
    const char* GetMacAddress() const override { return macAddress.c_str(); }
    std::uint32_t GetPort() const override { return port; }
};

class AsyncDeviceSearchBase : public GDRV::IDeviceSearch, public LoggerOwner {
public:
    AsyncDeviceSearchBase(GDRV::IDeviceSearchHandler* handler, LoggerPtr logger, std::string driverName);
    ~AsyncDeviceSearchBase() override;

    IContract* QueryContract(const char* name) override;
    const IContract* QueryConstContract(const char* name) const override;
    const char* GetAlgorithmId() const override { return "DNS-SD"; }
    std::uint32_t GetVersion() const override { return 1; }
    std::uint32_t Start() override;
    std::uint32_t Stop() override;
    void Destroy() override;

protected:
    // The hooks, called under the hook lock.
    virtual void prepareBrowsers() = 0;
    virtual void stopBrowsers() = 0;
    virtual void queryBrowsers() = 0;
    virtual std::chrono::milliseconds getBroadcastTimeout() const { return std::chrono::seconds(10); }
    // Addresses to look at besides what the browsers find; none by default.
    virtual std::vector<std::string> listAddresses() const { return {}; }

    // Hands one result to the host while started.
    void reportResult(const GDRV::IDeviceSearchResult& result);
    bool running() const;

    // Wraps a browser callback so that it reaches this search through a
    // weak handle: f(search, args...) runs only while the search exists and
    // is started. The search is never captured itself.
    template <class Derived, class... Args>
    std::function<void(Args...)> weakCallback(void (Derived::*member)(Args...))
    {
        std::weak_ptr<Core> weak = core_;
        return [weak, member](Args... args) {
            const auto core = weak.lock();
            if (!core)
                return;
            std::lock_guard<std::recursive_mutex> lock(ownerMutex(*core));
            AsyncDeviceSearchBase* owner = ownerOf(*core);
            if (owner != nullptr && owner->running())
                (static_cast<Derived*>(owner)->*member)(args...);
        };
    }

    boost::asio::io_context& ioContext();
    const std::string& driverName() const { return driverName_; }

private:
    struct Core;
    static std::recursive_mutex& ownerMutex(Core& core);
    static AsyncDeviceSearchBase* ownerOf(Core& core);
    static void armTimer(const std::shared_ptr<Core>& core);

    GDRV::IDeviceSearchHandler* handler_;
    std::string driverName_;
    std::shared_ptr<GlobalService> service_;
    std::shared_ptr<Core> core_;
};

} // namespace Orix::Utility

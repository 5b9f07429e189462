#pragma once
// The network device search: the host starts it, and hears of every device
// found through its handler.
#include <cstdint>
#include <orix/IContract.h>

namespace Orix::GDRV {

class IDeviceSearch;

// One device found. Lives only for the handler call that carries it.
class IDeviceSearchResult : public IContract {
public:
    // slot 3
    virtual const char* GetVendor() const = 0;
    // slot 4
    virtual const char* GetModel() const = 0;
    // slot 5
    virtual const char* GetFirmware() const = 0;
    // slot 6
    virtual const char* GetDriverName() const = 0;
    // slot 7
    virtual std::uint32_t GetDriverVersion() const = 0;
};

// A device found on an IP network.
class IIPDeviceSearchResult : public IDeviceSearchResult {
public:
    // slot 8: the address as found ("192.168.0.90").
    virtual const char* GetAddress() const = 0;
    // slot 9: further connection details; may be empty.
    virtual const char* GetConnectionDetails() const = 0;
    // slot 10: "ACCC8E123456" or empty.
    virtual const char* GetMacAddress() const = 0;
    // slot 11: the HTTP port.
    virtual std::uint32_t GetPort() const = 0;
};

class IDeviceSearchHandler : public IContract {
public:
    // slot 3: the search stopped on its own (not after Stop) with result.
    virtual void Finished(IDeviceSearch* search, std::uint32_t result) = 0;
    // slot 4: once per answer; result is valid during the call only.
    virtual void Found(IDeviceSearch* search, const IDeviceSearchResult* result) = 0;
};

class IDeviceSearch : public IContract {
public:
    // slot 3: the discovery method ("DNS-SD").
    virtual const char* GetAlgorithmId() const = 0;
    // slot 4
    virtual std::uint32_t GetVersion() const = 0;
    // slot 5: starts searching until Stop; 0, or 3 when already started.
    virtual std::uint32_t Start() = 0;
    // slot 6: 0, or 3 when not started. No handler call runs or starts after
    // it returns.
    virtual std::uint32_t Stop() = 0;
    // slot 7: stops and deletes the search.
    virtual void Destroy() = 0;
};

} // namespace Orix::GDRV

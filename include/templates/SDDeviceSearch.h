#pragma once
// A device search that browses one DNS-SD service type with one browser per
// local interface address. Derived supplies
//
//   void handleResult(const std::string& address, std::uint16_t port,
//                     const std::map<std::string, std::string>& txt,
//                     const std::string& instanceName);
//   void handleError(const std::string& message);
//
// which the browsers reach through the search's weak handle only.
#include <cstdint>
#include <map>
#include <memory>
#include <netkit/discovery/AsyncDeviceSearchBase.h>
#include <netkit/discovery/NetworkInterfaces.h>
#include <netkit/discovery/ServiceBrowser.h>
#include <string>
#include <vector>

namespace Orix::Utility {

template <class Derived, const char* Service>
class AsyncDeviceSearchBrowser : public AsyncDeviceSearchBase {
public:
    using AsyncDeviceSearchBase::AsyncDeviceSearchBase;

    std::size_t browserCount() const { return browsers_.size(); }

protected:
    // The addresses browsers are made for; the machine's interfaces.
    virtual std::vector<std::string> interfaceAddresses() const
    {
        return enumerateNetworkInterfaceAddresses();
    }

    void prepareBrowsers() override
    {
        stopBrowsers();
        browsers_.clear();
        for (const std::string& address : interfaceAddresses())
            createBrowser(address);
    }

    void stopBrowsers() override
    {
        for (const auto& browser : browsers_)
            browser->stop();
    }

    void queryBrowsers() override
    {
        for (const auto& browser : browsers_)
            browser->query();
    }

private:
    void createBrowser(const std::string& address)
    {
        try {
            browsers_.push_back(std::make_shared<ServiceBrowser>(
                ioContext(), address, Service,
                weakCallback<Derived, const std::string&, std::uint16_t,
                             const std::map<std::string, std::string>&, const std::string&>(
                    &Derived::handleResult),
                weakCallback<Derived, const std::string&>(&Derived::handleError)));
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError,
                     " Error occurred while creating ServiceBrowser for interface "
                         << address << " message : " << e.what());
        }
    }

    std::vector<std::shared_ptr<ServiceBrowser>> browsers_;
};

} // namespace Orix::Utility

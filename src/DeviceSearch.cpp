#include "DeviceSearch.h"

#include <regex>
#include <sstream>

namespace Vapixcam {

DeviceSearch::DeviceSearch(Orix::GDRV::IDeviceSearchHandler* handler, Orix::LoggerPtr logger,
                           Orix::GDRV::DriverInfoPtr driverInfo)
    : Base(handler, std::move(logger), "Vapixcam"), driverInfo_(std::move(driverInfo))
{
}

std::optional<std::string> DeviceSearch::modelOfInstanceName(const std::string& instanceName)
{
    // "AXIS " model [" (" ... ")"] [" - " ...] "." service; the model is the
    // shortest text before the optional parts. Instance names are bounded by
    // the DNS name limit, so the search stays cheap.
    static const std::regex pattern(R"(AXIS (.*?)(?: \(.*\))?(?: - .*)?\._axis-video\._tcp)");
    std::smatch match;
    if (!std::regex_search(instanceName, match, pattern))
        return std::nullopt;
    return match[1].matched ? match[1].str() : std::string();
}

Orix::Utility::IPDeviceSearchResult DeviceSearch::makeResult(
    const std::string& address, std::uint16_t port, const std::map<std::string, std::string>& txt) const
{
    Orix::Utility::IPDeviceSearchResult result;
    result.vendor = "Axis";
    result.model = "generic";
    result.firmware = "auto";
    result.address = address;
    result.port = port;
    const auto mac = txt.find("macaddress");
    if (mac != txt.end())
        result.macAddress = mac->second;
    if (driverInfo_) {
        result.driverName = driverInfo_->name;
        result.driverVersion = driverInfo_->version;
    }
    return result;
}

void DeviceSearch::handleResult(const std::string& address, std::uint16_t port,
                                const std::map<std::string, std::string>& txt,
                                const std::string& instanceName)
{
    ORIX_LOG(*this, Orix::LogDebug, " Search result: ip=" << address << ":" << port << " service="
                                        << instanceName << " text=" << [&] {
                                               std::ostringstream records;
                                               records << "{";
                                               const char* separator = "";
                                               for (const auto& [key, value] : txt) {
                                                   records << separator << key << "='" << value << "'";
                                                   separator = ", ";
                                               }
                                               records << "}";
                                               return records.str();
                                           }());
    const auto model = modelOfInstanceName(instanceName);
    if (!model)
        return;
    ORIX_LOG(*this, Orix::LogDebug,
             " Model '" << *model << "' was found on " << address << ":" << port);
    reportResult(makeResult(address, port, txt));
}

void DeviceSearch::handleError(const std::string& message)
{
    ORIX_LOG(*this, Orix::LogError, " SDDeviceSearch: Error: " << message);
}

} // namespace Vapixcam

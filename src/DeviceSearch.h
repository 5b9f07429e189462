#pragma once
// Finds Axis cameras on the local networks by browsing "_axis-video._tcp"
// and offers each answer to the host as a generic Axis device, with the
// address, port and MAC address the camera announced.
#include <templates/SDDeviceSearch.h>

#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/DriverInfo.h>
#include <string>

namespace Vapixcam {

inline constexpr char SERVICE[] = "_axis-video._tcp";

class DeviceSearch final : public Orix::Utility::AsyncDeviceSearchBrowser<DeviceSearch, SERVICE> {
    using Base = Orix::Utility::AsyncDeviceSearchBrowser<DeviceSearch, SERVICE>;

public:
    DeviceSearch(Orix::GDRV::IDeviceSearchHandler* handler, Orix::LoggerPtr logger,
                 Orix::GDRV::DriverInfoPtr driverInfo);

    // Browser callbacks.
    void handleResult(const std::string& address, std::uint16_t port,
                      const std::map<std::string, std::string>& txt, const std::string& instanceName);
    void handleError(const std::string& message);

    // The model an Axis instance name carries ("AXIS P3245-LVE - ACCC8E123456
    // ._axis-video._tcp.local" -> "P3245-LVE"); nullopt when the name is not
    // an Axis camera's.
    static std::optional<std::string> modelOfInstanceName(const std::string& instanceName);

    // The result the host receives for one answer.
    Orix::Utility::IPDeviceSearchResult makeResult(const std::string& address, std::uint16_t port,
                                                   const std::map<std::string, std::string>& txt) const;

private:
    Orix::GDRV::DriverInfoPtr driverInfo_;
};

} // namespace Vapixcam

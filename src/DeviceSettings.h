#pragma once
// The device-level setting "dewarpMode": the view a fisheye camera streams.
// Offered once the camera reports Properties.Image.Dewarp=yes; applied with
// "param.cgi?action=update&ImageChannelSet.Selected=<n>" from the view table.
//
// The device owns one DeviceSettings over its parameter container and calls
// it on its io_context:
//   AcquireDynamicParameters -> acquire(info, io, done(result, json))
//   ApplySettings (after pushParameters) -> apply(info, io, done(result), viewChanged)
// Each completion runs exactly once, on io. The device calls cancel() before
// it stops its io_context.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/http/HttpClient.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/DriverInfo.h>
#include <orix/gdrv/Properties.h>
#include <string>
#include <vector>

namespace Vapixcam {

class DeviceSettings : public Orix::LoggerOwner {
public:
    using AcquireCompletion = std::function<void(std::uint32_t result, const std::string& json)>;
    using ApplyCompletion = std::function<void(std::uint32_t result)>;
    // Told the new view after the camera accepted it (the device notifies
    // its working streams).
    using ViewChanged = std::function<void(const std::string& view)>;

    // driverInfo may be null; its "VSPropertiesGroups" group names the host
    // group of "dewarpMode".
    DeviceSettings(Orix::Utility::ParametersContainer& container,
                   Orix::GDRV::DriverInfoPtr driverInfo, Orix::LoggerPtr logger,
                   const std::string& logPrefix = {});
    ~DeviceSettings() override;

    void acquire(Orix::asio::ConnectionInfoPtr info, boost::asio::io_context& io,
                 AcquireCompletion done);
    // Takes the next pending change from the container. A "dewarpMode" that
    // is no view name (or no text) is refused with 6 (4 for a non-text value),
    // logged, and neither stored nor sent.
    void apply(Orix::asio::ConnectionInfoPtr info, boost::asio::io_context& io,
               ApplyCompletion done, ViewChanged viewChanged);
    void cancel();

    // The settings document of the device property set.
    std::string report();

    // The update URL of a change, or nothing when the change holds no
    // "dewarpMode". error is set (and nothing returned) for a value outside
    // the view table.
    static std::optional<std::string> updateUrl(const Orix::Utility::ParamMap& changed,
                                                std::uint32_t& error);
    // The twelve view names in table order.
    static const std::vector<std::string>& viewNames();

    const Orix::Utility::ParametersContainer::PropertySetPtr& propertySet() const { return set_; }

private:
    void handleDewarpSupport(const boost::system::error_code& error, const std::string& body,
                             const Orix::http::HttpResponse& response, const std::string& uri,
                             const AcquireCompletion& done);

    Orix::Utility::ParametersContainer& container_;
    Orix::GDRV::DriverInfoPtr driverInfo_;
    Orix::Utility::ParametersContainer::PropertySetPtr set_;
    std::mutex requestMutex_;
    Orix::http::RequestHandlePtr request_;
};

} // namespace Vapixcam

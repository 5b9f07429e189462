#include "AutodetectTool.h"

#include "DeviceDescriptionBuilder.h"
#include "TopologyParser.h"

#include <chrono>
#include <netkit/http/HttpClient.h>
#include <netkit/http/HttpError.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

// Each request blocks the detection; a camera that stalls one must not stall
// the host's tool for the library's default half minute.
constexpr std::chrono::seconds kRequestTimeout{10};

} // namespace

AutodetectTool::AutodetectTool(Orix::GDRV::IAutodetectHandler* handler, Orix::GDRV::DriverInfoPtr info,
                               Orix::LoggerPtr logger)
    : GenericAutodetect(handler, std::move(info), std::move(logger))
{
}

AutodetectTool::AutodetectTool(Orix::GDRV::DriverInfoPtr info, Orix::LoggerPtr logger)
    : GenericAutodetect(std::move(info), std::move(logger))
{
}

std::string AutodetectTool::describe(const Orix::asio::ConnectionInfoPtr& info, std::string& topologyBody)
{
    auto fetch = [this, info](const std::string& uri, std::string& body) {
        body.clear();
        if (stopRequested())
            return make_error_code(Orix::http::error::cancelled);
        return Orix::http::syncHttpGet(info, uri, getLogger().get(), body, {}, true, kRequestTimeout);
    };
    DeviceDescriptionBuilder builder(fetch, *this);
    return builder.build(topologyBody);
}

Orix::Utility::IPDeviceDescription AutodetectTool::doAutodetect(const std::string& connectionString)
{
    const auto info = Orix::asio::parseConnectionInfo(connectionString);
    if (!info)
        throw Orix::Utility::AutodetectException(Orix::BadConnectionString, "bad connection string");
    std::string topology;
    const std::string json = describe(info, topology);
    if (json.empty())
        throw Orix::Utility::AutodetectException(Orix::DeviceNotRecognised, "empty device description");
    ORIX_LOG(*this, Orix::LogDebug, " Device found:\n" << json);
    Orix::Utility::IPDeviceDescription description;
    description.vendor = "Axis";
    description.model = "generic";
    description.firmware = "auto";
    description.macAddress = findParameterValue(topology, "Network.eth0.MACAddress").value_or("");
    description.description = json;
    return description;
}

} // namespace Vapixcam

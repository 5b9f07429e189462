#pragma once
// Describes the camera behind a connection string for the host: its video
// sources, streams, detectors, IO, storage, audio and PTZ capabilities, as
// one JSON document, with blocking requests on the calling thread (the
// base runs them on its worker thread).
#include <netkit/asio/ConnectionInfo.h>
#include <netkit/discovery/GenericAutodetect.h>
#include <string>

namespace Vapixcam {

class AutodetectTool final : public Orix::Utility::GenericAutodetect {
public:
    AutodetectTool(Orix::GDRV::IAutodetectHandler* handler, Orix::GDRV::DriverInfoPtr info,
                   Orix::LoggerPtr logger);
    // For the device's default properties: only describe() is used.
    AutodetectTool(Orix::GDRV::DriverInfoPtr info, Orix::LoggerPtr logger);

    Orix::Utility::IPDeviceDescription doAutodetect(const std::string& connectionString) override;

    // The description JSON text; topologyBody receives the topology answer.
    // Throws AutodetectException when the topology cannot be read.
    std::string describe(const Orix::asio::ConnectionInfoPtr& info, std::string& topologyBody);
};

} // namespace Vapixcam

#pragma once
// Reads a camera's capabilities with a handful of blocking requests and
// writes the device description the host receives from the autodetect tool
// and after SetDefaultProperties: video sources with their stream counts and
// detectors, IO devices, edge storage, audio sources and destinations,
// identity, and PTZ capabilities.
//
// The requests go through a fetch function, so the builder runs the same
// over HTTP and over canned camera answers.
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <functional>
#include <json/value.h>
#include <netkit/util/Logging.h>
#include <string>
#include <vector>

namespace Vapixcam {

// Answers on cameras with a motorised lens (focus and zoom by optics setup).
inline constexpr const char* kOpticsProbeUri = "/axis-cgi/opticssetup.cgi?monitor=poll&source=1";

// The request through which the device and the builder learn the topology.
extern const char* const kTopologyRequestUri;

// uri -> error and body. An error means the answer is not to be used.
using CameraFetch = std::function<boost::system::error_code(const std::string& uri, std::string& body)>;

struct DetectorRecord {
    std::string detector;
    std::string event;
    std::string type;
    std::string group;
    bool visualElement = false;
    std::string visualId;
    std::string visualType;
    std::int32_t minCount = 0;
    std::int32_t maxCount = 0;
};

class DeviceDescriptionBuilder {
public:
    DeviceDescriptionBuilder(CameraFetch fetch, const Orix::LoggerOwner& logger);

    // The description as JSON text; topologyBody receives the topology
    // answer. Throws AutodetectException (code: the translated error) when
    // the topology cannot be read.
    std::string build(std::string& topologyBody);

    // Detectors of the installed camera applications, in the camera's order.
    std::vector<DetectorRecord> getSupportedApplications();
    // Detectors the camera's parameter definitions announce, appended.
    void getEmbeddedDetectors(std::vector<DetectorRecord>& detectors, std::int32_t audioSources);
    // "telemetries" of root, when the camera has PTZ.
    void getPtzCapabilities(Json::Value& root);

private:
    CameraFetch fetch_;
    const Orix::LoggerOwner& logger_;
};

} // namespace Vapixcam

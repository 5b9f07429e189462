#pragma once
// Reads the driver's repository file (Boost.PropertyTree INFO format) into
// DriverInfo. Layout:
//
//   driver  { name "Velto.Vapixcam"  version 1 }
//   groups  { Properties { ... } VSPropertiesGroups { ... } ... }
//   devices {
//     device {
//       models { model { vendor Axis  name "P3265-LVE"  firmware { "" 10.12 } } }
//       videoSources { source { streams { "" main  "" second }  detectors { "" VMD4 } } }
//       telemetry { "" ptz }  audioSources { "" in }  audioDestinations { "" out }
//       other { }  ioDevices { "" io }
//     }
//   }
//
// Lists are children whose keys are ignored ("" by convention); values are
// the items. A description without a model entry is an error.
#include <netkit/util/Logging.h>
#include <orix/gdrv/DriverInfo.h>
#include <string>

namespace Orix::Utility {

class RepositoryReader : public LoggerOwner {
public:
    explicit RepositoryReader(LoggerPtr logger);
    // 0 on success; non-zero (and a logged reason) when the file is missing,
    // unreadable or malformed. info is left unchanged on failure.
    int load(const std::string& path, GDRV::DriverInfo& info);
    int loadFromString(const std::string& text, GDRV::DriverInfo& info);
};

} // namespace Orix::Utility

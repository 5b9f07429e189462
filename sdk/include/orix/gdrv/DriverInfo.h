#pragma once
// The repository content shared by the module, every device, the device
// search and the autodetect tool.
#include <boost/property_tree/ptree_fwd.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Orix::GDRV {

struct ModelEntry {
    std::string vendor;
    std::string model;
    std::vector<std::string> firmwares;
};

struct VideoSourceDescription {
    std::vector<std::string> streams;
    std::vector<std::string> detectors;
};

struct ChannelDescription {
    std::string name;
};

struct DeviceDescription {
    std::vector<ModelEntry> models;
    std::vector<VideoSourceDescription> videoSources;
    std::vector<ChannelDescription> telemetryChannels;
    std::vector<ChannelDescription> audioSources;
    std::vector<ChannelDescription> audioDestinations;
    std::vector<ChannelDescription> otherChannels; // listed, served by no operation
    std::vector<ChannelDescription> ioDevices;

    // The generic description accepts any channel index.
    bool isGeneric() const { return !models.empty() && models.front().model == "generic"; }
};

struct DriverInfo {
    std::string name;
    std::uint32_t version = 0;
    std::map<std::string, std::shared_ptr<const boost::property_tree::ptree>> groups;
    std::vector<DeviceDescription> devices;
};

using DriverInfoPtr = std::shared_ptr<const DriverInfo>;

} // namespace Orix::GDRV

#include <netkit/repository/RepositoryReader.h>

#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <fstream>
#include <sstream>

namespace pt = boost::property_tree;

namespace Orix::Utility {

namespace {

// Values of the children of `path`, in order; keys are ignored.
std::vector<std::string> listOf(const pt::ptree& node, const char* path)
{
    std::vector<std::string> items;
    if (const auto child = node.get_child_optional(path)) {
        for (const auto& item : *child)
            items.push_back(item.second.data());
    }
    return items;
}

std::vector<GDRV::ChannelDescription> channelsOf(const pt::ptree& node, const char* path)
{
    std::vector<GDRV::ChannelDescription> channels;
    for (auto& name : listOf(node, path))
        channels.push_back({std::move(name)});
    return channels;
}

GDRV::DeviceDescription readDescription(const pt::ptree& node)
{
    GDRV::DeviceDescription description;
    if (const auto models = node.get_child_optional("models")) {
        for (const auto& entry : *models) {
            GDRV::ModelEntry model;
            model.vendor = entry.second.get<std::string>("vendor");
            model.model = entry.second.get<std::string>("name");
            model.firmwares = listOf(entry.second, "firmware");
            description.models.push_back(std::move(model));
        }
    }
    if (description.models.empty())
        throw std::runtime_error("device description without a model entry");
    if (const auto sources = node.get_child_optional("videoSources")) {
        for (const auto& entry : *sources) {
            GDRV::VideoSourceDescription source;
            source.streams = listOf(entry.second, "streams");
            source.detectors = listOf(entry.second, "detectors");
            description.videoSources.push_back(std::move(source));
        }
    }
    description.telemetryChannels = channelsOf(node, "telemetry");
    description.audioSources = channelsOf(node, "audioSources");
    description.audioDestinations = channelsOf(node, "audioDestinations");
    description.otherChannels = channelsOf(node, "other");
    description.ioDevices = channelsOf(node, "ioDevices");
    return description;
}

} // namespace

RepositoryReader::RepositoryReader(LoggerPtr logger) : LoggerOwner(std::move(logger)) {}

int RepositoryReader::load(const std::string& path, GDRV::DriverInfo& info)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ORIX_LOG(*this, LogError, " Cannot open repository file '" << path << "'");
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const int result = loadFromString(text.str(), info);
    if (result != 0)
        ORIX_LOG(*this, LogError, " Repository file '" << path << "' is not usable");
    return result;
}

int RepositoryReader::loadFromString(const std::string& text, GDRV::DriverInfo& info)
{
    try {
        pt::ptree root;
        std::istringstream in(text);
        pt::read_info(in, root);

        GDRV::DriverInfo loaded;
        loaded.name = root.get<std::string>("driver.name");
        loaded.version = root.get<std::uint32_t>("driver.version");
        if (const auto groups = root.get_child_optional("groups")) {
            for (const auto& group : *groups)
                loaded.groups[group.first] = std::make_shared<const pt::ptree>(group.second);
        }
        for (const auto& device : root.get_child("devices"))
            loaded.devices.push_back(readDescription(device.second));
        if (loaded.devices.empty())
            throw std::runtime_error("no device description");
        info = std::move(loaded);
        return 0;
    } catch (const pt::info_parser_error& e) {
        ORIX_LOG(*this, LogError,
                 " Repository syntax error at line " << e.line() << ": " << e.message());
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Repository content error: " << e.what());
    }
    return 2;
}

} // namespace Orix::Utility

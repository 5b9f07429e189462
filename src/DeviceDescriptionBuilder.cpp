#include "DeviceDescriptionBuilder.h"

#include "TopologyParser.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <map>
#include <mutex>
#include <netkit/discovery/DescriptionJson.h>
#include <netkit/discovery/GenericAutodetect.h>
#include <netkit/util/ErrorTranslation.h>
#include <optional>
#include <orix/ErrorCodes.h>
#include <sstream>

namespace Vapixcam {

const char* const kTopologyRequestUri =
    "/axis-cgi/param.cgi?action=list&group=Network.RTSP.Port,Brand.ProdNbr,"
    "Properties.Firmware.Version,AudioSource.NbrOfSources,ImageSource.NbrOfSources,"
    "StreamProfile,Input.NbrOfInputs,Output.NbrOfOutputs,Properties.Image.Format,"
    "Properties.Image.Resolution,Properties.Audio.Decoder.Format,Properties.VirtualInput,"
    "Network.eth0.MACAddress,PTZ.Various";

namespace {

using namespace Orix;
namespace U = Orix::Utility;

const char* const kApplicationListUri = "/axis-cgi/applications/list.cgi";
const char* const kEmbeddedDetectorsUri =
    "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=Properties.Motion,"
    "Properties.Tampering,Properties.TemperatureAlarm,AudioSource";
const char* const kPtzCapabilitiesUri =
    "/axis-cgi/param.cgi?action=list&group=Properties.PTZ.PTZ,ptz.Support.S1,ptz.Limit.L1";

using DetectorTable = std::map<std::string, DetectorRecord>;

DetectorRecord record(const char* detector, const char* event, const char* type, const char* group)
{
    DetectorRecord r;
    r.detector = detector;
    r.event = event;
    r.type = type;
    r.group = group;
    return r;
}

DetectorRecord withVisualElement(DetectorRecord r, const char* id, const char* type, std::int32_t minCount,
                                 std::int32_t maxCount)
{
    r.visualElement = true;
    r.visualId = id;
    r.visualType = type;
    r.minCount = minCount;
    r.maxCount = maxCount;
    return r;
}

const DetectorTable& applicationTable()
{
    static const DetectorTable table = {
        {"QVT", record("NorvikOnboardTracker", "TargetList", "periodical", "Tracker")},
        {"VMD3", record("motionDetectionV3", "VMD3/vmd3_video_", "twoPhase", "MotionDetector")},
        {"vmd", record("motionDetectionV4", "VMD/Camera", "twoPhase", "MotionDetector")},
        {"SIAlarmDetector",
         record("alarmDetector", "CameraApplicationPlatform/SIAlarmDetector", "onePhase", "AudioDetector")},
        {"SIGunshotDetector",
         record("gunshotDetector", "CameraApplicationPlatform/SIGunshotDetector", "onePhase", "AudioDetector")},
        {"SIBreakingGlassDetector",
         record("breakingGlassDetector", "CameraApplicationPlatform/SIBreakingGlassDetector", "onePhase",
          "AudioDetector")},
    };
    return table;
}

const DetectorTable& embeddedTable()
{
    static const DetectorTable table = {
        {"ShockDetection", record("shockDetection", "Tampering/ShockDetected", "onePhase", "SceneChangeDetector")},
        {"TemperatureDetection",
         withVisualElement(record("temperatureDetection", "TemperatureDetection", "twoPhase",
                                  "TemperatureDetector"),
                           "window", "rectangles", 0, 6)},
        {"Tampering", record("tamperingDetection", "Tampering", "onePhase", "SceneChangeDetector")},
        {"AlarmLevel", record("audioDetection", "TriggerLevel", "twoPhase", "AudioDetector")},
        {"Motion", record("motionDetection", "MotionDetection", "twoPhase", "MotionDetector")},
    };
    return table;
}

std::int32_t countOf(const std::string& body, const std::string& key, const LoggerOwner& logger)
{
    const auto value = findParameterValue(body, key, logger);
    if (!value)
        return 0;
    try {
        return std::max(0, std::stoi(*value));
    } catch (const std::exception&) {
        return 0;
    }
}

std::vector<std::string> profileNames(const std::string& body, const LoggerOwner& logger)
{
    std::vector<std::string> names;
    // A camera holds a few dozen profiles at most; the bound keeps a
    // hostile answer from making this loop long.
    for (unsigned n = 0; n < 1024; ++n) {
        const auto name =
            findParameterValue(body, "root.StreamProfile.S" + std::to_string(n) + ".Name", logger);
        if (!name)
            break;
        names.push_back(*name);
    }
    return names;
}

Json::Value detectorItem(const DetectorRecord& record, std::int32_t channel)
{
    Json::Value item;
    Json::Value event;
    const bool numbered = record.detector == "motionDetectionV3" || record.detector == "motionDetectionV4";
    event["id"] = numbered ? record.event + std::to_string(channel) : record.event;
    event["type"] = record.type;
    item["events"].append(event);
    item["id"] = record.detector;
    item["maxCount"] = 1;
    if (record.visualElement) {
        Json::Value visual;
        visual["id"] = record.visualId;
        visual["type"] = record.visualType;
        visual["minCount"] = record.minCount;
        visual["maxCount"] = record.maxCount;
        item["visualElements"].append(visual);
    }
    Json::Value setting;
    U::fillStringSetting(setting, "detectorsGroup", record.group, "detectorsGroup", false);
    item[U::JSON_SETTINGS].append(setting);
    return item;
}

Json::Value choiceSetting(const std::string& name, bool integer, const std::vector<Json::Value>& choices)
{
    Json::Value setting;
    setting[U::JSON_NAME] = name;
    setting[U::JSON_TYPE] = integer ? U::JSON_TYPE_INTEGER : U::JSON_TYPE_STRING;
    setting[U::JSON_KEEP] = true;
    setting[U::JSON_CURRENT] = choices.front();
    Json::Value list(Json::arrayValue);
    for (const auto& choice : choices)
        list.append(choice);
    setting[U::JSON_ENUM] = list;
    return setting;
}

Json::Value audioDestinationSettings(const std::vector<std::string>& codecs)
{
    Json::Value settings(Json::arrayValue);
    std::vector<Json::Value> algorithms(codecs.begin(), codecs.end());
    settings.append(choiceSetting("algorithm", false, algorithms));
    if (codecs.front() == "G.711") {
        settings.append(choiceSetting("encoding", false, {Json::Value("u-law")}));
        settings.append(choiceSetting("bitRate", true, {Json::Value(64000)}));
    } else if (codecs.front() == "G.726") {
        settings.append(choiceSetting("bitRate", true, {Json::Value(24000), Json::Value(32000)}));
    }
    settings.append(choiceSetting("samplerate", true, {Json::Value(8000)}));
    return settings;
}

} // namespace

DeviceDescriptionBuilder::DeviceDescriptionBuilder(CameraFetch fetch, const LoggerOwner& logger)
    : fetch_(std::move(fetch)), logger_(logger)
{
}

std::string DeviceDescriptionBuilder::build(std::string& topologyBody)
{
    topologyBody.clear();
    if (const auto error = fetch_(kTopologyRequestUri, topologyBody))
        throw U::AutodetectException(U::translateSystemError(error),
                                     "cannot read the topology: " + error.message());
    const std::string& body = topologyBody;
    const std::int32_t channels = countOf(body, "ImageSource.NbrOfSources", logger_);
    const std::int32_t audioSources = countOf(body, "AudioSource.NbrOfSources", logger_);

    std::vector<DetectorRecord> detectors = getSupportedApplications();
    getEmbeddedDetectors(detectors, audioSources);

    Json::Value root;
    root[U::JSON_SCHEMA_VERSION] = U::JSON_SCHEMA_VERSION_VALUE;

    const std::vector<std::string> profiles = profileNames(body, logger_);
    for (std::int32_t c = 1; c <= channels; ++c) {
        Json::Value& source = root["videoSources"]["items"][c - 1];
        const std::string prefix = "Profile" + std::to_string(c);
        unsigned streams = 1;
        for (const auto& name : profiles)
            if (name.compare(0, prefix.size(), prefix) == 0)
                ++streams;
        source["videoStreamings"]["count"] = streams;
        for (const DetectorRecord& record : detectors) {
            if (record.detector == "audioDetection" && c > audioSources)
                continue;
            source["detectors"]["items"].append(detectorItem(record, c));
        }
    }

    const std::int32_t inputs = countOf(body, "Input.NbrOfInputs", logger_);
    const std::int32_t outputs = countOf(body, "Output.NbrOfOutputs", logger_);
    const int relatedChannel = channels < 2 ? 0 : -1;
    if (inputs + outputs > 0) {
        Json::Value io;
        if (inputs > 0)
            io["rayCount"] = inputs;
        if (outputs > 0)
            io["relayCount"] = outputs;
        io["relatedChannel"] = relatedChannel;
        root["ioDevices"]["items"].append(io);
    }
    if (findParameterValue(body, "VirtualInput", logger_).value_or("") == "yes") {
        Json::Value io;
        io["rayCount"] = 0;
        io["relayCount"] = 32;
        io["relatedChannel"] = relatedChannel;
        root["ioDevices"]["items"].append(io);
    }

    Json::Value storage;
    storage["supportsRecordingSearch"] = 1;
    storage["supportsRecordingPlayback"] = 1;
    storage["supportsTurnOffRateControl"] = 1;
    if (audioSources > 0)
        storage["supportsAudio"] = 1;
    root["embeddedStorages"]["items"].append(storage);

    root["audioSources"]["count"] = audioSources;
    const auto decoders = audioCodecsOf(findParameterValue(body, "Audio.Decoder.Format", logger_).value_or(""));
    if (audioSources > 0 && !decoders.empty())
        root["audioDestinations"]["items"][0][U::JSON_SETTINGS] = audioDestinationSettings(decoders);

    root["brand"] = "Axis";
    root["model"] = "generic";
    root["firmware"] = "auto";
    root["macaddress"] = findParameterValue(body, "Network.eth0.MACAddress", logger_).value_or("");

    getPtzCapabilities(root);
    return U::writeSettingsJson(root);
}

std::vector<DetectorRecord> DeviceDescriptionBuilder::getSupportedApplications()
{
    std::vector<DetectorRecord> detectors;
    std::string body;
    if (fetch_(kApplicationListUri, body)) {
        ORIX_LOG(logger_, LogNotice, " Device does not have installed applications.");
        return detectors;
    }
    const std::string marker = " Name=\"";
    for (std::size_t pos = body.find(marker); pos != std::string::npos; pos = body.find(marker, pos)) {
        pos += marker.size();
        const std::size_t end = body.find('"', pos);
        if (end == std::string::npos)
            break;
        const std::string name = body.substr(pos, end - pos);
        const auto it = applicationTable().find(name);
        if (it != applicationTable().end())
            detectors.push_back(it->second);
        else
            ORIX_LOG(logger_, LogDebug, " Application " << name << " is not supported, skip it.");
        pos = end;
    }
    return detectors;
}

void DeviceDescriptionBuilder::getEmbeddedDetectors(std::vector<DetectorRecord>& detectors,
                                                    std::int32_t audioSources)
{
    std::string body;
    if (fetch_(kEmbeddedDetectorsUri, body)) {
        ORIX_LOG(logger_, LogNotice, " Device does not have embedded detectors");
        return;
    }
    try {
        boost::property_tree::ptree tree;
        std::istringstream in(body);
        boost::property_tree::read_xml(in, tree);
        const auto& root = tree.get_child("parameterDefinitions.group");
        auto children = [](const boost::property_tree::ptree& node) {
            std::vector<const boost::property_tree::ptree*> list;
            for (const auto& [key, child] : node)
                if (key != "<xmlattr>" && key != "<xmlcomment>")
                    list.push_back(&child);
            return list;
        };
        for (const auto* first : children(root))
            for (const auto* second : children(*first))
                for (const auto* third : children(*second)) {
                    const auto name = third->get_optional<std::string>(U::XML_ATTRIBUTE_NAME);
                    if (!name)
                        continue;
                    if (*name == "AlarmLevel" && audioSources == 0)
                        continue;
                    const auto it = embeddedTable().find(*name);
                    if (it == embeddedTable().end()) {
                        ORIX_LOG(logger_, LogDebug, " Embedded detector " << *name << " is not supported, skip it.");
                        continue;
                    }
                    const bool known = std::any_of(detectors.begin(), detectors.end(), [&](const DetectorRecord& d) {
                        return d.detector == it->second.detector;
                    });
                    if (!known)
                        detectors.push_back(it->second);
                }
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, " Reading parameters is finished. Unexpected exception: " << e.what());
    }
}

void DeviceDescriptionBuilder::getPtzCapabilities(Json::Value& root)
{
    try {
        std::string body;
        if (fetch_(kPtzCapabilitiesUri, body) || body.empty()) {
            ORIX_LOG(logger_, LogError, " Data is empty after getting PTZ capabilities list");
            return;
        }
        if (body.find("Properties.PTZ.PTZ=yes\n") == std::string::npos &&
            body.find("Properties.PTZ.PTZ=yes\r\n") == std::string::npos) {
            ORIX_LOG(logger_, LogDebug, " PTZ is not supported");
            return;
        }
        Json::Value& item = root["telemetries"]["items"][0];
        std::string optics;
        if (!fetch_(kOpticsProbeUri, optics) && optics.find("focus") != std::string::npos)
            item["supportsOnepushAutoFocus"] = 1;

        std::map<std::string, std::string> values;
        std::istringstream lines(body);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string name = line.substr(0, eq);
            const auto dot = name.rfind('.');
            values[dot == std::string::npos ? name : name.substr(dot + 1)] = line.substr(eq + 1);
        }
        item["presetCount"] = 20;
        item["presetSpeed"] = 100;
        auto has = [&](const char* key) {
            const auto it = values.find(key);
            return it != values.end() && it->second == "true";
        };
        // A missing limit ends the reading; what was written stays.
        auto limit = [&](const char* key, const char* member, const char* what) {
            const auto it = values.find(key);
            std::optional<int> value;
            if (it != values.end()) {
                try {
                    std::size_t used = 0;
                    value = std::stoi(it->second, &used);
                    if (used != it->second.size())
                        value.reset();
                } catch (const std::exception&) {
                }
            }
            if (!value) {
                ORIX_LOG(logger_, LogDebug, " " << what << " value not found when Absolute move is supported");
                return false;
            }
            item[member] = *value;
            return true;
        };
        if (has("RelativePan") && has("RelativeTilt")) {
            item["supportsDiscreteMove"] = 1;
            item["panStep"] = 100;
            item["tiltStep"] = 100;
        }
        if (has("RelativeZoom")) {
            item["supportsDiscreteZoom"] = 1;
            item["zoomStep"] = 100;
        }
        if (has("RelativeFocus")) {
            item["supportsDiscreteFocus"] = 1;
            item["focusStep"] = 100;
        }
        if (has("RelativeIris")) {
            item["supportsDiscreteIris"] = 1;
            item["irisStep"] = 100;
        }
        if (has("AbsolutePan") && has("AbsoluteTilt")) {
            item["supportsDirectMove"] = 1;
            item["panSpeed"] = 100;
            item["tiltSpeed"] = 100;
            if (!limit("MaxPan", "directPanMaxPosition", "Max pan") ||
                !limit("MinPan", "directPanMinPosition", "Min pan") ||
                !limit("MaxTilt", "directTiltMaxPosition", "Max tilt") ||
                !limit("MinTilt", "directTiltMinPosition", "Min tilt"))
                return;
        }
        if (has("AbsoluteZoom")) {
            item["supportsDirectZoom"] = 1;
            item["zoomSpeed"] = 100;
            if (!limit("MaxZoom", "directZoomMaxPosition", "Max zoom") ||
                !limit("MinZoom", "directZoomMinPosition", "Min zoom"))
                return;
        }
        if (has("AreaZoom")) {
            item["supportsAreaZoom"] = 1;
            item["supportsPointMove"] = 1;
        }
        if (has("ContinuousPan") && has("ContinuousTilt")) {
            item["supportsContinuousMove"] = 1;
            item["panSpeed"] = 100;
            item["tiltSpeed"] = 100;
        }
        if (has("ContinuousZoom")) {
            item["supportsContinuousZoom"] = 1;
            item["zoomSpeed"] = 100;
        }
        if (has("ContinuousFocus")) {
            item["supportsContinuousFocus"] = 1;
            item["focusSpeed"] = 100;
        }
        if (has("ContinuousIris")) {
            item["supportsContinuousIris"] = 1;
            item["irisSpeed"] = 100;
        }
    } catch (const std::exception& e) {
        ORIX_LOG(logger_, LogError, " std::exception - " << e.what());
    }
}

} // namespace Vapixcam

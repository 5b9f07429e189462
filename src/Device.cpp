#include "Device.h"

#include "AutodetectTool.h"
#include "DefaultProperties.h"
#include "DeviceDescriptionBuilder.h"
#include "EventStream.h"

#include "TopologyParser.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <json/json.h>
#include <boost/asio/post.hpp>
#include <netkit/asio/TcpProbe.h>
#include <netkit/http/HttpError.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/PropertiesJson.h>
#include <netkit/util/Contract.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

const char* const kOpticsProbeUri = "/axis-cgi/opticssetup.cgi?monitor=poll&source=1";
const char* const kRateControlUri = "/axis-cgi/param.cgi?action=listdefinitions&listformat="
                                    "xmlschema&group=root.Image.I%.RateControl.Mode";

// The optics probe blocks the connection thread; a camera that does not
// answer must not hold the attempt for the default request time-out.
constexpr std::chrono::milliseconds kProbeTimeout{10000};
constexpr std::chrono::milliseconds kRtspProbeTimeout{5000};
// The second stream's profile waits for this answer before it streams.
constexpr std::chrono::milliseconds kRateControlTimeout{4000};

// More than any Axis product has (multi-sensor cameras and video encoders
// stay far below): a larger count is a broken answer, not a camera.
constexpr std::int32_t kMaxVideoChannels = 64;
constexpr std::int32_t kMaxAudioSources = 16;
constexpr std::int32_t kMaxPorts = 64;

// A count the camera reports. What no camera can have (negative, not a
// number, beyond the limit) is logged and replaced by the fallback.
std::int32_t countValue(const std::string& body, const std::string& key, std::int32_t missing,
                        std::int32_t limit, const Orix::LoggerOwner& logger)
{
    const auto value = findParameterValue(body, key, logger);
    if (!value)
        return missing;
    std::int64_t n = 0;
    bool valid = !value->empty() && value->size() <= 10;
    for (char c : *value) {
        if (!valid || c < '0' || c > '9') {
            valid = false;
            break;
        }
        n = n * 10 + (c - '0');
    }
    if (valid && n <= limit)
        return static_cast<std::int32_t>(n);
    ORIX_LOG(logger, Orix::LogError,
             " Device reports " << key << "=" << value->substr(0, 32) << ", which no camera has (0.."
                                << limit << "); " << missing << " is used");
    return missing;
}

Json::Value toJson(const std::vector<std::string>& items)
{
    Json::Value array(Json::arrayValue);
    for (const auto& item : items)
        array.append(item);
    return array;
}

} // namespace

void applyTopologyAnswer(const std::string& body, Topology& topology,
                         const Orix::LoggerOwner& logger)
{
    topology.product = findParameterValue(body, "Brand.ProdNbr", logger).value_or("");
    topology.firmware = findParameterValue(body, "Firmware.Version", logger).value_or("");
    ORIX_LOG(logger, Orix::LogWarning,
             " Connected to device " << topology.product << "/" << topology.firmware);

    const auto dot = topology.firmware.find('.');
    if (dot != std::string::npos) {
        topology.modelKey = topology.product + "#" + topology.firmware.substr(0, dot);
    } else {
        ORIX_LOG(logger, Orix::LogError,
                 " Cannot get major firmware version from '" << topology.firmware << "'");
        topology.modelKey.clear();
    }

    if (body.find("CtlQueueing") != std::string::npos)
        topology.ptzControlQueue = true;

    topology.videoCodecs = videoCodecsOf(findParameterValue(body, "Properties.Image.Format", logger).value_or(""));
    if (topology.videoCodecs.empty())
        topology.videoCodecs = {"H264"};
    topology.audioCodecs = audioCodecsOf(findParameterValue(body, "Audio.Decoder.Format", logger).value_or(""));

    topology.resolutions = getResolutions(body, logger, "");

    topology.audioSources = countValue(body, "AudioSource.NbrOfSources", 0, kMaxAudioSources, logger);
    topology.videoChannels = countValue(body, "ImageSource.NbrOfSources", topology.videoChannels,
                                        kMaxVideoChannels, logger);
    if (topology.videoChannels == 0) {
        ORIX_LOG(logger, Orix::LogError, " Device reports no image source; 1 is used");
        topology.videoChannels = 1;
    }
    topology.inputs = countValue(body, "Input.NbrOfInputs", 0, kMaxPorts, logger);
    topology.outputs = countValue(body, "Output.NbrOfOutputs", 0, kMaxPorts, logger);
    topology.virtualInputs = findParameterValue(body, "VirtualInput", logger).value_or("") == "yes";

    ORIX_LOG(logger, Orix::LogDebug,
             " Device has:"
                 << " videoCodecs=" << listToString(topology.videoCodecs)
                 << " audioCodecs=" << listToString(topology.audioCodecs)
                 << " channels=" << topology.videoChannels << " asChannels=" << topology.audioSources
                 << " input=" << topology.inputs << " outputs=" << topology.outputs
                 << (topology.virtualInputs ? "+32v" : "")
                 << " resolutions=" << listToString(topology.resolutions));

    unsigned long port = 0;
    if (const auto text = findParameterValue(body, "Network.RTSP.Port", logger)) {
        try {
            std::size_t used = 0;
            port = std::stoul(*text, &used);
            if (used != text->size() || port > 65535)
                port = 0;
        } catch (const std::exception&) {
            port = 0;
        }
    }
    if (port == 0) {
        ORIX_LOG(logger, Orix::LogWarning,
                 " Can't get RTSP port from response, default RTPS will be used");
    } else {
        topology.rtspPort = static_cast<std::uint16_t>(port);
        topology.rtspOverHttp = false;
        ORIX_LOG(logger, Orix::LogWarning, " Use " << port << " as RTSP port");
    }
}

Device::Device(Orix::GDRV::IDeviceHandler* handler, const Orix::GDRV::DeviceDescription& description,
               std::string model, std::string firmware, Orix::GDRV::DriverInfoPtr driverInfo,
               Orix::LoggerPtr logger)
    : Base(handler, std::move(logger), description),
      StorageDevice(static_cast<DeviceServices&>(*this)),
      model_(std::move(model)),
      firmware_(std::move(firmware)),
      driverInfo_(std::move(driverInfo)),
      deviceSettings_(parameters_, driverInfo_, getLogger())
{
}

Device::~Device()
{
    deviceSettings_.cancel();
    runOnIoThread(*this, [this] {
        if (auto stream = std::move(eventStream_))
            stream->shutdown();
    });
    stopConnectionThread();
}

Orix::IContract* Device::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* Device::QueryConstContract(const char* name) const
{
    using namespace Orix;
    if (Utility::isContract<IContract>(name) || Utility::isContract<GDRV::IDevice>(name) ||
        Utility::isContract<GDRV::IDevice2>(name))
        return static_cast<const GDRV::IDevice2*>(this);
    if (Utility::isContract<GDRV::IDeviceInfo>(name))
        return static_cast<const GDRV::IDeviceInfo*>(this);
    if (Utility::isContract<GDRV::IStorageDevice>(name))
        return static_cast<const GDRV::IStorageDevice*>(this);
    if (Utility::isContract<IAsyncAdjuster>(name))
        return static_cast<const IAsyncAdjuster*>(this);
    if (Utility::isContract<IDynamicParametersProvider>(name))
        return static_cast<const IDynamicParametersProvider*>(this);
    if (Utility::isContract<IDefaultPropertiesSetter>(name))
        return static_cast<const IDefaultPropertiesSetter*>(this);
    return nullptr;
}

void Device::tryConnect(const std::string& connectionString)
{
    const auto info = Orix::asio::parseConnectionInfo(connectionString);
    if (!info) {
        handleConnected(Orix::Utility::makeConnectionError(
            Orix::Utility::ConnectionError::invalidConnectionString));
        return;
    }
    setConnectionInfo(info);
    const unsigned attempt = currentAttempt();

    // A camera without a motorised lens answers 404: an answer, not an error.
    std::string opticsBody;
    const auto opticsError = Orix::http::syncHttpGet(info, kOpticsProbeUri, nullptr, opticsBody, {},
                                                     true, kProbeTimeout);
    ORIX_LOG(*this, Orix::LogDebug,
             " Optics setup " << (opticsError ? "not available: " + opticsError.message()
                                              : std::string("available"))
                              << ", request: " << info->display() << kOpticsProbeUri);
    {
        std::lock_guard<std::mutex> lock(topologyMutex_);
        topology_.opticsSetup = !opticsError;
    }

    pendingRequest_ = Orix::http::asyncGetEx(
        info, kTopologyRequestUri, service(), std::nullopt,
        [this, attempt](const boost::system::error_code& error, const std::string& body,
                        const Orix::http::HttpResponse& response) {
            handleTopology(attempt, error, body, response);
        });
}

void Device::handleTopology(unsigned attempt, const boost::system::error_code& error,
                            const std::string& body, const Orix::http::HttpResponse& response)
{
    pendingRequest_.reset();
    if (attempt != currentAttempt())
        return;
    if (error) {
        if (error.value() == 404) {
            ORIX_LOG(*this, Orix::LogWarning,
                     " Can't receive device properties: " << error.value() << "." << error.message()
                                                           << ", default values will be used");
        } else {
            ORIX_LOG(*this, Orix::LogError,
                     " Can't receive device properties: " << error.value() << "."
                                                           << error.message());
            handleConnected(error);
            return;
        }
    } else if (const std::string problem = topologyAnswerProblem(response.status, response.reason, body);
               !problem.empty()) {
        // Only a missing CGI (404, older firmware) is answered with defaults;
        // anything else would report a camera we know nothing about as connected.
        ORIX_LOG(*this, Orix::LogError, " Can't receive device properties: " << problem);
        handleConnected(make_error_code(response.status == 401 || response.status == 403
                                            ? Orix::http::error::unauthorized
                                            : Orix::http::error::malformedResponse));
        return;
    } else {
        Topology updated = topology();
        applyTopologyAnswer(body, updated, *this);
        std::lock_guard<std::mutex> lock(topologyMutex_);
        topology_ = std::move(updated);
    }
    checkRtspReachability(attempt);
}

void Device::checkRtspReachability(unsigned attempt)
{
    const auto info = getConnectionInfo();
    const std::uint16_t rtspPort = topology().rtspPort;
    if (rtspPort == info->endpoint.port) {
        ORIX_LOG(*this, Orix::LogWarning, " RTSP port is same as device port");
        handleConnected({});
        return;
    }
    ORIX_LOG(*this, Orix::LogDebug, " Checking RTSP.....");
    Orix::asio::Endpoint endpoint{info->endpoint.address, rtspPort};
    Orix::asio::asyncTcpProbe(
        service(), endpoint, kRtspProbeTimeout,
        [this, attempt](const boost::system::error_code& error) {
            if (attempt != currentAttempt())
                return;
            if (error) {
                ORIX_LOG(*this, Orix::LogWarning,
                         " Can't connect to RTSP port: " << error.value() << "." << error.message()
                                                          << ", rtspOverHttp will be used");
                std::lock_guard<std::mutex> lock(topologyMutex_);
                topology_.rtspOverHttp = true;
            } else {
                ORIX_LOG(*this, Orix::LogDebug, " RTSP port is reachable");
            }
            handleConnected({});
        });
}

void Device::onDisconnected()
{
    deviceSettings_.cancel();
    if (pendingRequest_) {
        pendingRequest_->cancel();
        pendingRequest_.reset();
    }
}

Orix::asio::ConnectionInfoPtr Device::getRtspConnectionInfo(bool& rtspOverHttp)
{
    try {
        const auto info = getConnectionInfo();
        if (!info)
            return nullptr;
        const Topology current = topology();
        if (current.rtspOverHttp) {
            rtspOverHttp = true;
            return info;
        }
        auto rtsp = std::make_shared<Orix::asio::ConnectionInfo>(*info);
        if (!Orix::asio::resolveAddress(info->endpoint.address, rtsp->endpoint,
                                        std::to_string(current.rtspPort)))
            throw std::runtime_error("cannot resolve '" + info->endpoint.address + "'");
        return rtsp;
    } catch (const std::exception& e) {
        ORIX_LOG(*this, Orix::LogError, "std::exception - " << e.what());
        return nullptr;
    }
}

Topology Device::topology() const
{
    std::lock_guard<std::mutex> lock(topologyMutex_);
    return topology_;
}

std::string Device::maxResolution() const
{
    return Vapixcam::maxResolution(topology().resolutions);
}

std::string Device::dewarpMode() const
{
    return parameters_.getString("dewarpMode");
}

void Device::registerWorkingStream(std::weak_ptr<RestartableStream> stream)
{
    const auto alive = stream.lock();
    if (!alive)
        return;
    unregisterWorkingStream(alive.get());
    std::lock_guard<std::mutex> lock(streamsMutex_);
    workingStreams_.push_back(std::move(stream));
}

// Also drops the streams that are gone.
std::shared_ptr<EventStream> Device::getNotificationStream()
{
    if (!isCalledFromConnectionThread()) {
        ORIX_LOG(*this, Orix::LogError, " Called not from connection thread");
        return nullptr;
    }
    if (!eventStream_)
        eventStream_ = EventStream::create(*this);
    return eventStream_;
}

void Device::unregisterWorkingStream(const RestartableStream* stream)
{
    std::lock_guard<std::mutex> lock(streamsMutex_);
    workingStreams_.erase(std::remove_if(workingStreams_.begin(), workingStreams_.end(),
                                         [stream](const std::weak_ptr<RestartableStream>& held) {
                                             const auto alive = held.lock();
                                             return !alive || alive.get() == stream;
                                         }),
                          workingStreams_.end());
}

std::vector<std::shared_ptr<RestartableStream>> Device::workingStreams() const
{
    std::vector<std::shared_ptr<RestartableStream>> streams;
    std::lock_guard<std::mutex> lock(streamsMutex_);
    for (const auto& held : workingStreams_)
        if (auto stream = held.lock())
            streams.push_back(std::move(stream));
    return streams;
}

void Device::restartWorkingStreams()
{
    for (const auto& stream : workingStreams())
        stream->restartSession();
}

void Device::resetWorkingStreams(const std::string& title)
{
    for (const auto& stream : workingStreams()) {
        ORIX_LOG(*this, Orix::LogDebug,
                 " " << title << " Set default parameters for working stream " << stream->name());
        stream->resetToDefaults();
    }
}

void Device::SetDefaultProperties(Orix::IDynamicParametersHandler* handler)
{
    auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "SetDefaultProperties");
    std::weak_ptr<Device*> weak = lifetime_;
    boost::asio::post(service(), [weak, completion] {
        const auto alive = weak.lock();
        if (!alive)
            return;
        Device& device = **alive;
        DefaultPropertiesContext context;
        context.info = device.getConnectionInfo();
        context.io = &device.service();
        context.topology = device.topology();
        context.source = static_cast<Orix::GDRV::IDevice2*>(&device);
        context.rateControlMode = [weak](std::uint32_t channel,
                                         std::function<void(const std::string&)> done) {
            if (const auto held = weak.lock())
                (*held)->rateControlMode(channel, std::move(done));
        };
        context.resetWorkingStreams = [weak](const std::string& title) {
            if (const auto held = weak.lock())
                (*held)->resetWorkingStreams(title);
        };
        context.describe = [info = context.info, driverInfo = device.driverInfo_,
                            logger = device.getLogger()] {
            AutodetectTool tool(driverInfo, logger);
            std::string topology;
            return tool.describe(info, topology);
        };
        DefaultPropertiesRun::start(std::move(context), completion, device.getLogger());
    });
}

std::int32_t Device::inputCount() const
{
    return topology().inputs;
}

std::int32_t Device::outputCount() const
{
    return topology().outputs;
}

void Device::rateControlMode(std::uint32_t channel, std::function<void(const std::string&)> done)
{
    {
        std::lock_guard<std::mutex> lock(rateControlMutex_);
        const auto it = rateControlModes_.find(channel);
        if (it != rateControlModes_.end()) {
            boost::asio::post(service(), [done = std::move(done), mode = it->second] { done(mode); });
            return;
        }
    }
    std::string uri = kRateControlUri;
    uri.replace(uri.find("I%"), 2, "I" + std::to_string(channel));
    const auto info = getConnectionInfo();
    if (!info) {
        boost::asio::post(service(), [done = std::move(done)] { done("cbr"); });
        return;
    }
    // The destructor stops the I/O thread before anything else goes, so this
    // completion never runs into a destroyed device.
    Orix::http::asyncGetEx(
        info, uri, service(), kRateControlTimeout,
        [this, channel, uri, done = std::move(done)](const boost::system::error_code& error,
                                                     const std::string& body,
                                                     const Orix::http::HttpResponse& response) {
            if (error || response.status < 200 || response.status >= 300 ||
                body.find("RateControl") == std::string::npos) {
                ORIX_LOG(*this, Orix::LogNotice,
                         " Rate control mode of channel " << channel << " is unknown ("
                             << (error ? error.message() : "status " + std::to_string(response.status))
                             << "), cbr is used");
                done("cbr");
                return;
            }
            const std::string mode = body.find("value=\"abr\"") != std::string::npos ? "abr" : "cbr";
            {
                std::lock_guard<std::mutex> lock(rateControlMutex_);
                rateControlModes_[channel] = mode;
            }
            done(mode);
        });
}

Orix::Analytics::IVideoAnalytics* Device::CreateVideoAnalytics(
    Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel, const char* detectorId)
{
    const auto& models = description().models;
    ORIX_LOG(*this, Orix::LogDebug,
             " Creating videoAnalytic detectorID='"
                 << (detectorId ? detectorId : "") << "' for " << models.front().vendor << "/"
                 << models.front().model << "/"
                 << (models.front().firmwares.empty() ? "" : models.front().firmwares.front()));
    if (generic()) {
        return guarded([&] {
            return DeviceTraits::createDetector(handler, channel, detectorId ? detectorId : "",
                                                *this);
        });
    }
    const auto& sources = description().videoSources;
    if (channel < sources.size() && detectorId != nullptr) {
        const auto& detectors = sources[channel].detectors;
        if (std::find(detectors.begin(), detectors.end(), detectorId) != detectors.end())
            return guarded(
                [&] { return DeviceTraits::createDetector(handler, channel, detectorId, *this); });
        ORIX_LOG(*this, Orix::LogError,
                 " Can't create videoAnalytic detectorID='" << detectorId
                                                            << "' not defined for device");
        return nullptr;
    }
    ORIX_LOG(*this, Orix::LogError,
             " Can't create videoAnalytic channel=" << channel << " detectorID='"
                                                    << (detectorId ? detectorId : "") << "'");
    return nullptr;
}

Orix::Analytics::IVideoAnalytics* Device::CreateVideoAnalyticsEx(
    Orix::Analytics::IVideoAnalyticsHandler*, std::uint32_t channel, const char* detectorId)
{
    ORIX_LOG(*this, Orix::LogDebug,
             " Creating videoAnalyticEx channel=" << channel << " detectorID='"
                                                  << (detectorId ? detectorId : "") << "'");
    return nullptr;
}

void Device::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    boost::asio::post(service(), [this, completion] {
        const auto info = getConnectionInfo();
        auto* self = static_cast<Orix::GDRV::IDevice2*>(this);
        if (!info) {
            completion->failed(self, Orix::NoConnection);
            return;
        }
        deviceSettings_.acquire(info, service(), [completion, self](std::uint32_t result,
                                                                    const std::string& json) {
            if (result != 0)
                completion->failed(self, result);
            else
                completion->completed(self, json);
        });
    });
}

void Device::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    parameters_.pushParameters(takeCollected());
    boost::asio::post(service(), [this, completion] {
        auto* self = static_cast<Orix::GDRV::IDevice2*>(this);
        deviceSettings_.apply(
            getConnectionInfo(), service(),
            [completion, self](std::uint32_t result) { completion->finish(self, result); },
            [this](const std::string&) { restartWorkingStreams(); });
    });
}

void Device::DescribeDevice(Orix::IDynamicParametersHandler* handler)
{
    if (handler == nullptr)
        return;
    try {
        const Topology t = topology();
        Json::Value root(Json::objectValue);
        root["connected"] = connectionState() == Orix::GDRV::ConnectionState::Connected;
        root["product"] = t.product;
        root["firmware"] = t.firmware;
        root["modelKey"] = t.modelKey;
        root["videoCodecs"] = toJson(t.videoCodecs);
        root["audioCodecs"] = toJson(t.audioCodecs);
        root["resolutions"] = toJson(t.resolutions);
        root["videoChannels"] = t.videoChannels;
        root["audioSources"] = t.audioSources;
        root["inputs"] = t.inputs;
        root["outputs"] = t.outputs;
        root["virtualInputs"] = t.virtualInputs;
        root["rtspPort"] = t.rtspPort;
        root["rtspOverHttp"] = t.rtspOverHttp;
        root["opticsSetup"] = t.opticsSetup;
        root["ptzControlQueue"] = t.ptzControlQueue;
        // Product, firmware and lists are the camera's text.
        Orix::Utility::sanitizeJsonStrings(root);
        Json::StreamWriterBuilder writer;
        writer["indentation"] = "";
        const std::string text = Json::writeString(writer, root);
        handler->Completed(static_cast<Orix::GDRV::IDeviceInfo*>(this), text.c_str(),
                           static_cast<std::uint32_t>(text.size()));
    } catch (const std::exception& e) {
        ORIX_LOG(*this, Orix::LogError, " std::exception - " << e.what());
        handler->Failed(static_cast<Orix::GDRV::IDeviceInfo*>(this), Orix::GenericFailure);
    }
}

} // namespace Vapixcam

#include "DefaultProperties.h"

#include "ParameterDescriptor.h"
#include "VideoParameterTable.h"
#include "VideoUpdateBuilder.h"

#include <netkit/http/AsyncMultiRequest.h>
#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

constexpr const char* kTitle = "SetDefaultProperties";

} // namespace

const DefaultStreamProperties& defaultMainStreamProperties()
{
    // What a camera ships with: medium compression, the sensor's full frame
    // rate, a GOP of 32 frames, variable bit rate.
    static const DefaultStreamProperties defaults = {
        {"Image.I%.Appearance.Compression", "30"},
        {"Image.I%.Stream.FPS", "0"},
        {"Image.I%.MPEG.PCount", "31"},
        {"Image.I%.RateControl.Mode", "vbr"},
    };
    return defaults;
}

std::string defaultMainStreamUrl(std::uint32_t channel, const DefaultStreamProperties& defaults,
                                 const Orix::LoggerOwner& logger)
{
    std::string url = kParamUpdateUri;
    const std::string instance = "I" + std::to_string(channel);
    for (const auto& [path, value] : defaults) {
        if (VideoParameterTable::findByPath(path) == nullptr)
            continue;
        url += "&" + instancePath(path, instance) + "=" + VideoUpdateBuilder::encodeValue(value);
    }
    ORIX_LOG(logger, Orix::LogDebug,
             " Define parameters of main stream of channel " << channel << " with url '" << url << "'");
    return url;
}

StreamProfileCheck defaultSecondStreamRequest(std::uint32_t channel, const std::string& profileList,
                                              const Topology& topology, const std::string& rateControlMode,
                                              const Orix::LoggerOwner& logger)
{
    StreamProfileInputs inputs;
    inputs.channel = channel;
    inputs.stream = 1;
    inputs.cameraNumber = channel + 1;
    inputs.codec = topology.videoCodecs.empty() ? std::string("H264") : topology.videoCodecs.front();
    inputs.rateControlMode = rateControlMode;
    inputs.force = true;
    inputs.fallbackResolutions = topology.resolutions;
    StreamProfileCheck check = checkStreamProfileForChannel(profileList, inputs, logger);
    if (!check.requestUrl.empty())
        ORIX_LOG(logger, Orix::LogDebug,
                 "\t" << check.action << " stream profile for channel " << channel << " with url '"
                      << check.requestUrl << "'");
    return check;
}

DefaultPropertiesRun::DefaultPropertiesRun(DefaultPropertiesContext context,
                                           Orix::Utility::DynamicParametersCompletionPtr completion,
                                           Orix::LoggerPtr logger)
    : LoggerOwner(std::move(logger)), context_(std::move(context)), completion_(std::move(completion))
{
}

void DefaultPropertiesRun::start(DefaultPropertiesContext context,
                                 Orix::Utility::DynamicParametersCompletionPtr completion,
                                 Orix::LoggerPtr logger)
{
    std::shared_ptr<DefaultPropertiesRun> run(
        new DefaultPropertiesRun(std::move(context), std::move(completion), std::move(logger)));
    ORIX_LOG(*run, Orix::LogDebug, " " << kTitle << " Set default parameters on device: ");
    if (!run->context_.info || run->context_.io == nullptr) {
        run->completion_->failed(run->context_.source, Orix::NoConnection);
        return;
    }
    run->doRateControlModes(0);
}

// The second-stream profiles name the channel's rate-control mode; it is
// asked of the camera (once per device) before any request goes out, so the
// profile requests can be added the moment the list arrives.
void DefaultPropertiesRun::doRateControlModes(std::uint32_t channel)
{
    const auto channels = static_cast<std::uint32_t>(std::max(0, context_.topology.videoChannels));
    if (channel >= channels || !context_.rateControlMode) {
        doRequests();
        return;
    }
    auto self = shared_from_this();
    context_.rateControlMode(channel, [self, channel](const std::string& mode) {
        self->rateControlModes_.push_back(mode);
        self->doRateControlModes(channel + 1);
    });
}

void DefaultPropertiesRun::doRequests()
{
    requests_ = Orix::Utility::AsyncMultiRequest::create(context_.info, *context_.io);
    std::weak_ptr<DefaultPropertiesRun> weak = shared_from_this();
    requests_->addGetRequest(kDefaultsProfileListUri, std::nullopt,
                             [weak](const boost::system::error_code& error, const std::string& body,
                                    const Orix::http::HttpResponse& response) {
                                 if (auto self = weak.lock())
                                     self->handleProfileList(error, body, response);
                             });
    const auto channels = static_cast<std::uint32_t>(std::max(0, context_.topology.videoChannels));
    for (std::uint32_t channel = 0; channel < channels; ++channel)
        requests_->addGetRequest(defaultMainStreamUrl(channel, defaultMainStreamProperties(), *this),
                                 std::nullopt, {});
    auto self = shared_from_this();
    requests_->start([self](std::uint32_t result) { self->handleFinished(result); });
}

void DefaultPropertiesRun::handleProfileList(const boost::system::error_code& error, const std::string& body,
                                             const Orix::http::HttpResponse& response)
{
    if (Orix::Utility::checkHttpAnswer(*this, error, body, response, kDefaultsProfileListUri) != Orix::Ok) {
        ORIX_LOG(*this, Orix::LogError, " " << kTitle << " Cannot receive StreamProfile setting from device");
        return;
    }
    ORIX_LOG(*this, Orix::LogDebug, " " << kTitle << " Update profile settings on device:");
    const auto channels = static_cast<std::uint32_t>(std::max(0, context_.topology.videoChannels));
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        const std::string mode = channel < rateControlModes_.size() ? rateControlModes_[channel] : "cbr";
        const StreamProfileCheck check = defaultSecondStreamRequest(channel, body, context_.topology, mode, *this);
        if (!check.requestUrl.empty())
            requests_->addGetRequest(check.requestUrl, std::nullopt, {});
    }
}

void DefaultPropertiesRun::handleFinished(std::uint32_t result)
{
    requests_.reset();
    if (result != Orix::Ok) {
        completion_->failed(context_.source, result);
        return;
    }
    if (context_.resetWorkingStreams)
        context_.resetWorkingStreams(kTitle);
    ORIX_LOG(*this, Orix::LogDebug,
             " " << kTitle << " Set default parameters on device is finished with result " << 0);
    try {
        completion_->completed(context_.source, context_.describe());
    } catch (const std::exception& e) {
        ORIX_LOG(*this, Orix::LogError, " " << kTitle << " Cannot read device topology: " << e.what());
        completion_->failed(context_.source, Orix::DeviceNotRecognised);
    }
}

} // namespace Vapixcam

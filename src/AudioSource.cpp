#include "AudioSource.h"

#include "AudioParameters.h"
#include "AudioSettings.h"

#include <netkit/audio/AudioFilter.h>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/util/Contract.h>
#include <netkit/util/ErrorTranslation.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>


#include <map>

namespace Vapixcam {

namespace {

using Orix::Utility::AudioBuffer;

// Camera parameter under "AudioSource.A<n>" -> host name.
const std::map<std::string, std::string>& audioDescriptors()
{
    static const std::map<std::string, std::string> table = {
        {"AudioEncoding", "codec"},     {"BitRate", "bitRate"},         {"InputGain", "inputGain"},
        {"InputType", "inputType"},     {"MicrophonePower", "micPower"}, {"InputPreGain", "micGain"},
        {"SampleRate", "samplerate"},   {"InputPort", "audioInputPort"}, {"MicrophoneBalanced", "micBalanced"},
        {"MicrophonePowerType", "microphonePowerType"},
    };
    return table;
}

} // namespace

AudioSource::AudioSource(Orix::GDRV::IAudioSourceHandler*, std::uint32_t channel, const char*, DeviceServices& device)
    : Orix::LoggerOwner(device.logger(), "as " + std::to_string(channel)),
      Base(device, *this, "audio stream"),
      channel_(channel)
{
    parameters_.setDefaultValue("transportProtocol", std::string("tcp"));
}

AudioSource::~AudioSource() = default;

Orix::IContract* AudioSource::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* AudioSource::QueryConstContract(const char* name) const
{
    using namespace Orix;
    if (Utility::isContract<IContract>(name) || Utility::isContract<GDRV::IAudioSource>(name))
        return static_cast<const GDRV::IAudioSource*>(this);
    if (Utility::isContract<IAsyncAdjuster>(name))
        return static_cast<const IAsyncAdjuster*>(this);
    if (Utility::isContract<IDynamicParametersProvider>(name))
        return static_cast<const IDynamicParametersProvider*>(this);
    return nullptr;
}

std::string AudioSource::transport() const
{
    return parameters_.getString("transportProtocol", "tcp");
}

AudioSource::Session AudioSource::initializeStream(SessionEnded ended)
{
    const auto fail = [this, &ended](const boost::system::error_code& error) -> Session {
        postToContext(ioContext(), [ended, error] { ended(error, false); });
        return nullptr;
    };
    const auto info = device().connectionInfo();
    if (!info)
        return fail(Orix::Utility::makeConnectionError(Orix::Utility::ConnectionError::noConnectionInfo));
    // The input is switched on before every session: a camera restarted in
    // between has it off again.
    std::string body;
    const auto ec = Orix::http::syncHttpGet(info, enableAudioUrl(channel_), getLogger().get(), body);
    // param.cgi refuses an update with a 200 whose body is "# Error: ...".
    if (ec || body.rfind("# Error", 0) == 0) {
        ORIX_LOG(*this, Orix::LogError, " Failed to enable AudioSupport capabilities on device");
        return fail(ec ? ec : Orix::http::make_error_code(Orix::http::error::malformedResponse));
    }
    lostReported_ = 0;
    if (transport() == "http")
        return openHttp(ended, info);
    return openRtsp(ended);
}

AudioSource::Session AudioSource::openRtsp(const SessionEnded& ended)
{
    using Orix::Utility::RtspTransport;
    RtspTransport transport = RtspTransport::Tcp;
    Orix::Utility::parseTransportProtocolName(this->transport(), transport);
    bool overHttp = false;
    auto info = device().getRtspConnectionInfo(overHttp);
    if (info && overHttp) {
        ORIX_LOG(*this, Orix::LogWarning, " RTSP connection is not avalaible, trying rtsp over http");
        transport = RtspTransport::RtspOverHttp;
    }
    if (!info) {
        postToContext(ioContext(), [ended] {
            ended(Orix::Utility::makeConnectionError(Orix::Utility::ConnectionError::noConnectionInfo), false);
        });
        return nullptr;
    }
    auto client = std::make_shared<Orix::Utility::RTSPClient>(ioContext(), getLogger());
    const auto* raw = client.get();
    const auto lifetime = this->lifetime();
    Orix::Utility::AudioSinkParams params;
    params.reorder = transport == RtspTransport::Udp || transport == RtspTransport::Multicast;
    params.sink = [lifetime, raw](const AudioBuffer& buffer) {
        if (auto self = lifetime.lock(); self && (*self)->client_.get() == raw)
            (*self)->deliver(buffer);
    };
    client->setTrackInitializer([lifetime, params](const Orix::Utility::SdpMedia& track,
                                                   std::size_t index) -> std::shared_ptr<Orix::Utility::RtpTrackSink> {
        auto self = lifetime.lock();
        if (!self || track.kind != Orix::Utility::SdpMediaKind::audio || (*self)->filter_)
            return nullptr;
        auto filter = Orix::Utility::initializeAudioFilter(track, params, (*self)->getLogger());
        if (!filter)
            ORIX_LOG(**self, Orix::LogError, " Cannot initialize audio filter for track " << index);
        (*self)->filter_ = filter;
        return filter;
    });
    client->setTransport(transport);
    client->setUdpFlag(transport == RtspTransport::Udp);
    const std::string url = "/axis-media/media.amp?camera=" + std::to_string(channel_ + 1);
    ORIX_LOG(*this, Orix::LogDebug,
             " Begin receive audio by " << Orix::Utility::getTransportProtocolName(transport) << " with url: " << url);
    filter_.reset();
    client_ = client;
    client->start(url, info, [lifetime, raw, ended](const boost::system::error_code& result) {
        if (auto self = lifetime.lock(); self && (*self)->client_.get() == raw) {
            if ((*self)->filter_)
                (*self)->reportLost((*self)->filter_->statistics().lostFrames());
            (*self)->filter_.reset();
        }
        ended(result, false);
    });
    return [client] { client->teardown(); };
}

void AudioSource::stopStream()
{
    client_.reset();
    filter_.reset();
    httpFilter_.reset();
}

void AudioSource::deliver(const AudioBuffer& buffer)
{
    streamDataArrived();
    auto* h = handler();
    if (!h || !buffer.format)
        return;
    Orix::GDRV::AudioFrame frame;
    frame.algorithm = buffer.format->algorithm.c_str();
    frame.encoding = buffer.format->encoding;
    frame.sampleRate = buffer.format->sampleRate;
    frame.bitrate = buffer.format->bitrate;
    frame.channels = buffer.format->channels;
    frame.data = buffer.data;
    frame.size = static_cast<std::uint32_t>(buffer.size);
    frame.timestamp = buffer.hostTimestamp;
    frame.rtpTimestamp = buffer.rtpTimestamp;
    frame.config = buffer.format->config.empty() ? nullptr : buffer.format->config.data();
    frame.configSize = static_cast<std::uint32_t>(buffer.format->config.size());
    try {
        h->OnAudioFrame(static_cast<const Orix::GDRV::IAudioSource*>(this), frame);
        if (filter_)
            reportLost(filter_->statistics().lostFrames());
    } catch (const std::exception& e) {
        ORIX_LOG(*this, Orix::LogError, " std::exception: " << e.what());
    }
}

void AudioSource::reportLost(std::uint64_t lost)
{
    if (lost == lostReported_)
        return;
    lostReported_ = lost;
    if (auto* h = handler())
        h->OnStatistic(static_cast<const Orix::GDRV::IAudioSource*>(this), "lostFrames", double(lost));
}

void AudioSource::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    const auto* self = static_cast<const Orix::GDRV::IAudioSource*>(this);
    auto collected = takeCollected();
    AudioSettingsChange change;
    const auto text = [&](const char* name) { return settingText(collected, name); };
    const auto flag = [&](const char* name) -> std::optional<bool> {
        const auto value = text(name);
        if (!value)
            return std::nullopt;
        return *value == "true" || *value == "1" || *value == "yes";
    };
    if (auto transport = text("transportProtocol")) {
        Orix::Utility::ParamMap update{{"transportProtocol", *transport}};
        parameters_.updateParams(update);
    }
    change.codec = text("codec");
    change.bitRate = text("bitRate");
    change.samplerate = text("samplerate");
    change.micGain = text("micGain");
    change.inputGain = text("inputGain");
    change.inputType = text("inputType");
    change.audioInputPort = text("audioInputPort");
    change.microphonePowerType = text("microphonePowerType");
    change.micBalanced = flag("micBalanced");
    change.micPower = flag("micPower");
    const auto url = audioUpdateUrl(channel_, change);
    if (!url) {
        ORIX_LOG(*this, Orix::LogError,
                 " Cannot determine default dependent stream initialization parameters for codec " << *change.codec);
        completion->finish(self, Orix::InvalidArgument);
        return;
    }
    // A new session takes a changed encoding or transport; completions that
    // restart it run on the source's own thread, where its lifetime is safe
    // to check (Destroy joins that thread first).
    const bool started = this->started();
    const bool reconnect =
        started && (change.codec || change.bitRate || change.samplerate || collected.count("transportProtocol"));
    const auto lifetime = this->lifetime();
    const auto restart = [lifetime] {
        if (auto s = lifetime.lock(); s && (*s)->started())
            (*s)->restartStream();
    };
    if (url->find('&') == std::string::npos) {
        completion->finish(self, Orix::Ok);
        if (reconnect)
            postToContext(ioContext(), restart);
        return;
    }
    const auto info = device().connectionInfo();
    if (!info) {
        completion->finish(self, Orix::NoConnection);
        return;
    }
    auto logger = std::make_shared<Orix::LoggerOwner>(getLogger(), logPrefix());
    Orix::http::asyncGetEx(info, *url, started ? ioContext() : device().ioContext(), std::nullopt,
                           [completion, logger, self, uri = *url, reconnect, restart](
                               const boost::system::error_code& ec, const std::string& body,
                               const Orix::http::HttpResponse& response) {
                               const auto result = Orix::Utility::checkHttpAnswer(*logger, ec, body, response, uri);
                               completion->finish(self, result);
                               if (result == 0 && reconnect)
                                   restart();
                           });
}

void AudioSource::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    auto completion = Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    const auto* self = static_cast<const Orix::GDRV::IAudioSource*>(this);
    if (!device().connectionInfo()) {
        completion->failed(self, Orix::NoConnection);
        return;
    }
    auto logger = std::make_shared<const Orix::LoggerOwner>(getLogger(), logPrefix());
    const std::string transport = this->transport();
    requestAudioDefinitions(device(), channel_, logger, [completion, logger, self, transport](
                                                            std::uint32_t result,
                                                            const std::vector<AudioParameterDefinition>& definitions) {
        if (result)
            return completion->failed(self, result);
        Orix::GDRV::PropertySet set;
        set["transportProtocol"] =
            Orix::GDRV::PropertyStringEnum{"transportProtocol", {"tcp", "udp", "http"}, transport};
        std::optional<std::string> codec, sampleRate, bitRate;
        for (const auto& d : definitions) {
            const auto it = audioDescriptors().find(d.name);
            if (it == audioDescriptors().end()) {
                ORIX_LOG(*logger, Orix::LogDebug, " Parameter '" << d.name << "' is not supported");
                continue;
            }
            if (!d.value) {
                ORIX_LOG(*logger, Orix::LogNotice,
                         " Cannot get current value for param '" << d.name << "'. Skip this param");
                continue;
            }
            if (it->second == "codec")
                codec = d.value;
            else if (it->second == "samplerate")
                sampleRate = d.value;
            else if (it->second == "bitRate")
                bitRate = d.value;
            if (auto p = audioProperty(d, it->second))
                set[it->second] = *p;
            else
                ORIX_LOG(*logger, Orix::LogNotice,
                         " Unexpected property type for property '" << it->second << "'");
        }
        // processDependentParams: the bit rates the codec allows at its rate.
        const auto bitrates =
            codec && sampleRate ? dependentBitrates(*codec, *sampleRate) : std::vector<std::uint32_t>{};
        if (bitrates.empty()) {
            ORIX_LOG(*logger, Orix::LogError, " Cannot determine dependent properties values");
        } else {
            std::vector<std::string> values;
            for (const auto b : bitrates)
                values.push_back(std::to_string(b));
            set["bitRate"] = Orix::GDRV::PropertyStringEnum{"bitRate", values, bitRate.value_or(values.front())};
            set["samplerate"] = Orix::GDRV::PropertyStringEnum{"samplerate", {*sampleRate}, *sampleRate};
        }
        completion->completed(self, audioSettingsDocument(set, *logger));
    });
}

} // namespace Vapixcam

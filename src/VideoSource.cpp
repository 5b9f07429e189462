#include "VideoSource.h"

#include "Device.h"
#include "StreamProfile.h"
#include "VideoStreamPolicy.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cctype>
#include <future>
#include <mutex>
#include <netkit/http/ResponseCheck.h>
#include <netkit/rtp/StreamFilter.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/util/Contract.h>
#include <netkit/util/ErrorTranslation.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>
#include <random>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogNotice;
using Orix::LogWarning;
using Orix::Utility::RtspTransport;

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

const char* hostCodecName(Orix::Utility::Codec codec)
{
    switch (codec) {
    case Orix::Utility::Codec::h264: return "H264";
    case Orix::Utility::Codec::h265: return "H265";
    case Orix::Utility::Codec::jpeg: return "MJPEG";
    case Orix::Utility::Codec::mpeg4: return "MPEG4";
    case Orix::Utility::Codec::pcmu:
    case Orix::Utility::Codec::pcma: return "G.711";
    case Orix::Utility::Codec::g726: return "G.726";
    case Orix::Utility::Codec::aac: return "AAC";
    case Orix::Utility::Codec::metadata: return "METADATA";
    }
    return "";
}

} // namespace

// Everything touched on the I/O thread. Completions hold a weak reference,
// so a completion that arrives after Destroy finds nothing and returns.
struct VideoSource::State {
    explicit State(boost::asio::io_context& io) : reconnectTimer(io), signalLostTimer(io) {}

    boost::asio::steady_timer reconnectTimer;
    boost::asio::steady_timer signalLostTimer;
    std::shared_ptr<Orix::Utility::RTSPClient> client;
    std::uint64_t generation = 0; // bumped by Start and Stop; stale completions compare it
    std::uint64_t attempts = 0;
    bool reconnectPending = false;
    bool immediateReconnect = false;
    bool notifyOnFailure = true;
    bool signalLostArmed = false;
    bool framesSinceSession = false;
    bool profileReady = false;
    bool waitingForProfile = false;
    Orix::Utility::ParamMap profile; // the second stream's profile parameters
    ReconnectDelay reconnectDelay;
    std::minstd_rand random{std::random_device{}()};
};

namespace {
std::recursive_mutex& callbackMutex()
{
    // Frames and failures reach the host under this lock, and Stop takes it,
    // so that no callback runs after Stop has returned.
    static std::recursive_mutex mutex;
    return mutex;
}
} // namespace

VideoSource::VideoSource(Orix::GDRV::IVideoSourceHandler*, std::uint32_t stream,
                         std::uint32_t channel, const char*, Device& device)
    : LoggerOwner(device.getLogger()),
      stream_(stream),
      channel_(channel),
      device_(device),
      holder_(std::make_shared<HandlerHolder>()),
      state_(std::make_unique<State>(device.service()))
{
    setLogPrefix("vs %1%", std::to_string(channel) + "." + std::to_string(stream));
    parameters_.setDefaultValue("transportProtocol", std::string("tcp"));
    parameters_.setDefaultValue("signalLostTimeout", 0);
}

VideoSource::~VideoSource() = default;

Orix::IContract* VideoSource::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* VideoSource::QueryConstContract(const char* name) const
{
    using namespace Orix;
    if (Utility::isContract<IContract>(name) || Utility::isContract<GDRV::IVideoSource>(name))
        return static_cast<const GDRV::IVideoSource*>(this);
    if (Utility::isContract<IAsyncAdjuster>(name))
        return static_cast<const IAsyncAdjuster*>(this);
    if (Utility::isContract<IDynamicParametersProvider>(name))
        return static_cast<const IDynamicParametersProvider*>(this);
    return nullptr;
}

void VideoSource::Destroy()
{
    ORIX_LOG(*this, LogDebug, " Destroy, isActive=" << (holder_->started() ? "true" : "false"));
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex());
        holder_->stop();
    }
    auto teardown = [this] {
        internalStop();
        device_.unregisterWorkingStream(this);
        state_.reset();
        delete this;
    };
    if (device_.isCalledFromConnectionThread()) {
        boost::asio::post(device_.service(), teardown);
        return;
    }
    std::promise<void> done;
    boost::asio::post(device_.service(), [&done, teardown] {
        teardown();
        done.set_value();
    });
    done.get_future().wait();
}

void VideoSource::Start(Orix::GDRV::IVideoSourceHandler* handler)
{
    if (!holder_->start(handler)) {
        ORIX_LOG(*this, LogNotice, " Start ignored: " << (handler ? "already started" : "no handler"));
        return;
    }
    boost::asio::post(device_.service(), [this, holder = holder_] {
        if (!state_ || !holder->started())
            return;
        internalStart();
    });
}

void VideoSource::Stop()
{
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex());
        if (!holder_->stop())
            return;
    }
    boost::asio::post(device_.service(), [this] {
        if (state_)
            internalStop();
    });
}

void VideoSource::RequestKeyFrame(Orix::IAsyncActionHandler* handler)
{
    Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "RequestKeyFrame")
        ->finish(static_cast<Orix::GDRV::IVideoSource*>(this), Orix::NotSupported);
}

void VideoSource::SetBlockConfigurating(bool block)
{
    ORIX_LOG(*this, LogDebug, " Set BlockingConfiguration to " << (block ? "true" : "false"));
    parameters_.setPersistentParam("blockingConfiguration", block);
}

void VideoSource::setReconnectDelayFunction(ReconnectDelay delay)
{
    boost::asio::post(device_.service(), [this, delay = std::move(delay)] {
        if (state_)
            state_->reconnectDelay = delay;
    });
}

std::string VideoSource::profileName() const
{
    return streamProfileName(channel_, stream_);
}

std::string VideoSource::currentCodec() const
{
    if (stream_ == 1 && state_) {
        const auto it = state_->profile.find("videocodec");
        if (it != state_->profile.end())
            return upper(Orix::Utility::paramToString(it->second));
    }
    const auto codecs = device_.topology().videoCodecs;
    const std::string chosen = parameters_.getString("codec");
    if (!chosen.empty() && std::find(codecs.begin(), codecs.end(), chosen) != codecs.end())
        return chosen;
    return codecs.empty() ? "H264" : codecs.front();
}

void VideoSource::internalStart()
{
    State& s = *state_;
    ORIX_LOG(*this, LogDebug, " Stream " << stream_ << " is starting");
    ++s.generation;
    s.attempts = 0;
    s.immediateReconnect = false;
    s.notifyOnFailure = true;
    device_.registerWorkingStream(this);
    if (stream_ == 0 || s.profileReady) {
        scheduleReconnect(std::chrono::milliseconds(0));
        return;
    }
    s.waitingForProfile = true;
    doAcquireStreamProfile(false);
}

void VideoSource::internalStop()
{
    State& s = *state_;
    ++s.generation;
    s.reconnectTimer.cancel();
    s.reconnectPending = false;
    s.waitingForProfile = false;
    if (s.client)
        s.client->teardown();
    s.signalLostTimer.cancel();
    s.signalLostArmed = false;
    device_.unregisterWorkingStream(this);
    ORIX_LOG(*this, LogDebug, " internalStop is finished");
}

void VideoSource::scheduleReconnect(std::chrono::milliseconds delay)
{
    State& s = *state_;
    if (s.reconnectTimer.expires_after(delay) > 0)
        ORIX_LOG(*this, LogError, " Scheduling reconnect while some reconnect is already in progress.");
    s.reconnectPending = true;
    const std::uint64_t generation = s.generation;
    s.reconnectTimer.async_wait([this, generation](const boost::system::error_code& error) {
        if (!state_ || error == boost::asio::error::operation_aborted)
            return;
        state_->reconnectPending = false;
        if (error) {
            ORIX_LOG(*this, LogError, " Reconnect rescheduling failed: " << error.message());
            return;
        }
        if (generation != state_->generation || !holder_->started())
            return;
        initializeStream();
    });
}

void VideoSource::initializeStream()
{
    State& s = *state_;
    ORIX_LOG(*this, LogDebug, " Begin initializeStream");

    RtspTransport transport = RtspTransport::Tcp;
    const std::string transportName = parameters_.getString("transportProtocol", "tcp");
    if (!Orix::Utility::parseTransportProtocolName(transportName, transport))
        ORIX_LOG(*this, LogNotice, " Unknown transport '" << transportName << "', tcp is used");

    Orix::asio::ConnectionInfoPtr info;
    if (transport == RtspTransport::RtspOverHttp) {
        info = device_.getConnectionInfo();
    } else {
        bool overHttp = false;
        info = device_.getRtspConnectionInfo(overHttp);
        if (info && overHttp) {
            ORIX_LOG(*this, LogWarning, " RTSP connection is not avalaible, trying rtsp over http");
            transport = RtspTransport::RtspOverHttp;
        }
    }

    const std::uint64_t generation = s.generation;
    if (!info) {
        boost::asio::post(device_.service(), [this, generation] {
            if (state_)
                handleGrab(generation, Orix::Utility::makeConnectionError(
                                           Orix::Utility::ConnectionError::noConnectionInfo));
        });
        return;
    }

    const auto camera = cameraNumber(channel_, device_.dewarpMode());
    if (!camera) {
        ORIX_LOG(*this, LogError,
                 " Dewarp view '" << device_.dewarpMode() << "' is unknown; the stream does not start");
        return;
    }

    auto client = std::make_shared<Orix::Utility::RTSPClient>(device_.service(), getLogger());
    const bool reorder = transport == RtspTransport::Udp || transport == RtspTransport::Multicast;
    client->setTrackInitializer(
        [this, generation, reorder](const Orix::Utility::SdpMedia& track, std::size_t)
            -> std::shared_ptr<Orix::Utility::RtpTrackSink> {
            if (track.kind != Orix::Utility::SdpMediaKind::video)
                return nullptr;
            return Orix::Utility::initializeVideoFilter(
                track, reorder, getLogger(), [this, generation](const Orix::Utility::Frame& frame) {
                    deliverFrame(generation, &frame);
                });
        });
    client->setTransport(transport);
    const int signalLost = parameters_.getInt("signalLostTimeout", 0);
    if (signalLost > 0) {
        client->setTimeouts(std::chrono::seconds(signalLost), std::chrono::seconds(signalLost));
        ORIX_LOG(*this, LogDebug, " Rtsp timeout is " << signalLost << " sec.");
    }
    client->setUdpFlag(transport == RtspTransport::Udp);
    client->setTcpBufferSize(transport == RtspTransport::Tcp ? 64000 : 0);

    const std::string url = liveStreamUrl(*camera, stream_, currentCodec(), profileName());
    ORIX_LOG(*this, LogDebug,
             " Begin receive stream by " << Orix::Utility::getTransportProtocolName(transport)
                                         << " with url: " << url);
    s.client = client;
    s.framesSinceSession = false;
    client->start(url, info, [this, generation](const boost::system::error_code& result) {
        if (state_)
            handleGrab(generation, result);
    });
}

void VideoSource::deliverFrame(std::uint64_t generation, const void* opaque)
{
    State& s = *state_;
    if (generation != s.generation)
        return;
    const auto& frame = *static_cast<const Orix::Utility::Frame*>(opaque);
    if (!s.framesSinceSession) {
        s.framesSinceSession = true;
        // Frames are back: a pending signal-lost report is no longer true.
        if (s.signalLostArmed) {
            s.signalLostTimer.cancel();
            s.signalLostArmed = false;
        }
        s.attempts = 0;
    }
    Orix::GDRV::MediaFrame out;
    out.codec = hostCodecName(frame.codec);
    out.data = frame.data.data();
    out.size = static_cast<std::uint32_t>(frame.data.size());
    out.keyFrame = frame.keyFrame;
    out.timestamp = frame.hostTimestamp ? frame.hostTimestamp : Orix::Utility::timeStamp();
    out.rtpTimestamp = frame.rtpTimestamp;
    std::lock_guard<std::recursive_mutex> lock(callbackMutex());
    if (auto* handler = holder_->get()) {
        try {
            handler->OnFrame(static_cast<Orix::GDRV::IVideoSource*>(this), out);
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        }
    }
}

void VideoSource::handleGrab(std::uint64_t generation, const boost::system::error_code& result)
{
    State& s = *state_;
    ORIX_LOG(*this, LogDebug,
             " End receive stream with result " << result.value() << "." << result.message());
    if (!holder_->started() || generation != s.generation) {
        ORIX_LOG(*this, LogDebug, " Stop video stream receiving");
        return;
    }
    const bool immediate = s.immediateReconnect;
    if (!immediate) {
        ++s.attempts;
        const auto delay = s.reconnectDelay
                               ? s.reconnectDelay(s.attempts)
                               : std::chrono::milliseconds(
                                     1000ull * reconnectDelaySeconds(
                                                   s.attempts, static_cast<int>(s.random() % 32768)));
        ORIX_LOG(*this, LogDebug,
                 " Schedule reconnect of video stream after "
                     << std::chrono::duration_cast<std::chrono::seconds>(delay).count()
                     << " seconds, attempt=" << s.attempts);
        scheduleReconnect(delay);
    } else {
        ORIX_LOG(*this, LogDebug, " Schedule immediate reconnect of video stream");
        s.attempts = 0;
        scheduleReconnect(std::chrono::milliseconds(0));
    }
    if (result && (s.immediateReconnect || s.notifyOnFailure)) {
        s.immediateReconnect = false;
        s.notifyOnFailure = false;
        armSignalLost(result);
    }
    s.immediateReconnect = false;
}

void VideoSource::armSignalLost(const boost::system::error_code& error)
{
    State& s = *state_;
    s.signalLostArmed = true;
    s.signalLostTimer.expires_after(std::chrono::seconds(parameters_.getInt("signalLostTimeout", 0)));
    const std::uint64_t generation = s.generation;
    s.signalLostTimer.async_wait([this, generation, error](const boost::system::error_code& ec) {
        if (!state_ || ec == boost::asio::error::operation_aborted)
            return;
        state_->signalLostArmed = false;
        if (generation != state_->generation || state_->immediateReconnect)
            return;
        const std::uint32_t code = Orix::Utility::translateSystemError(error);
        ORIX_LOG(*this, LogError, " Signal lost: " << error.message() << " (code " << code << ")");
        std::lock_guard<std::recursive_mutex> lock(callbackMutex());
        if (auto* handler = holder_->get()) {
            try {
                handler->Failed(static_cast<Orix::GDRV::IVideoSource*>(this), code);
            } catch (const std::exception& e) {
                ORIX_LOG(*this, LogError, " std::exception - " << e.what());
            }
        }
    });
}

void VideoSource::endSession()
{
    if (state_ && state_->client)
        state_->client->teardown();
}

void VideoSource::resetToDefaults()
{
    boost::asio::post(device_.service(), [this] {
        if (!state_)
            return;
        parameters_.setPersistentParam("transportProtocol", std::string("tcp"));
        if (stream_ == 0) {
            const auto codecs = device_.topology().videoCodecs;
            parameters_.setPersistentParam("codec", codecs.empty() ? std::string("H264") : codecs.front());
            if (holder_->started())
                endSession();
        } else {
            doAcquireStreamProfile(true);
        }
    });
}

void VideoSource::doAcquireStreamProfile(bool force)
{
    const auto info = device_.getConnectionInfo();
    const auto camera = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    const std::string uri = "/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image.I" +
                            std::to_string(camera - 1) + ".Resolution";
    if (!info) {
        ORIX_LOG(*this, LogError, " No connection info to get stream profiles");
        return;
    }
    const std::uint64_t generation = state_->generation;
    Orix::http::asyncGetEx(
        info, uri, device_.service(), std::nullopt,
        [this, generation, force, uri](const boost::system::error_code& error,
                                       const std::string& body,
                                       const Orix::http::HttpResponse& response) {
            if (!state_ || generation != state_->generation)
                return;
            if (Orix::Utility::checkHttpAnswer(*this, error, body, response, uri) != 0) {
                ORIX_LOG(*this, LogError, " Failed to get stream profiles");
                handleAcquireStreamProfile(force, false, std::string());
                return;
            }
            handleAcquireStreamProfile(force, false, body);
        });
}

void VideoSource::handleAcquireStreamProfile(bool force, bool afterChange, const std::string& answer)
{
    State& s = *state_;
    const std::uint64_t generation = s.generation;
    auto retryLater = [this] {
        // Try again after the usual reconnect delay while the host wants the stream.
        if (!holder_->started())
            return;
        auto& st = *state_;
        ++st.attempts;
        const auto delay = st.reconnectDelay
                               ? st.reconnectDelay(st.attempts)
                               : std::chrono::milliseconds(1000ull * reconnectDelaySeconds(st.attempts, 0));
        st.reconnectTimer.expires_after(delay);
        const std::uint64_t gen = st.generation;
        st.reconnectTimer.async_wait([this, gen](const boost::system::error_code& ec) {
            if (!ec && state_ && gen == state_->generation && holder_->started())
                doAcquireStreamProfile(false);
        });
    };
    if (answer.empty()) {
        ORIX_LOG(*this, LogError,
                 " Reading parameters is finished. Can not read stream profile properties, camera responds: "
                     << answer);
        retryLater();
        return;
    }
    StreamProfileInputs inputs;
    inputs.channel = channel_;
    inputs.stream = stream_;
    inputs.cameraNumber = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    const auto codecs = device_.topology().videoCodecs;
    const std::string chosen = parameters_.getString("codec");
    inputs.codec = !chosen.empty() && std::find(codecs.begin(), codecs.end(), chosen) != codecs.end()
                       ? chosen
                       : (codecs.empty() ? "H264" : codecs.front());
    inputs.rateControlMode = device_.rateControlMode(channel_);
    inputs.force = force && !afterChange;
    const StreamProfileCheck check = checkStreamProfileForChannel(answer, inputs, *this);

    if (!check.action.empty()) {
        if (afterChange) {
            ORIX_LOG(*this, LogError, " Failed to create profile for streaming on a device");
            retryLater();
            return;
        }
        const auto info = device_.getConnectionInfo();
        if (!info)
            return;
        Orix::http::asyncGetEx(
            info, check.requestUrl, device_.service(), std::nullopt,
            [this, generation, action = check.action, url = check.requestUrl, retryLater](
                const boost::system::error_code& error, const std::string& body,
                const Orix::http::HttpResponse& response) {
                if (!state_ || generation != state_->generation)
                    return;
                const std::uint32_t code =
                    Orix::Utility::checkHttpAnswer(*this, error, body, response, url);
                if (code != 0 || body.rfind("# Error", 0) == 0) {
                    if (action == "update")
                        ORIX_LOG(*this, LogError, " Can't update stream profile: error " << code);
                    ORIX_LOG(*this, LogError, " Failed to create profile for streaming on a device");
                    retryLater();
                    return;
                }
                ORIX_LOG(*this, LogWarning,
                         " Profile for streaming has been " << action
                                                            << "ed on device, loading it from device");
                const auto info2 = device_.getConnectionInfo();
                const auto camera = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
                const std::string uri =
                    "/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image.I" +
                    std::to_string(camera - 1) + ".Resolution";
                Orix::http::asyncGetEx(
                    info2, uri, device_.service(), std::nullopt,
                    [this, generation, uri](const boost::system::error_code& e, const std::string& b,
                                            const Orix::http::HttpResponse& r) {
                        if (!state_ || generation != state_->generation)
                            return;
                        const bool ok = Orix::Utility::checkHttpAnswer(*this, e, b, r, uri) == 0;
                        handleAcquireStreamProfile(false, true, ok ? b : std::string());
                    });
            });
        return;
    }

    ORIX_LOG(*this, LogDebug, " Profile defined on device='" << check.parametersText << "'");
    if (!findProfileParameter(check.parameters, "resolution"))
        ORIX_LOG(*this, LogError,
                 " Resolution is not defined in device stream profile: " << check.parametersText);
    ORIX_LOG(*this, LogDebug,
             " Using profile '" << check.name << "' defined on device: " << check.parametersText);
    s.profile.clear();
    for (const auto& [key, value] : check.parameters)
        s.profile[key] = value;
    s.profileReady = true;
    if (s.waitingForProfile && holder_->started()) {
        s.waitingForProfile = false;
        scheduleReconnect(std::chrono::milliseconds(0));
    } else if (force && holder_->started()) {
        endSession();
    }
}

void VideoSource::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    Orix::Utility::ParamMap changes = takeCollected();
    // Changes of transport or codec need a new RTSP session; nothing is sent
    // to the camera for them.
    boost::asio::post(device_.service(), [this, completion, changes = std::move(changes)] {
        if (!state_) {
            completion->finish(nullptr, Orix::NotStarted);
            return;
        }
        bool needsSession = false;
        for (const auto& [name, value] : changes) {
            if (name == "transportProtocol" || name == "codec")
                needsSession = needsSession || parameters_.getString(name) != Orix::Utility::paramToString(value);
        }
        parameters_.updateParams(changes);
        if (needsSession && holder_->started() && state_->client) {
            state_->immediateReconnect = true;
            endSession();
        }
        completion->finish(static_cast<Orix::GDRV::IVideoSource*>(this), Orix::Ok);
    });
}

void VideoSource::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    if (!holder_->started()) {
        ORIX_LOG(*this, LogError, " Skip AcquireDynamicParameters called before Start");
        if (handler)
            handler->Failed(static_cast<Orix::GDRV::IVideoSource*>(this), Orix::NotStarted);
        return;
    }
    auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    completion->completed(static_cast<Orix::GDRV::IVideoSource*>(this), "{\"schemaVersion\" : 1}");
}

} // namespace Vapixcam

#include "VideoSource.h"

#include "CodecNames.h"
#include "Device.h"
#include "VideoSettingsReader.h"
#include "VideoSettingsWriter.h"
#include "StreamProfile.h"
#include "VideoStreamPolicy.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cctype>
#include <deque>
#include <future>
#include <mutex>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/SettingsApply.h>
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

    // Settings: the last acquisition, the running reader and writer, the
    // apply handlers waiting for Start, and the second stream's parked
    // acquisition while its first read is not done.
    AcquiredVideoSettings acquired;
    std::optional<std::set<std::string>> ignored;
    std::shared_ptr<VideoSettingsReader> reader;
    std::shared_ptr<VideoSettingsWriter> writer;
    std::deque<Orix::Utility::AsyncActionCompletionPtr> pendingApplies;
    Orix::Utility::DynamicParametersCompletionPtr parkedAcquire;
    bool acquiring = false;
    bool firstReadDone = false;

    // What the host sees of the stream's health.
    std::weak_ptr<Orix::Utility::RtpStreamFilter> filter;
    std::uint64_t lostBefore = 0;   // frames lost in earlier sessions
    std::uint64_t lostReported = 0;
    std::uint64_t reconnects = 0;
    std::uint64_t sessions = 0; // sessions opened since construction
    std::minstd_rand random{std::random_device{}()};
};

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
        std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
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
        std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
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
            if (auto name = hostCodecName(Orix::Utility::paramToString(it->second)); !name.empty())
                return name;
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
    s.lostBefore = s.lostReported = s.reconnects = 0;
    s.firstReadDone = false;
    device_.registerWorkingStream(this);
    applyPendingSettings();
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
    if (s.reader)
        s.reader->cancel();
    if (s.writer)
        s.writer->cancel();
    s.reader.reset();
    s.writer.reset();
    s.acquiring = false;
    if (s.parkedAcquire) {
        s.parkedAcquire->failed(static_cast<Orix::GDRV::IVideoSource*>(this), Orix::InProgress);
        s.parkedAcquire.reset();
    }
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
            auto filter = Orix::Utility::initializeVideoFilter(
                track, reorder, getLogger(), [this, generation](const Orix::Utility::Frame& frame) {
                    deliverFrame(generation, &frame);
                });
            if (state_)
                state_->filter = filter;
            return filter;
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
    ++s.sessions;
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
    const bool firstOfSession = !s.framesSinceSession;
    if (firstOfSession) {
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
    std::uint64_t lost = s.lostBefore;
    if (const auto filter = s.filter.lock())
        lost += filter->statistics().frames.framesDropped;
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    if (auto* handler = holder_->get()) {
        try {
            auto* self = static_cast<Orix::GDRV::IVideoSource*>(this);
            if (firstOfSession)
                handler->OnStreamStarted(self);
            if (lost != s.lostReported) {
                s.lostReported = lost;
                handler->OnStatistic(self, "lostFrames", static_cast<double>(lost));
            }
            handler->OnFrame(self, out);
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
    if (const auto filter = s.filter.lock())
        s.lostBefore += filter->statistics().frames.framesDropped;
    s.filter.reset();
    ++s.reconnects;
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
        if (auto* handler = holder_->get()) {
            try {
                handler->OnStatistic(static_cast<Orix::GDRV::IVideoSource*>(this), "reconnects",
                                     static_cast<double>(s.reconnects));
            } catch (const std::exception& e) {
                ORIX_LOG(*this, LogError, " std::exception - " << e.what());
            }
        }
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
        std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
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

void VideoSource::restartSession()
{
    boost::asio::post(device_.service(), [this] {
        if (!state_ || !holder_->started() || !state_->client)
            return;
        state_->immediateReconnect = true;
        endSession();
    });
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
    inputs.fallbackResolutions = device_.topology().resolutions;
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
    if (s.parkedAcquire && !s.acquiring) {
        auto parked = std::move(s.parkedAcquire);
        s.parkedAcquire.reset();
        doAcquireDynamicParameters(parked);
    }
    if (s.waitingForProfile && holder_->started()) {
        s.waitingForProfile = false;
        scheduleReconnect(std::chrono::milliseconds(0));
    } else if (force && holder_->started()) {
        endSession();
    }
}

unsigned VideoSource::instanceIndex() const
{
    const auto camera = cameraNumber(channel_, device_.dewarpMode());
    return device_.dewarpMode().empty() || !camera ? channel_ : *camera - 1;
}

void VideoSource::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    parameters_.pushParameters(takeCollected());
    boost::asio::post(device_.service(), [this, completion] {
        if (!state_) {
            completion->finish(nullptr, Orix::NotStarted);
            return;
        }
        state_->pendingApplies.push_back(completion);
        if (!holder_->started()) {
            ORIX_LOG(*this, LogDebug,
                     " " << Orix::Utility::getAsyncActionHandlerTitle(*completion)
                         << " Postpone sending parameters to device for call before Start");
            return;
        }
        applyPendingSettings();
    });
}

// Carries out the queued changes one at a time, in the order the host applied them.
void VideoSource::applyPendingSettings()
{
    State& s = *state_;
    if (s.writer || s.pendingApplies.empty())
        return;
    auto completion = s.pendingApplies.front();
    s.pendingApplies.pop_front();
    const std::string title = Orix::Utility::getAsyncActionHandlerTitle(*completion);
    auto* self = static_cast<Orix::GDRV::IVideoSource*>(this);

    Orix::Utility::ParamMap changed;
    if (!parameters_.popParameters(changed)) {
        completion->finish(self, Orix::Ok);
        applyPendingSettings();
        return;
    }
    parameters_.updateParams(changed);
    if (Orix::Utility::processBlockingConfiguration(parameters_, changed, *this)) {
        completion->finish(self, Orix::Ok);
        applyPendingSettings();
        return;
    }
    if (changed.empty()) {
        ORIX_LOG(*this, LogDebug, " " << title << " nothing changed");
        completion->finish(self, Orix::Ok);
        applyPendingSettings();
        return;
    }
    ORIX_LOG(*this, LogDebug,
             " " << title << " for changed parameters: " << Orix::Utility::settingsToString(changed));

    VideoUpdateInputs inputs;
    inputs.changed = changed;
    inputs.stream = stream_;
    inputs.instance = "I" + std::to_string(instanceIndex());
    inputs.cameraNumber = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    inputs.codec = parameters_.getString("codec", currentCodec());
    inputs.values = &parameters_;
    inputs.acquired = &s.acquired;
    s.writer = VideoSettingsWriter::create(device_.service(), device_.getConnectionInfo(), getLogger(),
                                           logPrefix());
    const std::uint64_t generation = s.generation;
    // A session opened after this point already reads the new values.
    const std::uint64_t sessionsBefore = s.sessions;
    s.writer->start(parameters_, inputs,
                    [this, completion, generation, self, sessionsBefore](
                        std::uint32_t result, bool newSession, bool profileRewritten) {
                        if (!state_) {
                            completion->finish(self, result);
                            return;
                        }
                        state_->writer.reset();
                        if (generation == state_->generation && holder_->started()) {
                            if (profileRewritten && stream_ == 1)
                                doAcquireStreamProfile(false);
                            else if (newSession && state_->client &&
                                     state_->sessions == sessionsBefore && sessionsBefore > 0) {
                                state_->immediateReconnect = true;
                                endSession();
                            }
                        }
                        completion->finish(self, result);
                        applyPendingSettings();
                    });
}

void VideoSource::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    auto* self = static_cast<Orix::GDRV::IVideoSource*>(this);
    if (!holder_->started()) {
        ORIX_LOG(*this, LogError, " Skip AcquireDynamicParameters called before Start");
        if (handler)
            handler->Failed(self, Orix::NotStarted);
        return;
    }
    auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    boost::asio::post(device_.service(), [this, completion, self, holder = holder_] {
        if (!state_ || !holder->started()) {
            completion->failed(self, Orix::NotStarted);
            return;
        }
        State& s = *state_;
        if (stream_ == 1 && !s.firstReadDone) {
            if (s.parkedAcquire || s.acquiring) {
                ORIX_LOG(*this, LogNotice,
                         " Acquire parameters operation is already in progress with handler: "
                             << static_cast<const void*>(completion->handler()));
                completion->failed(self, Orix::InProgress);
                return;
            }
            if (!s.profileReady) {
                ORIX_LOG(*this, LogDebug,
                         " Acquire parameters operation is skipped. Reason : Waiting first read");
                s.parkedAcquire = completion;
                return;
            }
        }
        doAcquireDynamicParameters(completion);
    });
}

void VideoSource::doAcquireDynamicParameters(Orix::Utility::DynamicParametersCompletionPtr completion)
{
    State& s = *state_;
    auto* self = static_cast<Orix::GDRV::IVideoSource*>(this);
    const auto topology = device_.topology();
    VideoSettingsReaderInputs inputs;
    inputs.info = device_.getConnectionInfo();
    if (!inputs.info) {
        completion->failed(self, Orix::NoConnection);
        return;
    }
    inputs.channel = channel_;
    inputs.stream = stream_;
    inputs.instanceIndex = instanceIndex();
    inputs.cameraNumber = cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    inputs.model = topology.product.empty() ? device_.model() : topology.product;
    inputs.driverInfo = device_.driverInfo();
    inputs.codecs = topology.videoCodecs;
    inputs.codec = currentCodec();
    inputs.ignored = s.ignored;
    inputs.values = &parameters_;
    auto reader = VideoSettingsReader::create(device_.service(), inputs, getLogger(), logPrefix());
    s.reader = reader;
    s.acquiring = true;
    const std::uint64_t generation = s.generation;
    reader->start([this, completion, reader, generation, self](std::uint32_t result,
                                                               const std::string& json) {
        if (!state_) {
            completion->failed(self, Orix::InProgress);
            return;
        }
        State& st = *state_;
        if (st.reader == reader) {
            st.reader.reset();
            st.acquiring = false;
        }
        if (result != 0) {
            completion->failed(self, result);
            return;
        }
        if (generation == st.generation)
            st.firstReadDone = true;
        st.acquired = reader->acquired();
        st.ignored = st.acquired.ignored;
        ORIX_LOG(*this, LogDebug, " Acquired:\n" << json);
        completion->completed(self, json);
    });
}

} // namespace Vapixcam

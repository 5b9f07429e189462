#include "VideoSource.h"

#include "CodecNames.h"
#include "DeviceServices.h"
#include "SecondStreamProfile.h"
#include "SettingsApplyQueue.h"
#include "StreamSupervisor.h"
#include "VideoSettingsReader.h"
#include "VideoSettingsWriter.h"
#include "VideoStreamPolicy.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <mutex>
#include <optional>
#include <set>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/SettingsApply.h>
#include <netkit/rtp/StreamFilter.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/util/Contract.h>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/util/ErrorTranslation.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogNotice;
using Orix::LogWarning;
using Orix::Utility::RtspTransport;

using HandlerHolder = Orix::Utility::HandlerHolder<Orix::GDRV::IVideoSourceHandler>;

} // namespace

// Everything of the source that runs on the I/O context. The host shell owns
// it; completions reach it through weak handles (the settings reader and
// writer hold it strongly while they run, as they write into its values),
// and once abandoned every entry point returns at once.
class VideoSource::Stream final : public RestartableStream,
                                  public std::enable_shared_from_this<Stream>,
                                  public Orix::LoggerOwner {
public:
    Stream(DeviceServices& device, std::uint32_t channel, std::uint32_t stream,
           const Orix::GDRV::IVideoSource* self, const Orix::LoggerOwner& log)
        : LoggerOwner(log.getLogger(), log.logPrefix()),
          device_(device),
          channel_(channel),
          stream_(stream),
          self_(self),
          holder_(std::make_shared<HandlerHolder>())
    {
        parameters_.setDefaultValue("transportProtocol", std::string("tcp"));
        parameters_.setDefaultValue("signalLostTimeout", 0);
    }

    // The parts that hand out weak handles to this object.
    void init()
    {
        std::weak_ptr<Stream> weak = shared_from_this();
        StreamSupervisor::Hooks hooks;
        if (stream_ != 0) {
            profile_ = SecondStreamProfile::create(device_, channel_, stream_, getLogger(), logPrefix());
            hooks.prepare = [weak](std::function<void(bool)> done) {
                if (auto self = weak.lock())
                    self->prepareProfile(std::move(done));
            };
        }
        hooks.open = [weak](StreamSupervisor::SessionEnded ended) -> StreamSupervisor::Session {
            auto self = weak.lock();
            return self ? self->openSession(std::move(ended)) : nullptr;
        };
        hooks.signalLost = [weak](const boost::system::error_code& error) {
            if (auto self = weak.lock())
                self->reportSignalLost(error);
        };
        hooks.signalLostTime = [weak] {
            auto self = weak.lock();
            const int seconds = self ? std::max(0, self->parameters_.getInt("signalLostTimeout", 0)) : 0;
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::seconds(seconds));
        };
        supervisor_ = StreamSupervisor::create(device_.ioContext(), std::move(hooks), "video stream",
                                               getLogger(), logPrefix());
        applies_ = SettingsApplyQueue::create(
            self_, [weak](const Orix::Utility::AsyncActionCompletionPtr& call,
                          SettingsApplyQueue::Finish finish) {
                if (auto self = weak.lock())
                    self->applyOne(call, std::move(finish));
                else
                    finish(Orix::NotStarted);
            });
    }

    Orix::Utility::ParametersContainer& parameters() { return parameters_; }
    const std::shared_ptr<HandlerHolder>& holder() const { return holder_; }
    std::recursive_mutex& callbackMutex() { return callbackMutex_; }

    void setReconnectDelay(ReconnectDelay delay) { supervisor_->setReconnectDelay(std::move(delay)); }

    void start()
    {
        if (abandoned_ || !holder_->started())
            return;
        ORIX_LOG(*this, LogDebug, " Stream " << stream_ << " is starting");
        lostBefore_ = lostReported_ = reconnects_ = 0;
        firstReadDone_ = false;
        fallback_.reset();
        device_.registerWorkingStream(weak_from_this());
        applies_->setRunning(true);
        supervisor_->start();
    }

    void stop()
    {
        if (abandoned_)
            return;
        supervisor_->stop();
        applies_->setRunning(false);
        if (profile_)
            profile_->cancel();
        if (reader_) {
            reader_->cancel();
            // The host hears of its read now, not when the cancelled reader completes.
            if (readCompletion_)
                readCompletion_->failed(self_, Orix::InProgress);
        }
        readCompletion_.reset();
        if (writer_)
            writer_->cancel();
        reader_.reset();
        writer_.reset();
        acquiring_ = false;
        if (parkedAcquire_) {
            parkedAcquire_->failed(self_, Orix::InProgress);
            parkedAcquire_.reset();
        }
        retireClient();
        device_.unregisterWorkingStream(this);
        ORIX_LOG(*this, LogDebug, " internalStop is finished");
    }

    // Final: after this nothing reaches the host through this object.
    void abandon()
    {
        if (abandoned_)
            return;
        stop();
        abandoned_ = true;
        supervisor_->abandon();
        applies_->close(Orix::NotStarted);
    }

    std::string name() const override { return logPrefix(); }

    void restartSession() override
    {
        if (!abandoned_ && holder_->started())
            supervisor_->restart();
    }

    void resetToDefaults() override
    {
        if (abandoned_)
            return;
        parameters_.setPersistentParam("transportProtocol", std::string("tcp"));
        if (stream_ == 0) {
            const auto codecs = device_.topology().videoCodecs;
            parameters_.setPersistentParam("codec", codecs.empty() ? std::string("H264") : codecs.front());
            restartSession();
            return;
        }
        rewriteProfile(true);
    }

    void apply(const Orix::Utility::AsyncActionCompletionPtr& call)
    {
        if (!applies_->running())
            ORIX_LOG(*this, LogDebug,
                     " " << Orix::Utility::getAsyncActionHandlerTitle(*call)
                         << " Postpone sending parameters to device for call before Start");
        applies_->push(call);
    }

    void acquire(const Orix::Utility::DynamicParametersCompletionPtr& completion)
    {
        if (abandoned_ || !holder_->started()) {
            completion->failed(self_, Orix::NotStarted);
            return;
        }
        if (stream_ == 1 && !firstReadDone_) {
            if (parkedAcquire_ || acquiring_) {
                ORIX_LOG(*this, LogNotice,
                         " Acquire parameters operation is already in progress with handler: "
                             << static_cast<const void*>(completion->handler()));
                completion->failed(self_, Orix::InProgress);
                return;
            }
            if (!profile_->ready()) {
                ORIX_LOG(*this, LogDebug,
                         " Acquire parameters operation is skipped. Reason : Waiting first read");
                parkedAcquire_ = completion;
                return;
            }
        }
        read(completion);
    }

    std::string currentCodec() const
    {
        if (profile_)
            if (auto name = hostCodecName(profile_->parameter("videocodec")); !name.empty())
                return name;
        return chosenCodec();
    }

    std::string profileName() const { return streamProfileName(channel_, stream_); }

private:
    unsigned cameraOrChannel() const
    {
        return cameraNumber(channel_, device_.dewarpMode()).value_or(channel_ + 1);
    }

    unsigned instanceIndex() const
    {
        const auto camera = cameraNumber(channel_, device_.dewarpMode());
        return device_.dewarpMode().empty() || !camera ? channel_ : *camera - 1;
    }

    // The codec the main stream asks for: the host's choice when the camera
    // has it, else the camera's first.
    std::string chosenCodec() const
    {
        const auto codecs = device_.topology().videoCodecs;
        const std::string chosen = parameters_.getString("codec");
        if (!chosen.empty() && std::find(codecs.begin(), codecs.end(), chosen) != codecs.end())
            return chosen;
        return codecs.empty() ? "H264" : codecs.front();
    }

    void prepareProfile(std::function<void(bool)> done)
    {
        if (profile_->ready()) {
            done(true);
            return;
        }
        std::weak_ptr<Stream> weak = shared_from_this();
        profile_->acquire(chosenCodec(), false, [weak, done = std::move(done)](bool ready) {
            if (auto self = weak.lock(); self && !self->abandoned_) {
                self->profileReady(ready);
                done(ready);
            }
        });
    }

    // After the profile was rewritten (settings, or a reset) the open
    // session still plays the old one: read it back and start a new session.
    void rewriteProfile(bool force)
    {
        std::weak_ptr<Stream> weak = shared_from_this();
        profile_->acquire(chosenCodec(), force, [weak](bool ready) {
            auto self = weak.lock();
            if (!self || self->abandoned_)
                return;
            self->profileReady(ready);
            if (ready)
                self->restartSession();
        });
    }

    void profileReady(bool ready)
    {
        if (ready && parkedAcquire_ && !acquiring_) {
            auto parked = std::move(parkedAcquire_);
            parkedAcquire_.reset();
            read(parked);
        }
    }

    // The transport of the next session: the host's choice, else the
    // fallback reached after refusals, else tcp.
    RtspTransport chosenTransport(bool& explicitChoice) const
    {
        explicitChoice = parameters_.getPersistentParam("transportProtocol").has_value();
        RtspTransport transport = RtspTransport::Tcp;
        const std::string name = parameters_.getString("transportProtocol", "tcp");
        if (!Orix::Utility::parseTransportProtocolName(name, transport)) {
            ORIX_LOG(*this, LogNotice, " Unknown transport '" << name << "', tcp is used");
            transport = RtspTransport::Tcp;
            explicitChoice = false;
        }
        if (!explicitChoice && fallback_)
            transport = *fallback_;
        return transport;
    }

    StreamSupervisor::Session openSession(StreamSupervisor::SessionEnded ended)
    {
        ORIX_LOG(*this, LogDebug, " Begin initializeStream");
        bool explicitChoice = false;
        RtspTransport transport = chosenTransport(explicitChoice);

        Orix::asio::ConnectionInfoPtr info;
        if (transport == RtspTransport::RtspOverHttp) {
            info = device_.connectionInfo();
        } else {
            bool overHttp = false;
            info = device_.getRtspConnectionInfo(overHttp);
            if (info && overHttp) {
                ORIX_LOG(*this, LogWarning, " RTSP connection is not avalaible, trying rtsp over http");
                transport = RtspTransport::RtspOverHttp;
            }
        }
        const auto camera = cameraNumber(channel_, device_.dewarpMode());
        if (!camera) {
            // An error of the device's settings: nothing to retry until the view changes,
            // which restarts the stream.
            ORIX_LOG(*this, LogError,
                     " Dewarp view '" << device_.dewarpMode() << "' is unknown; the stream does not start");
            return nullptr;
        }
        if (!info) {
            const auto error = Orix::Utility::makeConnectionError(
                Orix::Utility::ConnectionError::noConnectionInfo);
            boost::asio::post(device_.ioContext(), [ended = std::move(ended), error] { ended(error, false); });
            return nullptr;
        }

        std::weak_ptr<Stream> weak = shared_from_this();
        auto client = std::make_shared<Orix::Utility::RTSPClient>(device_.ioContext(), getLogger());
        const auto* raw = client.get();
        const bool reorder = transport == RtspTransport::Udp || transport == RtspTransport::Multicast;
        client->setTrackInitializer(
            [weak, raw, reorder](const Orix::Utility::SdpMedia& track,
                            std::size_t) -> std::shared_ptr<Orix::Utility::RtpTrackSink> {
                auto self = weak.lock();
                if (!self || track.kind != Orix::Utility::SdpMediaKind::video)
                    return nullptr;
                auto filter = Orix::Utility::initializeVideoFilter(
                    track, reorder, self->getLogger(), [weak, raw](const Orix::Utility::Frame& frame) {
                        // Frames of a session being torn down are not this stream's any more.
                        if (auto stream = weak.lock(); stream && stream->client_.get() == raw)
                            stream->deliverFrame(frame);
                    });
                self->filter_ = filter;
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
        retireClient();
        client_ = client;
        ++sessions_;
        client->start(url, info,
                      [weak, raw, transport, explicitChoice,
                       ended = std::move(ended)](const boost::system::error_code& result) {
                          auto self = weak.lock();
                          if (!self || self->abandoned_ || self->client_.get() != raw) {
                              ended(result, false);
                              return;
                          }
                          self->sessionEnded(result, transport, explicitChoice, ended);
                      });
        return [client] { client->teardown(); };
    }

    // Stop and the end of a session run on the client's own stack (a frame
    // callback, its completion): the client goes from a fresh one, never
    // while it is delivering.
    void retireClient()
    {
        if (auto client = std::move(client_))
            boost::asio::post(device_.ioContext(), [client = std::move(client)] {});
        client_.reset();
    }

    void sessionEnded(const boost::system::error_code& result, RtspTransport transport,
                      bool explicitChoice, const StreamSupervisor::SessionEnded& ended)
    {
        ORIX_LOG(*this, LogDebug,
                 " End receive stream with result " << result.value() << "." << result.message());
        retireClient();
        if (const auto filter = filter_.lock())
            lostBefore_ += filter->statistics().frames.framesDropped;
        filter_.reset();
        ++reconnects_;
        notifyHost([&](Orix::GDRV::IVideoSourceHandler& handler) {
            handler.OnStatistic(self_, "reconnects", static_cast<double>(reconnects_));
        });
        bool retryAtOnce = false;
        if (result == Orix::Utility::rtsp::error::transportRefused && !explicitChoice) {
            if (const auto next = fallbackTransport(transport)) {
                ORIX_LOG(*this, LogWarning,
                         " The camera refused RTSP over "
                             << Orix::Utility::getTransportProtocolName(transport) << ", trying "
                             << Orix::Utility::getTransportProtocolName(*next));
                fallback_ = next;
                retryAtOnce = true;
            }
        }
        ended(result, retryAtOnce);
    }

    void deliverFrame(const Orix::Utility::Frame& frame)
    {
        if (abandoned_)
            return;
        const bool firstOfSession = supervisor_->mediaArrived();
        Orix::GDRV::MediaFrame out;
        out.codec = frameCodecName(frame.codec);
        out.data = frame.data.data();
        out.size = static_cast<std::uint32_t>(frame.data.size());
        out.keyFrame = frame.keyFrame;
        out.timestamp = frame.hostTimestamp ? frame.hostTimestamp : Orix::Utility::timeStamp();
        out.rtpTimestamp = frame.rtpTimestamp;
        std::uint64_t lost = lostBefore_;
        if (const auto filter = filter_.lock())
            lost += filter->statistics().frames.framesDropped;
        notifyHost([&](Orix::GDRV::IVideoSourceHandler& handler) {
            if (firstOfSession)
                handler.OnStreamStarted(self_);
            if (lost != lostReported_) {
                lostReported_ = lost;
                handler.OnStatistic(self_, "lostFrames", static_cast<double>(lost));
            }
            handler.OnFrame(self_, out);
        });
    }

    void reportSignalLost(const boost::system::error_code& error)
    {
        const std::uint32_t code = Orix::Utility::translateSystemError(error);
        ORIX_LOG(*this, LogError, " Signal lost: " << error.message() << " (code " << code << ")");
        notifyHost([&](Orix::GDRV::IVideoSourceHandler& handler) { handler.Failed(self_, code); });
    }

    // Host callbacks run under the callback lock, which Stop also takes, so
    // that none runs after Stop has returned. The host may call Stop or
    // Destroy from inside one: the lock is recursive, and the caller holds a
    // strong handle for the duration.
    template <class Call>
    void notifyHost(Call call)
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
        if (auto* handler = holder_->get()) {
            try {
                call(*handler);
            } catch (const std::exception& e) {
                ORIX_LOG(*this, LogError, " std::exception - " << e.what());
            }
        }
    }

    void applyOne(const Orix::Utility::AsyncActionCompletionPtr& call, SettingsApplyQueue::Finish finish)
    {
        const std::string title = Orix::Utility::getAsyncActionHandlerTitle(*call);
        Orix::Utility::ParamMap changed;
        if (!parameters_.popParameters(changed)) {
            finish(Orix::Ok);
            return;
        }
        parameters_.updateParams(changed);
        if (Orix::Utility::processBlockingConfiguration(parameters_, changed, *this)) {
            finish(Orix::Ok);
            return;
        }
        if (changed.empty()) {
            ORIX_LOG(*this, LogDebug, " " << title << " nothing changed");
            finish(Orix::Ok);
            return;
        }
        ORIX_LOG(*this, LogDebug,
                 " " << title << " for changed parameters: " << Orix::Utility::settingsToString(changed));

        VideoUpdateInputs inputs;
        inputs.changed = changed;
        inputs.stream = stream_;
        inputs.instance = "I" + std::to_string(instanceIndex());
        inputs.cameraNumber = cameraOrChannel();
        inputs.codec = parameters_.getString("codec", currentCodec());
        inputs.values = &parameters_;
        inputs.acquired = &acquired_;
        writer_ = VideoSettingsWriter::create(device_.ioContext(), device_.connectionInfo(), getLogger(),
                                              logPrefix());
        // A session opened after this point already reads the new values.
        const std::uint64_t sessionsBefore = sessions_;
        // The writer writes into this object's values: it holds it until it completes.
        writer_->start(parameters_, inputs,
                       [self = shared_from_this(), finish = std::move(finish), sessionsBefore](
                           std::uint32_t result, bool newSession, bool profileRewritten) {
                           self->writer_.reset();
                           if (!self->abandoned_ && self->holder_->started()) {
                               if (profileRewritten && self->profile_)
                                   self->rewriteProfile(false);
                               else if (newSession && self->client_ && self->sessions_ == sessionsBefore &&
                                        sessionsBefore > 0)
                                   self->supervisor_->restart();
                           }
                           finish(result);
                       });
    }

    void read(const Orix::Utility::DynamicParametersCompletionPtr& completion)
    {
        const auto topology = device_.topology();
        VideoSettingsReaderInputs inputs;
        inputs.info = device_.connectionInfo();
        if (!inputs.info) {
            completion->failed(self_, Orix::NoConnection);
            return;
        }
        inputs.channel = channel_;
        inputs.stream = stream_;
        inputs.instanceIndex = instanceIndex();
        inputs.cameraNumber = cameraOrChannel();
        inputs.model = topology.product.empty() ? device_.model() : topology.product;
        inputs.driverInfo = device_.driverInfo();
        inputs.codecs = topology.videoCodecs;
        inputs.codec = currentCodec();
        inputs.ignored = ignored_;
        inputs.values = &parameters_;
        auto reader = VideoSettingsReader::create(device_.ioContext(), inputs, getLogger(), logPrefix());
        reader_ = reader;
        readCompletion_ = completion;
        acquiring_ = true;
        // The reader writes into this object's values: it holds it until it completes.
        reader->start([self = shared_from_this(), completion, reader](std::uint32_t result,
                                                                     const std::string& json) {
            if (self->reader_ == reader) {
                self->reader_.reset();
                self->readCompletion_.reset();
                self->acquiring_ = false;
            }
            if (self->abandoned_) {
                completion->failed(self->self_, Orix::InProgress);
                return;
            }
            if (result != 0) {
                completion->failed(self->self_, result);
                return;
            }
            self->firstReadDone_ = true;
            self->acquired_ = reader->acquired();
            self->ignored_ = self->acquired_.ignored;
            ORIX_LOG(*self, LogDebug, " Acquired:\n" << json);
            completion->completed(self->self_, json);
        });
    }

    DeviceServices& device_;
    const std::uint32_t channel_;
    const std::uint32_t stream_;
    const Orix::GDRV::IVideoSource* self_; // what the host is told callbacks come from
    std::shared_ptr<HandlerHolder> holder_;
    std::recursive_mutex callbackMutex_;
    Orix::Utility::ParametersContainer parameters_;
    bool abandoned_ = false;

    std::shared_ptr<StreamSupervisor> supervisor_;
    std::shared_ptr<SecondStreamProfile> profile_;
    std::shared_ptr<SettingsApplyQueue> applies_;

    std::shared_ptr<Orix::Utility::RTSPClient> client_;
    std::optional<RtspTransport> fallback_; // after refusals, while the host chose none
    std::uint64_t sessions_ = 0;

    // What the host sees of the stream's health.
    std::weak_ptr<Orix::Utility::RtpStreamFilter> filter_;
    std::uint64_t lostBefore_ = 0; // frames lost in earlier sessions
    std::uint64_t lostReported_ = 0;
    std::uint64_t reconnects_ = 0;

    // Settings: the last acquisition and the running reader and writer; the
    // second stream parks an acquisition until its profile is known.
    AcquiredVideoSettings acquired_;
    std::optional<std::set<std::string>> ignored_;
    std::shared_ptr<VideoSettingsReader> reader_;
    Orix::Utility::DynamicParametersCompletionPtr readCompletion_;
    std::shared_ptr<VideoSettingsWriter> writer_;
    Orix::Utility::DynamicParametersCompletionPtr parkedAcquire_;
    bool acquiring_ = false;
    bool firstReadDone_ = false;
};

VideoSource::VideoSource(Orix::GDRV::IVideoSourceHandler*, std::uint32_t stream, std::uint32_t channel,
                         const char*, DeviceServices& device)
    : LoggerOwner(device.logger()), device_(device), stream_(stream), channel_(channel)
{
    setLogPrefix("vs %1%", std::to_string(channel) + "." + std::to_string(stream));
    state_ = std::make_shared<Stream>(device, channel, stream, this, *this);
    state_->init();
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
    ORIX_LOG(*this, LogDebug, " Destroy, isActive=" << (state_->holder()->started() ? "true" : "false"));
    {
        std::lock_guard<std::recursive_mutex> lock(state_->callbackMutex());
        state_->holder()->stop();
    }
    runOnIoThread(device_, [state = state_] { state->abandon(); });
    delete this;
}

void VideoSource::Start(Orix::GDRV::IVideoSourceHandler* handler)
{
    if (!state_->holder()->start(handler)) {
        ORIX_LOG(*this, LogNotice, " Start ignored: " << (handler ? "already started" : "no handler"));
        return;
    }
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_)] {
        if (auto state = weak.lock())
            state->start();
    });
}

void VideoSource::Stop()
{
    {
        std::lock_guard<std::recursive_mutex> lock(state_->callbackMutex());
        if (!state_->holder()->stop())
            return;
    }
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_)] {
        if (auto state = weak.lock())
            state->stop();
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
    state_->parameters().setPersistentParam("blockingConfiguration", block);
}

void VideoSource::setReconnectDelayFunction(ReconnectDelay delay)
{
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_), delay = std::move(delay)] {
        if (auto state = weak.lock())
            state->setReconnectDelay(delay);
    });
}

Orix::Utility::ParametersContainer& VideoSource::parameters()
{
    return state_->parameters();
}

std::string VideoSource::profileName() const
{
    return state_->profileName();
}

void VideoSource::ApplySettings(Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "ApplySettings");
    state_->parameters().pushParameters(takeCollected());
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_), completion] {
        if (auto state = weak.lock())
            state->apply(completion);
        else
            completion->finish(nullptr, Orix::NotStarted);
    });
}

void VideoSource::AcquireDynamicParameters(Orix::IDynamicParametersHandler* handler)
{
    auto* self = static_cast<Orix::GDRV::IVideoSource*>(this);
    if (!state_->holder()->started()) {
        ORIX_LOG(*this, LogError, " Skip AcquireDynamicParameters called before Start");
        if (handler)
            handler->Failed(self, Orix::NotStarted);
        return;
    }
    auto completion =
        Orix::Utility::wrapDynamicParametersHandler(handler, getLogger(), "AcquireDynamicParameters");
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_), completion] {
        if (auto state = weak.lock())
            state->acquire(completion);
        else
            completion->failed(nullptr, Orix::NotStarted);
    });
}

} // namespace Vapixcam

#include "RecordingPlayback.h"

#include "CodecNames.h"
#include "DeviceServices.h"
#include "RecordingList.h"
#include "StreamSupervisor.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <mutex>
#include <optional>
#include <netkit/http/HttpClient.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/rtp/StreamFilter.h>
#include <netkit/rtp/TimestampGenerator.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/sdp/SdpRange.h>
#include <netkit/util/Contract.h>
#include <netkit/util/ErrorTranslation.h>
#include <netkit/util/GlobalService.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;
using Orix::Utility::AsyncActionCompletionPtr;

constexpr double kPullSpeed = 1000.0;
// Playback is interactive: retry soon, and give up (telling the host) when
// nothing played again for this long.
constexpr std::chrono::seconds kSignalLost{10};
// How close to a recording's end its last frame may lie (a frame interval
// at 1 fps and some) for the end of the session to be the recording's.
constexpr std::uint64_t kEndSlack = 2000;

} // namespace

// Everything that runs on the device's I/O thread.
class RecordingPlayback::Stream final : public std::enable_shared_from_this<Stream>, public Orix::LoggerOwner {
public:
    Stream(std::string id, Orix::GDRV::IRecordingPlaybackHandler* handler, DeviceServices& device,
           const Orix::IContract* self, const Orix::LoggerOwner& log)
        : LoggerOwner(log.getLogger(), log.logPrefix()),
          id_(std::move(id)),
          device_(device),
          self_(self),
          handler_(handler)
    {
    }

    void init()
    {
        std::weak_ptr<Stream> weak = shared_from_this();
        StreamSupervisor::Hooks hooks;
        hooks.open = [weak](StreamSupervisor::SessionEnded ended) -> StreamSupervisor::Session {
            auto self = weak.lock();
            return self ? self->openFragment(std::move(ended)) : nullptr;
        };
        hooks.signalLost = [weak](const boost::system::error_code& error) {
            if (auto self = weak.lock())
                self->playbackFailed(Orix::Utility::translateSystemError(error));
        };
        hooks.signalLostTime = [] { return std::chrono::milliseconds(kSignalLost); };
        supervisor_ = StreamSupervisor::create(device_.ioContext(), std::move(hooks), "playback", getLogger(),
                                               logPrefix());
        supervisor_->setReconnectDelay([](std::uint64_t attempt) {
            return std::chrono::milliseconds(1000 * std::min<std::uint64_t>(attempt, 5));
        });
    }

    std::recursive_mutex& callbackMutex() { return callbackMutex_; }
    void forgetHandler() { handler_ = nullptr; }

    void play(double speed, const AsyncActionCompletionPtr& completion)
    {
        ORIX_LOG(*this, LogDebug, " Play with speed = " << speed);
        if (terminated_ || abandoned_) {
            ORIX_LOG(*this, LogError, " Couldn't process play request.");
            completion->finish(self_, Orix::InProgress);
            return;
        }
        if (!device_.connectionInfo()) {
            ORIX_LOG(*this, LogError, " Couldn't find connection info.");
            completion->finish(self_, Orix::NotStarted);
            return;
        }
        if (speed < 0) {
            completion->finish(self_, Orix::NotSupported);
            return;
        }
        const bool pullChanged = (speed == kPullSpeed) != (speed_ == kPullSpeed);
        speed_ = speed;
        if (supervisor_->state() == StreamSupervisor::State::Stopped) {
            restart(completion);
            return;
        }
        if (seekPending_) {
            ORIX_LOG(*this, LogDebug, " Teardown current session because new seek time provided");
            restart(completion);
            return;
        }
        if (pullChanged) {
            // Pulled delivery is asked for in the URL: a new session, from the frame after the last one shown.
            ORIX_LOG(*this, LogDebug, " Teardown current session because the delivery changes");
            if (lastFrame_)
                position_ = *lastFrame_ + 1;
            previous_.reset();
            restart(completion);
            return;
        }
        // Already playing at the same kind of delivery: nothing to change on the camera.
        completion->finish(self_, Orix::Ok);
    }

    // A new first fragment from the play position; completion hears when it plays.
    void restart(const AsyncActionCompletionPtr& completion)
    {
        seekPending_ = false;
        answerPlay(Orix::InProgress); // a play still waiting is superseded
        pendingPlay_ = completion;
        nextFragment_ = false;
        supervisor_->stop();
        supervisor_->start();
    }

    void seek(std::uint64_t time, const AsyncActionCompletionPtr& completion)
    {
        ORIX_LOG(*this, LogDebug, " Seek to " << timestampToString(time) << " on storage " << id_);
        if (terminated_ || abandoned_) {
            completion->finish(self_, Orix::InProgress);
            return;
        }
        position_ = time;
        previous_.reset();
        seekPending_ = true;
        completion->finish(self_, Orix::Ok);
    }

    void terminate()
    {
        if (abandoned_)
            return;
        ORIX_LOG(*this, LogDebug, " Terminating");
        terminated_ = true;
        seekPending_ = false;
        supervisor_->stop();
        answerPlay(Orix::InProgress);
        ORIX_LOG(*this, LogDebug, " Report torndown");
        notifyHost([&](Orix::GDRV::IRecordingPlaybackHandler& h) { h.TornDown(self_); });
    }

    void abandon()
    {
        if (abandoned_)
            return;
        abandoned_ = true;
        supervisor_->abandon();
        endFragment();
        answerPlay(Orix::InProgress);
    }

private:
    // One session of the supervisor: find the recording to play, then play it.
    StreamSupervisor::Session openFragment(StreamSupervisor::SessionEnded ended)
    {
        const auto source = splitRecordingId(id_, *this);
        const auto info = device_.connectionInfo();
        if (!source || !info) {
            ORIX_LOG(*this, LogError, " Couldn't find connection info.");
            finishPlayback(Orix::NoConnection);
            return nullptr;
        }
        const std::uint64_t now = Orix::Utility::timeStamp();
        const std::uint64_t from = std::min(position_, now);
        const std::string url =
            recordingListUrl(source->disk, "&maxnumberofresults=2&sortorder=ascending", from, now);
        std::weak_ptr<Stream> weak = shared_from_this();
        const std::uint64_t fragment = ++fragments_;
        request_ = Orix::http::asyncGetEx(
            info, url, device_.ioContext(), std::nullopt,
            [weak, fragment, url, from, now, ended](const boost::system::error_code& error, const std::string& body,
                                                    const Orix::http::HttpResponse& response) {
                auto self = weak.lock();
                if (!self || self->abandoned_ || self->fragments_ != fragment)
                    return;
                self->request_.reset();
                self->handleFindRecordings(url, from, now, error, body, response, ended);
            });
        return [weak] {
            if (auto self = weak.lock())
                self->endFragment();
        };
    }

    void handleFindRecordings(const std::string& url, std::uint64_t from, std::uint64_t now,
                              const boost::system::error_code& error, const std::string& body,
                              const Orix::http::HttpResponse& response, const StreamSupervisor::SessionEnded& ended)
    {
        if (terminated_) {
            ORIX_LOG(*this, LogError, " Couldn't process play request.");
            return;
        }
        std::vector<RecordingEntry> entries;
        std::uint32_t code = Orix::Utility::checkHttpAnswer(*this, error, body, response, url);
        if (!code)
            code = parseRecordingList(body, from, now, now, *this, entries);
        if (code) {
            if (pendingPlay_) {
                finishPlayback(code);
                return;
            }
            post([ended, error] { ended(error ? error : make_error_code(boost::system::errc::bad_message), false); });
            return;
        }
        // The recording to play: the first that ends after the play position,
        // never again the one that just ended (the list's times are whole
        // seconds, so it is listed once more).
        const RecordingEntry* next = nullptr;
        for (const auto& e : entries) {
            if (e.end > position_ && (!previous_ || e.id != *previous_)) {
                next = &e;
                break;
            }
        }
        if (!next) {
            if (nextFragment_) {
                ORIX_LOG(*this, LogDebug, " Last fragment found. Stoping playback");
                finishPlayback(Orix::Ok);
            } else {
                ORIX_LOG(*this, LogError, " Couldn't find recording to play");
                finishPlayback(Orix::NotFound);
            }
            return;
        }
        startFragment(*next, ended);
    }

    void startFragment(const RecordingEntry& recording, const StreamSupervisor::SessionEnded& ended)
    {
        bool overHttp = false;
        auto info = device_.getRtspConnectionInfo(overHttp);
        if (overHttp)
            info = device_.connectionInfo();
        if (!info) {
            ORIX_LOG(*this, LogError, " Couldn't find connection info.");
            finishPlayback(Orix::NotStarted);
            return;
        }
        const auto transport = overHttp ? Orix::Utility::RtspTransport::RtspOverHttp : Orix::Utility::RtspTransport::Tcp;
        // A position inside the recording asks the camera to start there; before it, at its start.
        const std::uint64_t start = std::max(position_, recording.begin);
        ORIX_LOG(*this, LogDebug,
                 " Fragment to play found, id=" << recording.id << " transport="
                                                << (overHttp ? "rtspOverHttp" : "tcp") << " ["
                                                << timestampToString(recording.begin) << ","
                                                << timestampToString(recording.end) << "] from "
                                                << timestampToString(start));
        fragment_ = recording;
        seekPending_ = false; // the position is applied
        requestedStart_ = start;
        *startTime_ = start;
        lastFrame_.reset();

        std::string url = "/axis-media/media.amp?recordingid=" + recording.id;
        if (speed_ == kPullSpeed)
            url += "&pull=1";
        auto client = std::make_shared<Orix::Utility::RTSPClient>(device_.ioContext(), getLogger());
        const auto* raw = client.get();
        std::weak_ptr<Stream> weak = shared_from_this();
        client->setTransport(transport);
        client->setTcpBufferSize(64000);
        Orix::Utility::SdpRange range;
        range.kind = Orix::Utility::SdpRange::Kind::clock;
        range.startUtcMicros = static_cast<std::int64_t>(start) * 1000;
        client->setPlayRange(Orix::Utility::formatRange(range));
        client->setPlayStarted([weak, raw](const std::string& answer) {
            if (auto self = weak.lock(); self && self->client_.get() == raw)
                self->handlePlayStarted(answer);
        });
        auto startTime = startTime_;
        client->setTrackInitializer([weak, raw, startTime](const Orix::Utility::SdpMedia& track, std::size_t)
                                        -> std::shared_ptr<Orix::Utility::RtpTrackSink> {
            auto self = weak.lock();
            const bool video = track.kind == Orix::Utility::SdpMediaKind::video;
            if (!self || (!video && track.kind != Orix::Utility::SdpMediaKind::audio))
                return nullptr; // metadata is not played back
            auto filter = Orix::Utility::initializeVideoFilter(
                track, false, self->getLogger(), [weak, raw](const Orix::Utility::Frame& frame) {
                    if (auto stream = weak.lock(); stream && stream->client_.get() == raw)
                        stream->deliverFrame(frame);
                });
            if (!filter)
                return nullptr;
            std::uint32_t clockRate = 90000;
            if (!track.rtpmaps.empty() && track.rtpmaps.front().clockRate)
                clockRate = track.rtpmaps.front().clockRate;
            filter->setTimeStampGenerator(
                [startTime, offset = Orix::Utility::PreciseTimestampGenerator(0, clockRate)](
                    std::uint32_t rtp) mutable { return *startTime + offset(rtp); });
            ORIX_LOG(*self, LogDebug,
                     " Set rtp " << (video ? "Video" : "Audio") << " Filter with time=" << timestampToString(*startTime)
                                 << ", " << clockRate);
            return filter;
        });
        client_ = client;
        client->start(url, info, [weak, raw, ended](const boost::system::error_code& result) {
            auto self = weak.lock();
            if (!self || self->abandoned_ || self->client_.get() != raw) {
                ended(result, false);
                return;
            }
            self->fragmentEnded(result, ended);
        });
    }

    // The camera's answer to PLAY, before any frame: where it starts. A
    // camera starts at the key frame before the asked time, so its word
    // labels the frames, not the request.
    void handlePlayStarted(const std::string& answer)
    {
        Orix::Utility::SdpRange range;
        if (!answer.empty() && !Orix::Utility::parseRange(answer, range) && range.startUtcMicros &&
            *range.startUtcMicros >= 0) {
            *startTime_ = static_cast<std::uint64_t>(*range.startUtcMicros / 1000);
            ORIX_LOG(*this, LogDebug,
                     " Received play time: " << timestampToString(*startTime_) << " header range = " << answer);
        } else {
            ORIX_LOG(*this, LogDebug,
                     " Continue playback with play time: " << timestampToString(*startTime_)
                                                           << " header range = " << (answer.empty() ? "no" : answer));
        }
        answerPlay(Orix::Ok);
        const std::string id = fragment_ ? fragment_->id : std::string();
        const std::uint64_t begin = *startTime_;
        notifyHost([&](Orix::GDRV::IRecordingPlaybackHandler& h) { h.OnRecordingStarted(self_, id.c_str(), begin); });
    }

    void deliverFrame(const Orix::Utility::Frame& frame)
    {
        if (abandoned_ || terminated_)
            return;
        supervisor_->mediaArrived();
        lastFrame_ = frame.hostTimestamp;
        Orix::GDRV::MediaFrame out;
        out.codec = frameCodecName(frame.codec);
        out.data = frame.data.data();
        out.size = static_cast<std::uint32_t>(frame.data.size());
        out.keyFrame = frame.keyFrame;
        out.timestamp = frame.hostTimestamp;
        out.rtpTimestamp = frame.rtpTimestamp;
        notifyHost([&](Orix::GDRV::IRecordingPlaybackHandler& h) { h.OnFrame(self_, out); });
    }

    void fragmentEnded(const boost::system::error_code& result, const StreamSupervisor::SessionEnded& ended)
    {
        retireClient();
        // Go on after the last frame shown (a session without frames where it
        // asked to start), unless the host chose a new position meanwhile:
        // the next search starts there.
        if (!seekPending_)
            position_ = lastFrame_ ? *lastFrame_ + 1 : requestedStart_;
        if (result == Orix::Utility::rtsp::error::sessionEndedByServer && !reachedEnd()) {
            // The camera closed the connection inside the recording: resume it
            // after the last frame, as after any other break.
            ORIX_LOG(*this, LogWarning, " Recording ended early, at " << timestampToString(position_)
                                                                      << ", resuming it");
            ended(result, false);
            return;
        }
        if (result == Orix::Utility::rtsp::error::sessionEndedByServer) {
            ORIX_LOG(*this, LogDebug, " Start next fragment");
            if (fragment_ && !seekPending_)
                previous_ = fragment_->id;
            nextFragment_ = true;
            ended(result, true);
            return;
        }
        ORIX_LOG(*this, LogError, " End of stream with ec = " << result.message());
        if (pendingPlay_) {
            finishPlayback(Orix::Utility::translateSystemError(result));
            return;
        }
        ended(result, false);
    }

    // Whether the session that ended played its recording to the end (the
    // server ends both a recording and a dropped connection the same way).
    bool reachedEnd() const
    {
        if (!lastFrame_ || !fragment_ || fragment_->status == 2)
            return true;
        return *lastFrame_ + kEndSlack >= fragment_->end;
    }

    void endFragment()
    {
        ++fragments_;
        if (auto request = std::move(request_))
            request->cancel();
        if (client_)
            client_->teardown();
        retireClient();
    }

    // The client goes from a fresh stack, never while it is delivering.
    void retireClient()
    {
        if (auto client = std::move(client_))
            post([client = std::move(client)] {});
        client_.reset();
    }

    // Playback is over: after the last recording (0), or failed.
    void finishPlayback(std::uint32_t code)
    {
        supervisor_->stop();
        endFragment();
        if (pendingPlay_) {
            answerPlay(code);
            return;
        }
        notifyHost([&](Orix::GDRV::IRecordingPlaybackHandler& h) { h.Ended(self_, code); });
    }

    void playbackFailed(std::uint32_t code)
    {
        ORIX_LOG(*this, LogError, " Playback failed with code " << code);
        finishPlayback(code);
    }

    void answerPlay(std::uint32_t code)
    {
        if (auto play = std::move(pendingPlay_))
            play->finish(self_, code);
        pendingPlay_.reset();
    }

    template <class Fn>
    void post(Fn fn)
    {
        boost::asio::post(device_.ioContext(), std::move(fn));
    }

    // Under the callback lock, which Destroy takes to forget the handler.
    template <class Call>
    void notifyHost(Call call)
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
        if (!handler_)
            return;
        try {
            call(*handler_);
        } catch (const std::exception& e) {
            ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        }
    }

    std::string id_;
    DeviceServices& device_;
    const Orix::IContract* self_;
    Orix::GDRV::IRecordingPlaybackHandler* handler_;
    std::recursive_mutex callbackMutex_;
    bool abandoned_ = false;
    bool terminated_ = false;

    std::shared_ptr<StreamSupervisor> supervisor_;
    std::shared_ptr<Orix::Utility::RTSPClient> client_;
    Orix::http::RequestHandlePtr request_;
    std::uint64_t fragments_ = 0; // bumped when a fragment ends, so that its late answers are ignored

    double speed_ = 1.0;
    bool seekPending_ = false;
    bool nextFragment_ = false;           // the search runs because a recording ended
    std::uint64_t position_ = 0;          // where the next search starts
    std::uint64_t requestedStart_ = 0;
    std::optional<RecordingEntry> fragment_;
    std::optional<std::string> previous_; // the recording that ended last
    std::optional<std::uint64_t> lastFrame_;
    // The time of the session's first frame, shared with its timestamp generator.
    std::shared_ptr<std::uint64_t> startTime_ = std::make_shared<std::uint64_t>(0);
    AsyncActionCompletionPtr pendingPlay_;
};

RecordingPlayback::RecordingPlayback(std::string id, Orix::GDRV::IRecordingPlaybackHandler* handler,
                                     DeviceServices& device)
    : LoggerOwner(device.logger()), device_(device)
{
    setLogPrefix("rP %1%", id);
    ORIX_LOG(*this, LogDebug, " Creating storage '" << id << "', for model '" << device.model() << "'");
    state_ = std::make_shared<Stream>(std::move(id), handler, device, this, *this);
    state_->init();
}

RecordingPlayback::~RecordingPlayback() = default;

Orix::IContract* RecordingPlayback::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* RecordingPlayback::QueryConstContract(const char* name) const
{
    using namespace Orix;
    if (Utility::isContract<IContract>(name) || Utility::isContract<GDRV::IRecordingPlayback>(name))
        return this;
    return nullptr;
}

void RecordingPlayback::Destroy()
{
    {
        std::lock_guard<std::recursive_mutex> lock(state_->callbackMutex());
        state_->forgetHandler();
    }
    runOnIoThread(device_, [state = state_] { state->abandon(); });
    delete this;
}

void RecordingPlayback::Teardown()
{
    bool expected = false;
    if (!terminated_.compare_exchange_strong(expected, true)) {
        ORIX_LOG(*this, LogDebug, " Already terminated");
        return;
    }
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_)] {
        if (auto state = weak.lock())
            state->terminate();
    });
}

void RecordingPlayback::Play(double speed, Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "Play");
    if (terminated_) {
        ORIX_LOG(*this, LogError, " Couldn't process play request.");
        completion->finish(this, Orix::InProgress);
        return;
    }
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_), speed, completion] {
        if (auto state = weak.lock())
            state->play(speed, completion);
    });
}

void RecordingPlayback::Seek(std::uint64_t time, Orix::IAsyncActionHandler* handler)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "Seek");
    if (terminated_) {
        completion->finish(this, Orix::InProgress);
        return;
    }
    boost::asio::post(device_.ioContext(), [weak = std::weak_ptr<Stream>(state_), time, completion] {
        if (auto state = weak.lock())
            state->seek(time, completion);
    });
}

void RecordingPlayback::Step(Orix::IAsyncActionHandler* handler)
{
    Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "Step")->finish(this, Orix::NotSupported);
}

} // namespace Vapixcam

#include "EventStream.h"

#include "DeviceServices.h"
#include "MetadataParser.h"
#include "StreamSupervisor.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/rtp/MetadataDepacketizer.h>
#include <netkit/rtp/StreamFilter.h>
#include <netkit/rtsp/RTSPClient.h>
#include <netkit/util/ErrorTranslation.h>
#include <netkit/util/HostTime.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogNotice;
using Orix::LogWarning;

// The metadata track's receive path: the RTP filter reassembles documents
// (bounded by the parser's limit), the parser reads them. A document the
// filter had to drop (too large, or damaged by loss) is logged once here.
class MetadataTrack final : public Orix::Utility::RtpTrackSink {
public:
    MetadataTrack(const Orix::LoggerOwner& logger, MetadataParser::Callback callback,
                  std::function<void()> mediaArrived)
        : logger_(logger), parser_(logger, std::move(callback)), mediaArrived_(std::move(mediaArrived))
    {
        Orix::Utility::DepacketizerLimits limits = Orix::Utility::MetadataDepacketizer::defaultLimits();
        limits.maxFrameBytes = NotificationReader::kMaxDocumentBytes;
        filter_ = std::make_unique<Orix::Utility::RtpStreamFilter>(
            std::make_unique<Orix::Utility::MetadataDepacketizer>(limits), false, logger.getLogger(),
            [this](const Orix::Utility::Frame& frame) {
                if (mediaArrived_)
                    mediaArrived_();
                parser_.process(frame.data.data(), frame.data.size());
            });
    }

    void onRtpPacket(const std::uint8_t* data, std::size_t size) override
    {
        filter_->onRtpPacket(data, size);
        const auto dropped = filter_->statistics().frames.framesDropped;
        if (dropped != dropped_) {
            dropped_ = dropped;
            ORIX_LOG(logger_, LogError,
                     " Metadata document dropped: larger than " << NotificationReader::kMaxDocumentBytes
                                                                << " bytes, or damaged in transit");
        }
    }
    void onRtcpPacket(const std::uint8_t* data, std::size_t size) override
    {
        filter_->onRtcpPacket(data, size);
    }

private:
    Orix::LoggerOwner logger_;
    MetadataParser parser_;
    std::function<void()> mediaArrived_;
    std::unique_ptr<Orix::Utility::RtpStreamFilter> filter_;
    std::uint64_t dropped_ = 0;
};

} // namespace

ClientsChangeAction decideClientsChange(bool active, std::size_t detectors,
                                        const boost::system::error_code& error)
{
    if (error == boost::asio::error::operation_aborted)
        return ClientsChangeAction::ignore;
    if (detectors == 0)
        return ClientsChangeAction::closeSession;
    return active ? ClientsChangeAction::restartSession : ClientsChangeAction::openSession;
}

std::string eventStreamUrl(const std::vector<std::string>& topicFilters)
{
    if (topicFilters.empty())
        return {};
    std::string url = "/axis-media/media.amp?video=0&audio=0&event=on&eventtopic=";
    for (const auto& piece : topicFilters)
        url += piece;
    url.pop_back();
    return url;
}

struct EventStream::Timer {
    explicit Timer(boost::asio::io_context& io) : timer(io) {}
    boost::asio::steady_timer timer;
};

std::shared_ptr<EventStream> EventStream::create(DeviceServices& device)
{
    std::shared_ptr<EventStream> stream(new EventStream(device));
    stream->init();
    return stream;
}

EventStream::EventStream(DeviceServices& device)
    : LoggerOwner(device.logger(), "events"),
      device_(device),
      timer_(std::make_unique<Timer>(device.ioContext()))
{
}

void EventStream::init()
{
    std::weak_ptr<EventStream> weak = shared_from_this();
    StreamSupervisor::Hooks hooks;
    hooks.open = [weak](StreamSupervisor::SessionEnded ended) -> StreamSupervisor::Session {
        auto self = weak.lock();
        return self ? self->initializeStream(std::move(ended)) : nullptr;
    };
    hooks.signalLost = [weak](const boost::system::error_code& error) {
        if (auto self = weak.lock())
            self->reportError(error);
    };
    // Detectors hear of an outage as soon as it begins, once.
    hooks.signalLostTime = [] { return std::chrono::milliseconds(0); };
    supervisor_ = StreamSupervisor::create(device_.ioContext(), std::move(hooks), "event stream",
                                           getLogger(), logPrefix());
    supervisor_->setReconnectDelay([weak](std::uint64_t) {
        auto self = weak.lock();
        return self ? self->retry_ : kRetryDelay;
    });
}

EventStream::~EventStream()
{
    // The device calls shutdown() on its I/O thread first; this is what is
    // left to do when it could not (a device that never ran its thread).
    detectors_.clear();
    if (supervisor_)
        supervisor_->abandon();
    if (client_)
        client_.reset();
}

bool EventStream::checkThread() const
{
    if (device_.onIoThread())
        return true;
    ORIX_LOG(*this, LogError, " Called not from connection thread");
    return false;
}

void EventStream::setDelays(std::chrono::milliseconds coalescing, std::chrono::milliseconds retry)
{
    coalescing_ = coalescing;
    retry_ = retry;
}

bool EventStream::active() const
{
    return supervisor_->state() != StreamSupervisor::State::Stopped &&
           supervisor_->state() != StreamSupervisor::State::Abandoned;
}

std::uint64_t EventStream::sessions() const
{
    return supervisor_->sessions();
}

bool EventStream::hasDetector(const EventDetector* detector) const
{
    return std::find(detectors_.begin(), detectors_.end(), detector) != detectors_.end();
}

void EventStream::addDetector(EventDetector* detector)
{
    if (!checkThread() || shutDown_ || detector == nullptr || hasDetector(detector))
        return;
    detectors_.push_back(detector);
    ORIX_LOG(*this, LogDebug, " Detector added: " << detector->logName());
    scheduleClientsChange();
}

void EventStream::removeDetector(EventDetector* detector)
{
    if (!checkThread())
        return;
    const auto it = std::find(detectors_.begin(), detectors_.end(), detector);
    if (it == detectors_.end())
        return;
    detectors_.erase(it);
    if (detector->eventKind() == DetectorEventKind::twoPhase)
        detector->raiseEvent(Orix::Utility::timeStamp(), false);
    ORIX_LOG(*this, LogDebug, " Detector removing: " << detector->logName());
    if (!shutDown_)
        scheduleClientsChange();
}

std::string EventStream::getURL() const
{
    std::vector<std::string> pieces;
    pieces.reserve(detectors_.size());
    for (const auto* detector : detectors_)
        pieces.push_back(detector->topicFilter());
    std::string url = eventStreamUrl(pieces);
    if (url.empty())
        ORIX_LOG(*this, LogError, " There is no registered detectors at time");
    return url;
}

void EventStream::scheduleClientsChange()
{
    if (!checkThread() || shutDown_)
        return;
    timer_->timer.expires_after(coalescing_);
    std::weak_ptr<EventStream> weak = shared_from_this();
    timer_->timer.async_wait([weak](const boost::system::error_code& error) {
        if (auto self = weak.lock())
            self->handleClientsChange(error);
    });
}

void EventStream::handleClientsChange(const boost::system::error_code& error)
{
    if (!checkThread() || shutDown_)
        return;
    const ClientsChangeAction action = decideClientsChange(active(), detectors_.size(), error);
    if (action == ClientsChangeAction::ignore)
        return;
    ORIX_LOG(*this, LogDebug,
             " State changed: m_active=" << (active() ? 1 : 0) << ", m_detectors=" << detectors_.size()
                                         << ", ec=" << error.message());
    switch (action) {
    case ClientsChangeAction::ignore:
        return;
    case ClientsChangeAction::openSession:
        supervisor_->start();
        return;
    case ClientsChangeAction::restartSession:
        supervisor_->restart();
        return;
    case ClientsChangeAction::closeSession:
        supervisor_->stop();
        timer_->timer.cancel();
        retireClient();
        return;
    }
}

std::function<void()> EventStream::initializeStream(
    std::function<void(const boost::system::error_code&, bool)> ended)
{
    const std::string url = getURL();
    if (url.empty())
        return nullptr;
    bool overHttp = false;
    Orix::asio::ConnectionInfoPtr info = device_.getRtspConnectionInfo(overHttp);
    if (!info) {
        const auto error =
            Orix::Utility::makeConnectionError(Orix::Utility::ConnectionError::noConnectionInfo);
        boost::asio::post(device_.ioContext(), [ended = std::move(ended), error] { ended(error, false); });
        return nullptr;
    }
    auto client = std::make_shared<Orix::Utility::RTSPClient>(device_.ioContext(), getLogger());
    if (overHttp) {
        ORIX_LOG(*this, LogWarning, " RTSP connection is not avalaible, trying rtsp over http");
        client->setTransport(Orix::Utility::RtspTransport::RtspOverHttp);
    } else {
        client->setTransport(Orix::Utility::RtspTransport::Tcp);
    }
    // A camera sends event metadata only when something happens; hours of
    // silence are normal, and the RTSP keep-alive shows the session is up.
    client->setTimeouts(std::chrono::milliseconds(0), std::chrono::hours(24));

    std::weak_ptr<EventStream> weak = shared_from_this();
    const auto* raw = client.get();
    const Orix::LoggerOwner& logger = *this;
    client->setTrackInitializer(
        [weak, raw, logger](const Orix::Utility::SdpMedia& track,
                            std::size_t) -> std::shared_ptr<Orix::Utility::RtpTrackSink> {
            if (track.mediaType != "application")
                return nullptr;
            const auto current = [weak, raw]() -> std::shared_ptr<EventStream> {
                auto self = weak.lock();
                return self && !self->shutDown_ && self->client_.get() == raw ? self : nullptr;
            };
            return std::make_shared<MetadataTrack>(
                logger,
                [current](const std::vector<EventStruct>& events) {
                    if (auto self = current())
                        self->dispatchEvents(events);
                },
                [current] {
                    if (auto self = current())
                        self->supervisor_->mediaArrived();
                });
        });

    ORIX_LOG(*this, LogDebug, " Begin receive events with url: " << url);
    retireClient();
    client_ = client;
    client->start(url, info, [weak, raw, ended = std::move(ended)](const boost::system::error_code& result) {
        auto self = weak.lock();
        if (self && self->client_.get() == raw) {
            ORIX_LOG(*self, LogDebug, " End receive events with result " << result.message());
            self->retireClient();
        }
        // A camera never ends an event session on its own: an end it chose
        // is an outage like a broken connection (ends we asked for are stale
        // to the supervisor anyway).
        if (!result || result == Orix::Utility::rtsp::error::sessionEndedByServer)
            ended(Orix::Utility::rtsp::error::connectionLost, false);
        else
            ended(result, false);
    });
    return [client] { client->teardown(); };
}

// A client ends from a fresh handler, never on its own stack.
void EventStream::retireClient()
{
    if (auto client = std::move(client_))
        boost::asio::post(device_.ioContext(), [client = std::move(client)] {});
    client_.reset();
}

void EventStream::reportError(const boost::system::error_code& error)
{
    const std::uint32_t code = Orix::Utility::translateSystemError(error);
    ORIX_LOG(*this, LogError, " Event stream failed: " << error.message() << " (code " << code << ")");
    // A detector may go from inside its callback: walk a copy, skip the gone.
    const auto detectors = detectors_;
    for (auto* detector : detectors) {
        if (hasDetector(detector))
            detector->reportStreamError(code);
    }
}

void EventStream::dispatchEvents(const std::vector<EventStruct>& events)
{
    if (!checkThread() || shutDown_)
        return;
    std::vector<std::uint64_t> timestamps;
    timestamps.reserve(events.size());
    for (const auto& event : events) {
        auto timestamp = Orix::Utility::utcTextToTimeStamp(event.utcTime);
        if (!timestamp) {
            ORIX_LOG(*this, LogNotice,
                     " UtcTime '" << event.utcTime << "' of " << event.topic << " unreadable, using the host time");
            timestamp = Orix::Utility::timeStamp();
        }
        timestamps.push_back(*timestamp);
    }
    const auto detectors = detectors_;
    for (auto* detector : detectors) {
        const std::string name = detector->eventName();
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i].topic != name)
                continue;
            if (!hasDetector(detector))
                break;
            detector->handleEvent(events[i].source, events[i].data, timestamps[i]);
        }
    }
}

void EventStream::shutdown()
{
    if (!checkThread() || shutDown_)
        return;
    shutDown_ = true;
    detectors_.clear();
    timer_->timer.cancel();
    supervisor_->abandon();
    retireClient();
}

} // namespace Vapixcam

#include "IODeviceConfigurable.h"

#include "NoSettingsAdjuster.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <netkit/device/AsyncConnectionPolicyBase.h>
#include <netkit/http/HttpStream.h>
#include <netkit/http/MultipartFilter.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/util/ErrorTranslation.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

namespace {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;

constexpr std::chrono::seconds kRequestTimeout{10};
// A camera sends an empty part about every 15 s on an idle monitor.
constexpr std::chrono::seconds kMonitorStall{45};
// Monitor parts are a few lines; anything near this is not a monitor.
constexpr std::size_t kMaxMonitorPart = 4096;

const char* directionName(PortDirection direction)
{
    return direction == PortDirection::input ? "input" : "output";
}

// 1, 2, 4, 8, 16, then 30 s between attempts; data in a session starts the
// count again, so a monitor cut after a long run is reopened after 1 s.
std::chrono::milliseconds monitorReconnectDelay(std::uint64_t attempt)
{
    const std::uint64_t shift = attempt == 0 ? 0 : std::min<std::uint64_t>(attempt - 1, 5);
    return std::chrono::seconds(std::min<std::uint64_t>(1ull << shift, 30));
}

} // namespace

// The parts of one monitor stream into the channel's alarm report parser.
// A part is complete only at the next delimiter, which a camera may send
// with the next change or keep-alive, seconds later; so the complete lines
// of the part still open are read as they arrive, and the rest of the part
// when it completes.
struct IODeviceConfigurable::MonitorReader {
    MonitorReader(Base::Lifetime channel, PortDirection direction)
        : filter([this](Orix::Utility::MultipartPart&& part) { completed(part.body); }, kMaxMonitorPart),
          channel(std::move(channel)),
          direction(direction)
    {
    }

    boost::system::error_code push(const char* data, std::size_t size)
    {
        const auto error = filter.push(data, size);
        const std::string_view open = filter.pendingBody();
        const auto lineEnd = open.rfind('\n');
        if (lineEnd != std::string_view::npos && lineEnd + 1 > consumed) {
            read(open.substr(consumed, lineEnd + 1 - consumed));
            consumed = lineEnd + 1;
        }
        return error;
    }

    void completed(const std::string& body)
    {
        if (consumed < body.size())
            read(std::string_view(body).substr(consumed));
        consumed = 0;
    }

    void read(std::string_view text)
    {
        if (auto self = channel.lock())
            (*self)->parseMonitorPartAndReport(std::string(text), direction);
    }

    Orix::Utility::MultipartFilter filter;
    Base::Lifetime channel;
    PortDirection direction;
    std::size_t consumed = 0; // bytes of the open part already read
};

// One session: the two monitor streams. The first of them to end ends the
// session (and closes the other); teardown closes both. Completions reach
// it through weak handles and return once it is over.
class IODeviceConfigurable::MonitorSession final : public std::enable_shared_from_this<MonitorSession> {
public:
    MonitorSession(Base::SessionEnded ended, Base::Lifetime channel)
        : ended_(std::move(ended)), channel_(std::move(channel))
    {
    }

    void open(boost::asio::io_context& io, const Orix::asio::ConnectionInfoPtr& info, PortDirection direction,
              const std::string& ports)
    {
        Orix::http::HttpRequest request;
        request.target = "/axis-cgi/io/port.cgi?monitor=" + ports;
        request.headers.push_back({"Connection", "Keep-Alive"});
        Orix::http::HttpStreamTimeouts timeouts;
        timeouts.header = kRequestTimeout;
        timeouts.stall = kMonitorStall;

        auto reader = std::make_shared<MonitorReader>(channel_, direction);
        std::weak_ptr<MonitorSession> weak = shared_from_this();
        Orix::http::HttpStreamHandlers handlers;
        handlers.onResponse = [weak, reader, direction](const Orix::http::HttpResponse& response) {
            auto self = weak.lock();
            if (!self || self->over_ || !Orix::Utility::isSuccessStatus(response.status))
                return;
            const std::string* type = response.find("Content-Type");
            if (const auto error = reader->filter.setContentType(type ? *type : std::string())) {
                self->log([&](const Orix::LoggerOwner& log) {
                    ORIX_LOG(log, LogError, " The " << directionName(direction) << " monitor answered '"
                                                    << (type ? *type : std::string()) << "': " << error.message());
                });
                self->end(error);
            }
        };
        handlers.onData = [weak, reader, direction](const char* data, std::size_t size) {
            auto self = weak.lock();
            if (!self || self->over_)
                return;
            const std::size_t before = reader->filter.partsDelivered();
            if (const auto error = reader->push(data, size)) {
                self->log([&](const Orix::LoggerOwner& log) {
                    ORIX_LOG(log, LogError, " The " << directionName(direction) << " monitor: " << error.message());
                });
            }
            if (reader->filter.partsDelivered() != before)
                self->dataArrived();
        };
        handlers.onEnd = [weak, direction](const boost::system::error_code& error,
                                           const Orix::http::HttpResponse& response) {
            auto self = weak.lock();
            if (!self || self->over_)
                return;
            self->log([&](const Orix::LoggerOwner& log) {
                ORIX_LOG(log, LogError,
                         " The " << directionName(direction) << " monitor ended: "
                                 << (error ? error.message()
                                     : Orix::Utility::isSuccessStatus(response.status)
                                         ? std::string("the camera closed it")
                                         : "HTTP status " + std::to_string(response.status)));
            });
            if (error)
                self->end(error);
            else if (!Orix::Utility::isSuccessStatus(response.status))
                self->end(make_error_code(boost::system::errc::protocol_error));
            else
                self->end(make_error_code(boost::asio::error::eof));
        };
        streams_.push_back(Orix::http::openHttpStream(info, std::move(request), io, timeouts, std::move(handlers)));
    }

    bool empty() const { return streams_.empty(); }

    // Teardown from the supervisor: ended is not called.
    void close()
    {
        over_ = true;
        cancelStreams();
    }

private:
    void end(const boost::system::error_code& error)
    {
        if (over_)
            return;
        over_ = true;
        cancelStreams();
        auto ended = std::move(ended_);
        ended_ = nullptr;
        if (ended)
            ended(error, false);
    }

    void cancelStreams()
    {
        for (const auto& stream : streams_)
            stream->cancel();
        streams_.clear();
    }

    void dataArrived()
    {
        if (auto self = channel_.lock())
            (*self)->streamDataArrived();
    }

    template <class Fn>
    void log(Fn fn)
    {
        if (auto self = channel_.lock())
            fn(static_cast<const Orix::LoggerOwner&>(**self));
    }

    Base::SessionEnded ended_;
    Base::Lifetime channel_;
    std::vector<Orix::http::RequestHandlePtr> streams_;
    bool over_ = false;
};

IODeviceConfigurable::IODeviceConfigurable(Orix::GDRV::IIODeviceHandler*, std::uint32_t index,
                                           DeviceServices& device)
    : LoggerOwner(device.logger(), "io: " + std::to_string(index)),
      Base(device, *this, "IO monitor"),
      index_(index),
      settings_(std::make_unique<NoSettingsAdjuster>(*static_cast<Orix::GDRV::IIODevice*>(this), *this))
{
    setReconnectDelay(monitorReconnectDelay);
}

IODeviceConfigurable::~IODeviceConfigurable() = default;

Orix::IContract* IODeviceConfigurable::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* IODeviceConfigurable::QueryConstContract(const char* name) const
{
    return queryChannelContract<Orix::GDRV::IIODevice>(this, settings_.get(), name);
}

Orix::IAsyncAdjuster* IODeviceConfigurable::GetAdjuster()
{
    return settings_.get();
}

bool IODeviceConfigurable::updatePortDirections()
{
    std::string body;
    const auto error = Orix::http::syncHttpGet(device().connectionInfo(), "/axis-cgi/param.cgi?action=list&group=IOPort",
                                               getLogger().get(), body, {}, true, kRequestTimeout);
    if (error)
        return false;
    auto directions = parsePortDirections(body);
    ports_.setDirections(std::move(directions));
    ORIX_LOG(*this, LogDebug,
             " IO ports: inputs " << joinPorts(ports_.cameraPorts(PortDirection::input)) << ", outputs "
                                  << joinPorts(ports_.cameraPorts(PortDirection::output)));
    return true;
}

IODeviceConfigurable::Base::Session IODeviceConfigurable::initializeStream(const Base::SessionEnded& ended)
{
    const auto info = device().connectionInfo();
    if (!info) {
        const auto error = Orix::Utility::makeConnectionError(Orix::Utility::ConnectionError::noConnectionInfo);
        boost::asio::post(ioContext(), [ended, error] { ended(error, false); });
        return nullptr;
    }
    std::vector<unsigned> inputs;
    std::vector<unsigned> outputs;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!ports_.directionsKnown() && !updatePortDirections()) {
            ORIX_LOG(*this, LogError, " Cannot update IO port directions");
            boost::asio::post(ioContext(), [ended] {
                ended(make_error_code(boost::system::errc::protocol_error), false);
            });
            return nullptr;
        }
        inputs = ports_.cameraPorts(PortDirection::input);
        outputs = ports_.cameraPorts(PortDirection::output);
    }
    runStateCheck(info);

    auto session = std::make_shared<MonitorSession>(ended, lifetime());
    for (const auto& [direction, ports] : {std::make_pair(PortDirection::input, inputs),
                                           std::make_pair(PortDirection::output, outputs)}) {
        if (ports.empty()) {
            ORIX_LOG(*this, LogDebug, " Here is nothing to check: " << directionName(direction) << " ports list is empty");
            continue;
        }
        session->open(ioContext(), info, direction, joinPorts(ports));
    }
    if (session->empty())
        return nullptr;
    return [session] { session->close(); };
}

void IODeviceConfigurable::runStateCheck(const Orix::asio::ConnectionInfoPtr& info)
{
    std::vector<unsigned> all;
    {
        std::lock_guard<std::mutex> lock(lock_);
        all = ports_.cameraPorts();
    }
    if (all.empty()) {
        ORIX_LOG(*this, LogDebug, " IO ports list is empty. Nothing to check");
        return;
    }
    std::string body;
    const auto error = Orix::http::syncHttpGet(info, "/axis-cgi/io/port.cgi?check=" + joinPorts(all),
                                               getLogger().get(), body, {}, true, kRequestTimeout);
    if (!error)
        parseAlarmStatusAndReport(body);
    std::lock_guard<std::mutex> lock(lock_);
    for (const auto& [direction, index] : ports_.unknownPorts()) {
        ORIX_LOG(*this, LogWarning,
                 " Cannot determine current " << directionName(direction) << " status (port " << index + 1 << ")");
    }
}

void IODeviceConfigurable::parseAlarmStatusAndReport(const std::string& body)
{
    std::vector<IoPortTable::Report> reports;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (const auto& status : parsePortCheck(body)) {
            IoPortTable::Report report{};
            const auto outcome = ports_.update(status.port - 1, status.active, std::nullopt, report);
            if (outcome == IoPortTable::Outcome::unknownPort)
                ORIX_LOG(*this, LogDebug,
                         " Skip unsupported IO port value " << status.port << " with status " << status.active);
            else if (outcome == IoPortTable::Outcome::report)
                reports.push_back(report);
        }
    }
    report(reports);
}

void IODeviceConfigurable::parseMonitorPartAndReport(const std::string& text, PortDirection direction)
{
    std::vector<IoPortTable::Report> reports;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (const auto& status : parseMonitorPart(text, direction == PortDirection::input ? 'I' : 'O')) {
            IoPortTable::Report report{};
            if (ports_.update(status.port - 1, status.active, direction, report) == IoPortTable::Outcome::report)
                reports.push_back(report);
        }
    }
    report(reports);
}

void IODeviceConfigurable::report(const std::vector<IoPortTable::Report>& reports)
{
    for (const auto& r : reports)
        reportStatus(r.direction, r.number, r.active);
}

// reportRayStatus and reportRelayStatus in one: an input is a ray, an output
// a relay, each checked against the topology's count before the host hears.
void IODeviceConfigurable::reportStatus(PortDirection direction, std::uint32_t number, bool active)
{
    const bool ray = direction == PortDirection::input;
    const auto topology = device().topology();
    const auto count = static_cast<std::uint32_t>(std::max(0, ray ? topology.inputs : topology.outputs));
    if (number >= count) {
        ORIX_LOG(*this, LogError,
                 (ray ? " Failed to report alarm. Unsupported ray number " : " Failed to report relay. Unsupported relay number ")
                     << number << " . Current " << (ray ? "ray" : "relay") << " count: " << count);
        return;
    }
    ORIX_LOG(*this, LogDebug, (ray ? " Ray " : " Relay ") << number << " status changed to " << active);
    auto* h = handler();
    if (h == nullptr)
        return;
    try {
        const auto* self = static_cast<const Orix::GDRV::IIODevice*>(this);
        if (ray)
            h->RayStatusChanged(self, number, active);
        else
            h->RelayStatusChanged(self, number, active);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception: " << e.what());
    }
}

void IODeviceConfigurable::SetRelayStatus(Orix::IAsyncActionHandler* handler, std::uint32_t relay, bool active)
{
    auto completion = Orix::Utility::wrapAsyncActionHandler(handler, getLogger(), "SetRelayStatus");
    try {
        if (!started()) {
            completion->finish(static_cast<Orix::GDRV::IIODevice*>(this), Orix::NotStarted);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            pending_.emplace_back(completion, nullptr);
        }
        boost::asio::post(ioContext(), [lifetime = lifetime(), completion, relay, active] {
            if (auto self = lifetime.lock())
                (*self)->doSetRelayStatus(completion, relay, active);
        });
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception: " << e.what());
        completion->finish(static_cast<Orix::GDRV::IIODevice*>(this), Orix::GenericFailure);
    }
}

void IODeviceConfigurable::doSetRelayStatus(const Orix::Utility::AsyncActionCompletionPtr& completion,
                                            std::uint32_t relay, bool active)
{
    const auto* self = static_cast<Orix::GDRV::IIODevice*>(this);
    if (completion->finished())
        return; // cancelled by a stop while queued
    std::optional<unsigned> port;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!ports_.directionsKnown() && !updatePortDirections())
            ORIX_LOG(*this, LogError, " Cannot update IO port directions");
        port = ports_.relayPort(relay);
    }
    const auto topology = device().topology();
    const auto rayAndRelayCount = static_cast<unsigned>(std::max(0, topology.inputs) + std::max(0, topology.outputs));
    std::uint32_t invalid = Orix::Ok;
    if (!port) {
        ORIX_LOG(*this, LogError, " Cannot find correspond device output number for " << relay);
        invalid = Orix::InvalidArgument;
    } else if (*port >= rayAndRelayCount) {
        ORIX_LOG(*this, LogError, " Relay number " << relay << " out of range");
        invalid = Orix::InvalidArgument;
    }
    if (invalid != Orix::Ok) {
        completion->finish(self, invalid);
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                      [&](const auto& p) { return p.first == completion; }),
                       pending_.end());
        return;
    }
    const std::string uri = "/axis-cgi/io/port.cgi?action=" + std::to_string(*port + 1) + (active ? ":/" : ":\\");
    ORIX_LOG(*this, LogDebug, " Set relay " << relay << ": " << uri);
    auto request = Orix::http::asyncGetEx(
        device().connectionInfo(), uri, ioContext(), std::chrono::milliseconds(kRequestTimeout),
        [lifetime = lifetime(), completion](const boost::system::error_code& error, const std::string&,
                                            const Orix::http::HttpResponse& response) {
            if (auto channel = lifetime.lock())
                (*channel)->relayStatusHandle(completion, error, response);
        });
    std::lock_guard<std::mutex> lock(pendingMutex_);
    for (auto& p : pending_) {
        if (p.first == completion)
            p.second = request;
    }
}

void IODeviceConfigurable::relayStatusHandle(const Orix::Utility::AsyncActionCompletionPtr& completion,
                                             const boost::system::error_code& error,
                                             const Orix::http::HttpResponse& response)
{
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                      [&](const auto& p) { return p.first == completion; }),
                       pending_.end());
    }
    const auto* self = static_cast<Orix::GDRV::IIODevice*>(this);
    if (error) {
        ORIX_LOG(*this, LogError, " Failed to set status for relay: " << error.message());
        completion->finish(self, Orix::Utility::translateSystemError(error));
        return;
    }
    if (!Orix::Utility::isSuccessStatus(response.status)) {
        ORIX_LOG(*this, LogError, " HTTP response error: " << response.status << " " << response.reason);
        completion->finish(self, Orix::Utility::translateResponseError(response));
        return;
    }
    completion->finish(self, Orix::Ok);
}

void IODeviceConfigurable::stopStream()
{
    std::vector<std::pair<Orix::Utility::AsyncActionCompletionPtr, Orix::http::RequestHandlePtr>> pending;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pending.swap(pending_);
    }
    for (auto& [completion, request] : pending) {
        if (request)
            request->cancel();
        completion->finish(static_cast<Orix::GDRV::IIODevice*>(this), Orix::Cancelled);
    }
}

} // namespace Vapixcam

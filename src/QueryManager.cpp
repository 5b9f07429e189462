#include "QueryManager.h"

#include "PtzAnswers.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <charconv>
#include <netkit/util/ErrorTranslation.h>
#include <orix/ErrorCodes.h>
#include <vector>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;

struct QueryManager::Timer {
    explicit Timer(boost::asio::io_context& io) : timer(io) {}
    boost::asio::steady_timer timer;
};

namespace {

const char* const kCookieName = "ptz_ctl_id=";

// The value of ptz_ctl_id in a Location or Set-Cookie header.
std::string identifierIn(const std::string& header)
{
    const std::size_t at = header.find(kCookieName);
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + std::char_traits<char>::length(kCookieName);
    const std::size_t end = header.find_first_of("&; \t\r\n", begin);
    return header.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The names of the first run of adjacent empty anchors: <a name="3"></a><a name="410"></a>
std::vector<std::string> adjacentAnchors(const std::string& body)
{
    static const std::string kOpen = "<a name=\"";
    static const std::string kClose = "\"></a>";
    std::vector<std::string> run;
    std::size_t expected = std::string::npos; // where the next anchor of the run must start
    for (std::size_t at = body.find(kOpen); at != std::string::npos; at = body.find(kOpen, at + 1)) {
        const std::size_t begin = at + kOpen.size();
        const std::size_t quote = body.find('"', begin);
        if (quote == std::string::npos || body.compare(quote, kClose.size(), kClose) != 0)
            continue;
        if (at != expected) {
            if (run.size() >= 2)
                break;
            run.clear();
        }
        run.push_back(body.substr(begin, quote - begin));
        expected = quote + kClose.size();
    }
    if (run.size() < 2)
        run.clear();
    return run;
}

} // namespace

namespace {

std::optional<std::int32_t> anchorNumber(const std::string& text)
{
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    std::int32_t number = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, number);
    if (ec != std::errc() || ptr != end || begin == end)
        return std::nullopt;
    return number;
}

} // namespace

std::optional<std::int32_t> controlPeriodSeconds(const std::string& body, std::string* rejected)
{
    const auto anchors = adjacentAnchors(body);
    if (anchors.empty())
        return std::nullopt;
    // The documented page carries queue place, seconds left and poll
    // period; a two-anchor page starts with the period.
    const std::string& text = anchors.size() >= 3 ? anchors[1] : anchors[0];
    const auto seconds = anchorNumber(text);
    if (!seconds && rejected != nullptr)
        *rejected = text;
    return seconds;
}

std::optional<std::int32_t> controlQueuePlace(const std::string& body)
{
    const auto anchors = adjacentAnchors(body);
    if (anchors.size() < 3)
        return std::nullopt;
    return anchorNumber(anchors[0]);
}

QueryManager::QueryManager(DeviceServices& device, std::uint32_t channel, Orix::LoggerOwner logger,
                           std::chrono::milliseconds waitLimit)
    : device_(device),
      camera_(channel + 1),
      logger_(std::move(logger)),
      waitLimit_(waitLimit),
      extendTimer_(std::make_unique<Timer>(device.ioContext()))
{
}

QueryManager::~QueryManager() = default;

void QueryManager::setEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = enabled;
}

bool QueryManager::enabled() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_;
}

std::string QueryManager::controlIdentifier() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return identifier_;
}

Orix::http::Headers QueryManager::cookieHeaders(const std::string& identifier) const
{
    if (identifier.empty())
        return {};
    return {{"Cookie", kCookieName + identifier}};
}

std::uint32_t QueryManager::sendTelemetryRequest(const std::string& path, bool wantBody,
                                                 std::string& body)
{
    if (device_.onIoThread()) {
        ORIX_LOG(logger_, LogError, " PTZ request refused on the device's I/O thread: " << path);
        return Orix::GenericFailure;
    }
    auto request = std::make_shared<TelemetryRequest>();
    request->path = path;
    request->wantBody = wantBody;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopped_)
            return Orix::Cancelled;
        if (granted_ || !enabled_) {
            const std::string cookie = identifier_;
            lock.unlock();
            dispatch(request, cookie);
        } else {
            queue_.push_back(request);
            if (!pending_) {
                boost::asio::post(device_.ioContext(), [weak = weak_from_this()] {
                    if (auto self = weak.lock())
                        self->requestControl({});
                });
            }
        }
    }

    std::unique_lock<std::mutex> wait(request->mutex);
    if (!request->done.wait_for(wait, waitLimit_, [&] { return request->finished; })) {
        wait.unlock();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto it = queue_.begin(); it != queue_.end(); ++it) {
                if (*it == request) {
                    queue_.erase(it);
                    break;
                }
            }
        }
        ORIX_LOG(logger_, LogError, " No PTZ control within " << waitLimit_.count()
                                                              << " ms, request: " << path);
        finish(request, Orix::Timeout, {});
        Orix::http::RequestHandlePtr handle;
        {
            std::lock_guard<std::mutex> lock(request->mutex);
            handle = request->handle;
        }
        if (handle)
            handle->cancel();
        wait.lock();
    }
    if (wantBody)
        body = request->body;
    return request->result;
}

void QueryManager::dispatch(const std::shared_ptr<TelemetryRequest>& request, const std::string& cookie)
{
    const auto info = device_.connectionInfo();
    if (!info) {
        finish(request, Orix::BadAddress, {});
        return;
    }
    Orix::http::HttpRequest http;
    http.target = request->path;
    http.headers = cookieHeaders(cookie);
    auto handle = Orix::http::asyncGetEx(
        info, std::move(http), device_.ioContext(), waitLimit_,
        [weak = weak_from_this(), request](const boost::system::error_code& error,
                                           const std::string& answer,
                                           const Orix::http::HttpResponse& response) {
            auto self = weak.lock();
            if (!self)
                return;
            std::string body;
            const std::uint32_t result =
                request->wantBody
                    ? queryResult(error, answer, response, request->path, self->logger_, body)
                    : commandResult(error, answer, response, request->path, self->logger_);
            self->finish(request, result, body);
        });
    std::lock_guard<std::mutex> lock(request->mutex);
    request->handle = std::move(handle);
}

void QueryManager::finish(const std::shared_ptr<TelemetryRequest>& request, std::uint32_t result,
                          const std::string& body)
{
    {
        std::lock_guard<std::mutex> lock(request->mutex);
        if (request->finished)
            return;
        request->finished = true;
        request->result = result;
        request->body = body;
    }
    request->done.notify_all();
}

void QueryManager::failQueued(std::deque<std::shared_ptr<TelemetryRequest>> queued, std::uint32_t result)
{
    for (const auto& request : queued)
        finish(request, result, {});
}

void QueryManager::requestControl(const boost::system::error_code& error)
{
    if (error == boost::asio::error::operation_aborted)
        return;
    if (error)
        ORIX_LOG(logger_, LogError, " boost::system::error_code: " << error.message());
    std::string identifier;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_ || !enabled_ || pending_)
            return;
        pending_ = true;
        identifier = identifier_;
    }
    const auto info = device_.connectionInfo();
    if (!info) {
        std::deque<std::shared_ptr<TelemetryRequest>> queued;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = false;
            queued.swap(queue_);
        }
        failQueued(std::move(queued), Orix::BadAddress);
        return;
    }
    Orix::http::HttpRequest http;
    http.target = "/axis-cgi/com/ptzqueue.cgi?control=request&camera=" + std::to_string(camera_);
    http.headers = cookieHeaders(identifier);
    auto handle = Orix::http::asyncGetEx(
        info, std::move(http), device_.ioContext(), waitLimit_,
        [weak = weak_from_this()](const boost::system::error_code& e, const std::string& body,
                                  const Orix::http::HttpResponse& response) {
            if (auto self = weak.lock())
                self->handleExtendControl(e, body, response);
        });
    std::lock_guard<std::mutex> lock(mutex_);
    controlRequest_ = std::move(handle);
}

void QueryManager::handleExtendControl(const boost::system::error_code& error, const std::string& body,
                                       const Orix::http::HttpResponse& response)
{
    std::uint32_t failure = Orix::Ok;
    std::string identifier;
    if (error) {
        ORIX_LOG(logger_, LogError, " boost::system::error_code: " << error.message());
        failure = Orix::Utility::translateSystemError(error);
    } else if (response.status == 302 || (response.status >= 200 && response.status < 300)) {
        for (const char* header : {"Location", "Set-Cookie"}) {
            if (const std::string* value = response.find(header); value && identifier.empty())
                identifier = identifierIn(*value);
        }
    } else {
        ORIX_LOG(logger_, LogError, " HTTP response error " << response.status << " " << response.reason);
        failure = Orix::Utility::translateResponseError(response);
    }

    std::chrono::microseconds period = kDefaultPeriod;
    bool waiting = false;
    if (failure == Orix::Ok && body.find("Error") == std::string::npos) {
        std::string rejected;
        const auto seconds = controlPeriodSeconds(body, &rejected);
        if (!rejected.empty())
            ORIX_LOG(logger_, LogWarning, " Period '" << rejected << "' could not be cast: not a 32-bit number");
        if (seconds && *seconds > 0)
            period = std::chrono::seconds(*seconds);
        const auto place = controlQueuePlace(body);
        waiting = place && *place != 1;
        if (waiting)
            ORIX_LOG(logger_, LogDebug, " Waiting for PTZ control, place " << *place << " in the queue");
    }

    std::deque<std::shared_ptr<TelemetryRequest>> released;
    std::string cookie;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = false;
        controlRequest_.reset();
        if (stopped_)
            return;
        if (failure != Orix::Ok) {
            granted_ = false;
            identifier_.clear();
        } else {
            granted_ = !waiting;
            if (!identifier.empty())
                identifier_ = identifier;
            period_ = period;
        }
        if (!waiting)
            released.swap(queue_);
        cookie = identifier_;
    }
    if (failure != Orix::Ok) {
        failQueued(std::move(released), failure);
        return;
    }
    if (waiting) {
        armTimer(kWaitingRetry);
        return;
    }
    ORIX_LOG(logger_, LogDebug, " PTZ control granted for " << period.count() / 1000 << " ms");
    // Extend a second before the period ends (half way through a short one).
    const auto margin = period > std::chrono::seconds(2) ? std::chrono::microseconds(std::chrono::seconds(1))
                                                          : period / 2;
    armTimer(period - margin);
    for (const auto& request : released)
        dispatch(request, cookie);
}

void QueryManager::armTimer(std::chrono::microseconds delay)
{
    extendTimer_->timer.expires_after(delay);
    extendTimer_->timer.async_wait([weak = weak_from_this()](const boost::system::error_code& e) {
        if (auto self = weak.lock())
            self->requestControl(e);
    });
}

void QueryManager::shutdown()
{
    std::deque<std::shared_ptr<TelemetryRequest>> queued;
    Orix::http::RequestHandlePtr control;
    std::string identifier;
    bool granted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_)
            return;
        stopped_ = true;
        queued.swap(queue_);
        control.swap(controlRequest_);
        identifier = identifier_;
        granted = granted_;
        granted_ = false;
    }
    failQueued(std::move(queued), Orix::Cancelled);
    if (control)
        control->cancel();
    boost::asio::post(device_.ioContext(), [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->extendTimer_->timer.cancel();
    });
    if (granted)
        dropControl(identifier);
}

void QueryManager::dropControl(const std::string& identifier)
{
    const auto info = device_.connectionInfo();
    if (!info)
        return;
    // Given back before Destroy returns, on a private io_context: the device
    // may stop its I/O right after, and a camera keeps a holder that never
    // drops for a whole period.
    Orix::http::HttpRequest http;
    http.target = "/axis-cgi/com/ptzqueue.cgi?control=drop&camera=" + std::to_string(camera_);
    http.headers = cookieHeaders(identifier);
    boost::asio::io_context io;
    Orix::http::asyncGetEx(info, std::move(http), io, kDropTimeout,
                           [this](const boost::system::error_code& error, const std::string&,
                                  const Orix::http::HttpResponse& response) {
                               if (error)
                                   ORIX_LOG(logger_, LogError, " boost::system::error_code: " << error.message());
                               else if (!(response.status == 302 ||
                                          (response.status >= 200 && response.status < 300)))
                                   ORIX_LOG(logger_, LogError, " HTTP response error " << response.status);
                           });
    io.run();
}

} // namespace Vapixcam

#pragma once
// PTZ control through the camera's control queue (ptzqueue.cgi). Control is
// requested at the first request; until the camera grants it, requests wait
// in a queue and are released, in order, once it does. Every request then
// carries the cookie "ptz_ctl_id=<identifier>" when the camera gave one, and
// control is extended by a timer before the granted period ends.
//
// States:
//   idle      --first request-->  requesting (requests queue)
//   requesting --2xx/302-->       granted (queue released, extend timer armed)
//   requesting --place 2, 3...--> waiting (asked again every second)
//   requesting --failure-->       idle (queued requests complete with the error)
//   granted   --timer-->          granted (extension request; a failure -> idle)
//   any       --shutdown-->       stopped (queued requests fail, control dropped)
// With queueing disabled requests go straight out.
//
// A host thread blocks in sendTelemetryRequest at most waitLimit; a request
// still queued or unanswered then completes with 0x103 (timeout).
// Completions and the timer hold weak handles only; after shutdown() nothing
// touches the channel or the device again.
#include "DeviceServices.h"

#include <boost/system/error_code.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>
#include <optional>
#include <string>

namespace Vapixcam {

// The control period a control answer grants, in seconds: the first of two
// adjacent anchors, or, in the three-anchor page (queue position, seconds of
// control left, poll period), the seconds left. Nothing when the page holds
// no usable number (the text that failed is put in rejected).
std::optional<std::int32_t> controlPeriodSeconds(const std::string& body, std::string* rejected = nullptr);
// The place in the camera's queue the three-anchor page gives (1: in
// control); nothing for another page.
std::optional<std::int32_t> controlQueuePlace(const std::string& body);

class QueryManager : public std::enable_shared_from_this<QueryManager> {
public:
    static constexpr std::chrono::milliseconds kWaitLimit{10000};
    static constexpr std::chrono::microseconds kDefaultPeriod{5000000};
    // The longest Destroy waits for the camera to take control back.
    static constexpr std::chrono::milliseconds kDropTimeout{2000};
    // How often a client behind others in the camera's queue asks again.
    static constexpr std::chrono::milliseconds kWaitingRetry{1000};

    struct TelemetryRequest {
        std::string path;
        bool wantBody = false;
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::uint32_t result = 0;
        std::string body;
        Orix::http::RequestHandlePtr handle;
    };

    QueryManager(DeviceServices& device, std::uint32_t channel, Orix::LoggerOwner logger,
                 std::chrono::milliseconds waitLimit = kWaitLimit);
    ~QueryManager();
    QueryManager(const QueryManager&) = delete;
    QueryManager& operator=(const QueryManager&) = delete;

    // Sends one PTZ request and blocks until its result (see commandResult /
    // queryResult); body receives the answer of a query.
    std::uint32_t sendTelemetryRequest(const std::string& path, bool wantBody, std::string& body);

    void setEnabled(bool enabled);
    bool enabled() const;
    std::string controlIdentifier() const;

    // Completes every waiting request with 0x107 (cancelled), gives control
    // back to the camera when it was granted (blocking at most kDropTimeout)
    // and stops the timer. Called once, by the channel's destructor.
    void shutdown();

private:
    struct Timer; // the extend timer, used on the device's I/O thread only
    void requestControl(const boost::system::error_code& error);
    void handleExtendControl(const boost::system::error_code& error, const std::string& body,
                             const Orix::http::HttpResponse& response);
    void dispatch(const std::shared_ptr<TelemetryRequest>& request, const std::string& cookie);
    void finish(const std::shared_ptr<TelemetryRequest>& request, std::uint32_t result,
                const std::string& body);
    void armTimer(std::chrono::microseconds delay);
    void failQueued(std::deque<std::shared_ptr<TelemetryRequest>> queued, std::uint32_t result);
    void dropControl(const std::string& identifier);
    Orix::http::Headers cookieHeaders(const std::string& identifier) const;

    DeviceServices& device_;
    const std::uint32_t camera_;
    Orix::LoggerOwner logger_;
    const std::chrono::milliseconds waitLimit_;

    mutable std::mutex mutex_;
    bool enabled_ = true;
    bool stopped_ = false;
    bool granted_ = false;
    bool pending_ = false;
    std::string identifier_;
    std::chrono::microseconds period_ = kDefaultPeriod;
    std::deque<std::shared_ptr<TelemetryRequest>> queue_;
    Orix::http::RequestHandlePtr controlRequest_;
    std::unique_ptr<Timer> extendTimer_;
};

} // namespace Vapixcam

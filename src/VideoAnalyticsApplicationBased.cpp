#include "VideoAnalyticsApplicationBased.h"

#include "DeviceServices.h"

#include <boost/asio/steady_timer.hpp>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/JsonSettingsReport.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogError;

ApplicationStartAnswer classifyApplicationStart(const std::string& body)
{
    if (body == "OK\r\n")
        return ApplicationStartAnswer::started;
    if (body == "Error: 6")
        return ApplicationStartAnswer::alreadyRunning;
    return ApplicationStartAnswer::refused;
}

struct VideoAnalyticsApplicationBased::Timer {
    explicit Timer(boost::asio::io_context& io) : timer(io) {}
    boost::asio::steady_timer timer;
};

VideoAnalyticsApplicationBased::VideoAnalyticsApplicationBased(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                                               std::uint32_t channel,
                                                               const std::string& detectorId,
                                                               DeviceServices& device)
    : VideoAnalyticsBase(handler, channel, detectorId, device),
      timer_(std::make_unique<Timer>(device.ioContext()))
{
}

VideoAnalyticsApplicationBased::~VideoAnalyticsApplicationBased() = default;

void VideoAnalyticsApplicationBased::confirmAvailability()
{
    const std::string uri = "/axis-cgi/applications/control.cgi?action=start&package=" + applicationName();
    httpGet(uri, [this, uri](const boost::system::error_code& error, const std::string& body,
                             const Orix::http::HttpResponse& response) {
        onStartCommandResponse(error, body, response, uri);
    });
}

void VideoAnalyticsApplicationBased::onStartCommandResponse(const boost::system::error_code& error,
                                                            const std::string& body,
                                                            const Orix::http::HttpResponse& response,
                                                            const std::string& uri)
{
    if (!started())
        return;
    if (const std::uint32_t code = Orix::Utility::checkHttpAnswer(*this, error, body, response, uri)) {
        notifyFailure(body.empty() && !error && Orix::Utility::isSuccessStatus(response.status)
                          ? static_cast<std::uint32_t>(Orix::GenericFailure)
                          : code);
        return;
    }
    if (classifyApplicationStart(body) == ApplicationStartAnswer::refused) {
        ORIX_LOG(*this, LogError,
                 " Cannot start " << applicationName() << " application. Camera reports: " << body);
        notifyFailure(Orix::GenericFailure);
        return;
    }
    // The application declares its events a moment after it starts.
    timer_->timer.expires_after(startWait_);
    timer_->timer.async_wait([weak = alive()](const boost::system::error_code& waitError) {
        auto handle = weak.lock();
        if (!handle || waitError)
            return;
        auto* self = fromHandle<VideoAnalyticsApplicationBased>(handle);
        if (self->started())
            self->checkEventInstances();
    });
}

void VideoAnalyticsApplicationBased::doAcquireDynamicParameters(
    const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    Orix::Utility::reportJsonSettings(completion, sender(), Json::Value(Json::arrayValue), *this);
}

void VideoAnalyticsApplicationBased::abandon()
{
    timer_->timer.cancel();
    VideoAnalyticsBase::abandon();
}

} // namespace Vapixcam

#include "MotionDetectionVBased.h"

#include "DetectorRequests.h"

#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogError;

namespace {

AreaPolygon toPolygon(const Orix::Utility::PolylineF& line)
{
    AreaPolygon polygon;
    for (const auto& point : line)
        polygon.push_back({point.x, point.y});
    return polygon;
}

} // namespace

MotionDetectionVBased::MotionDetectionVBased(Orix::Analytics::IVideoAnalyticsHandler* handler,
                                             std::uint32_t channel, const std::string& detectorId,
                                             DeviceServices& device, std::string application,
                                             std::string configurationPath)
    : VideoAnalyticsApplicationBased(handler, channel, detectorId, device),
      application_(std::move(application)),
      configurationPath_(std::move(configurationPath))
{
}

void MotionDetectionVBased::handleEvent(const std::string&, const std::string& data, std::uint64_t timestamp)
{
    const auto items = parseSimpleItems(data);
    const auto active = items.find("active");
    if (active != items.end())
        raiseEvent(timestamp, onOffState(active->second));
}

std::uint32_t MotionDetectionVBased::SetPolylineArray(const char* name, const Orix::Analytics::Polyline* polylines,
                                                      std::uint32_t count)
{
    try {
        if (polylines == nullptr) {
            ORIX_LOG(*this, LogError, " Collection is empty.");
            return Orix::GenericFailure;
        }
        if (!repositoryProperties()) {
            ORIX_LOG(*this, LogError, " Detector not found in repository.");
            return Orix::GenericFailure;
        }
        const std::string element = name == nullptr ? "" : name;
        if (element != "detectionArea" && element != "excludeArea") {
            ORIX_LOG(*this, LogError, " Visual element '" << element << "' not found in repository.");
            return Orix::InvalidArgument;
        }
        return Orix::Utility::VideoAnalyticsBase::SetPolylineArray(name, polylines, count);
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception - " << e.what());
        return Orix::GenericFailure;
    }
}

MotionAreas MotionDetectionVBased::areas() const
{
    MotionAreas areas;
    const auto detection = polylines("detectionArea");
    if (!detection.empty())
        areas.detection = toPolygon(detection.front());
    for (const auto& line : polylines("excludeArea"))
        areas.exclusions.push_back(toPolygon(line));
    return areas;
}

void MotionDetectionVBased::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    Orix::Utility::ParamMap pushed;
    if (parameters().popParameters(pushed))
        parameters().updateParams(pushed);
    const std::string request = createConfigRequest(areas());
    if (request.empty()) {
        ORIX_LOG(*this, LogError,
                 " " << application_ << " configuration request for channel " << channel() << " not created");
        completion->finish(sender(), Orix::GenericFailure);
        return;
    }
    httpPost(configurationPath_, request,
             [this, completion](const boost::system::error_code& error, const std::string& body,
                                const Orix::http::HttpResponse& response) {
                 if (const std::uint32_t code =
                         Orix::Utility::checkHttpAnswer(*this, error, body, response, configurationPath_)) {
                     completion->finish(sender(), code);
                     return;
                 }
                 handleApplySettings(body, completion);
             });
}

} // namespace Vapixcam

#include "MotionDetection.h"

#include "DetectorRequests.h"
#include "MotionWindows.h"

#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

MotionDetection::MotionDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                 const std::string& detectorId, DeviceServices& device)
    : VideoAnalyticsBase(handler, channel, detectorId, device)
{
}

bool MotionDetection::matchEventDescription(const std::string& text) const
{
    return text.find("<tnsaxis:MotionDetection wstop:topic=\"true\" aev:NiceName=\"Motion detection\">") !=
           std::string::npos;
}

void MotionDetection::handleEvent(const std::string& source, const std::string& data, std::uint64_t timestamp)
{
    const auto items = parseSimpleItems(data);
    if (items.empty())
        return;
    const auto sources = parseSimpleItems(source);
    const auto window = sources.find("window");
    const std::string id = window == sources.end() ? std::string() : window->second;
    if (const auto state = windows_.update(id, onOffState(items.begin()->second)))
        raiseEvent(timestamp, *state);
}

void MotionDetection::confirmAvailability()
{
    const std::string uri = "/axis-cgi/param.cgi?action=list&group=Motion";
    httpGet(uri, [this, uri](const boost::system::error_code& error, const std::string& body,
                             const Orix::http::HttpResponse& response) {
        if (!started())
            return;
        if (error || !Orix::Utility::isSuccessStatus(response.status)) {
            notifyFailure(Orix::Utility::checkHttpAnswer(*this, error, body, response, uri));
            return;
        }
        handleWindowList(body);
    });
}

void MotionDetection::handleWindowList(const std::string& body)
{
    const auto groups = motionWindowsOfChannel(body, static_cast<int>(channel()));
    if (groups.empty()) {
        createMainWindow();
        return;
    }
    startRequest(motionWindowsRemoveRequest(groups), [this](const std::string&) { createMainWindow(); });
}

void MotionDetection::createMainWindow()
{
    startRequest(motionMainWindowRequest(static_cast<int>(channel())),
                 [this](const std::string&) { checkEventInstances(); });
}

void MotionDetection::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    applyParameterUpdate("/axis-cgi/param.cgi?action=update", motionWindowPieces(), parameters(), *this, sender(),
                         completion,
                         getter());
}

void MotionDetection::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    acquireDefinitions("/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=Motion",
                       {{"Motion", "M0"}, {"Motion"}},
                       {{"WindowType", "WindowType"}, {"Sensitivity", "Sensitivity"}, {"ObjectSize", "ObjectSize"},
                        {"History", "History"}},
                       parameters(), repositoryProperties(), *this, sender(), completion,
                       getter());
}

} // namespace Vapixcam

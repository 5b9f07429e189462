#include "MotionDetectionV4.h"

#include "DetectorRequests.h"
#include "Vmd4Configuration.h"

#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

MotionDetectionV4::MotionDetectionV4(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                     const std::string& detectorId, DeviceServices& device)
    : MotionDetectionVBased(handler, channel, detectorId, device, "VMD4", "/local/vmd/control.cgi")
{
}

std::string MotionDetectionV4::eventName() const
{
    const std::string n = std::to_string(channel() + 1);
    return "CameraApplicationPlatform/VMD/Camera" + n + "Profile" + n;
}

bool MotionDetectionV4::matchEventDescription(const std::string& text) const
{
    return text.find("wstop:topic=\"true\" aev:NiceName=\"VMD 4") != std::string::npos;
}

void MotionDetectionV4::raiseEvent(std::uint64_t timestamp, bool state)
{
    if (auto* events = factory())
        events->RaiseTwoPhaseEvent("VMD/Camera" + std::to_string(channel() + 1), state, timestamp, std::string(),
                                   std::string());
}

std::string MotionDetectionV4::createConfigRequest(const MotionAreas& areas)
{
    if (areas.detection.empty()) {
        ORIX_LOG(*this, LogError, " Detection area is empty");
        return {};
    }
    return buildVmd4Configuration(static_cast<int>(channel()), areas, parameters());
}

void MotionDetectionV4::handleApplySettings(const std::string& body,
                                            const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    if (vmd4RequestMalformed(body)) {
        ORIX_LOG(*this, LogError, " Configuration request was not formatted correctly");
        completion->finish(sender(), Orix::NotSupported);
        return;
    }
    completion->finish(sender(), Orix::Ok);
}

void MotionDetectionV4::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    ORIX_LOG(*this, LogDebug, " Start reading parameters from device");
    httpPost(configurationPath(), kVmd4GetConfiguration,
             [this, completion](const boost::system::error_code& error, const std::string& body,
                                const Orix::http::HttpResponse& response) {
                 if (const std::uint32_t code =
                         Orix::Utility::checkHttpAnswer(*this, error, body, response, configurationPath())) {
                     completion->failed(sender(), code);
                     return;
                 }
                 const auto version = readVmd4ApiVersion(body);
                 if (!version) {
                     ORIX_LOG(*this, LogError, " Failed read VMD4 paraemeters");
                     completion->failed(sender(), Orix::ProtocolError);
                     return;
                 }
                 httpPost(configurationPath(), vmd4CapabilitiesRequest(*version),
                          [this, completion](const boost::system::error_code& error, const std::string& body,
                                             const Orix::http::HttpResponse& response) {
                              if (const std::uint32_t code = Orix::Utility::checkHttpAnswer(
                                      *this, error, body, response, configurationPath())) {
                                  completion->failed(sender(), code);
                                  return;
                              }
                              handleDynamicParameters(body, completion);
                          });
             });
}

void MotionDetectionV4::handleDynamicParameters(const std::string& body,
                                                const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    Vmd4Capabilities capabilities;
    std::string reason;
    if (!readVmd4Capabilities(body, capabilities, reason)) {
        ORIX_LOG(*this, LogError, " Failed read VMD4 paraemeters: " << reason);
        completion->failed(sender(), Orix::ProtocolError);
        return;
    }
    for (const auto& type : capabilities.unsupported)
        ORIX_LOG(*this, LogError, " Unsupported propertie: " << type);
    Orix::GDRV::PropertySet properties = repositoryProperties() ? *repositoryProperties() : Orix::GDRV::PropertySet();
    for (const Vmd4Capability& c : capabilities.properties) {
        if (c.isBool) {
            parameters().setDefaultValue(c.property, c.defaultActive);
            properties[c.property] = Orix::GDRV::PropertyBool{c.property, parameters().getBool(c.property, true)};
        } else {
            parameters().setDefaultValue(c.property, c.defaultValue);
            properties[c.property] =
                Orix::GDRV::PropertyIntRange{c.property, c.min, c.max, parameters().getInt(c.property, c.defaultValue)};
        }
    }
    reportProperties(completion, sender(), properties, *this);
    ORIX_LOG(*this, LogDebug, " Reading parameters from repository completed");
}

} // namespace Vapixcam

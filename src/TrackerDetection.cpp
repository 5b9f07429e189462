#include "TrackerDetection.h"

#include "DetectorRequests.h"
#include "ModuleSettings.h"
#include "TrackerFrame.h"

#include <netkit/analytics/Geometry.h>
#include <netkit/http/ResponseCheck.h>
#include <orix/ErrorCodes.h>
#include <orix/plugin/IServiceProvider.h>
#include <algorithm>
#include <sstream>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

namespace {

struct TrackerParameter {
    const char* property;
    const char* camera;
    UpdateValueType type;
};

const std::vector<TrackerParameter>& trackerParameters()
{
    using T = UpdateValueType;
    static const std::vector<TrackerParameter> table = {
        {"detectUnattendedObjects", "DetectUnattendedObjects", T::boolean},
        {"determineHumanOrCarObjects", "DetermineHumanOrCarObjects", T::boolean},
        {"determineNumOfHumansInGroup", "DetermineNumOfHumansInGroup", T::boolean},
        {"determineObjectColor", "DetermineObjectColor", T::boolean},
        {"determineOutliers", "DetermineOutliers", T::boolean},
        {"determineUnattendedObjectType", "DetermineUnattendedObjectType", T::boolean},
        {"maxObjectHeight", "MaxObjectHeight", T::integer},
        {"maxObjectWidth", "MaxObjectWidth", T::integer},
        {"maxUnattendedObjectHeight", "MaxUnattendedObjectHeight", T::integer},
        {"maxUnattendedObjectWidth", "MaxUnattendedObjectWidth", T::integer},
        {"minObjectHeight", "MinObjectHeight", T::integer},
        {"minObjectWidth", "MinObjectWidth", T::integer},
        {"minUnattendedObjectHeight", "MinUnattendedObjectHeight", T::integer},
        {"minUnattendedObjectWidth", "MinUnattendedObjectWidth", T::integer},
        {"motionDetectorSensitivity", "MotionDetectorSensitivity", T::integer},
        {"skipEqualFrames", "SkipEqualFrames", T::boolean},
        {"timeBeforeObjectIsLost", "TimeBeforeObjectIsLost", T::integer},
        {"unattendedDetectorSensitivity", "UnattendedDetectorSensitivity", T::integer},
        {"useColourInformation", "UseColourInformation", T::boolean},
    };
    return table;
}

const char* typeName(const Orix::GDRV::Property& property)
{
    static const char* const names[] = {"bool", "intRange", "intEnum", "stringEnum",
                                        "string", "editableString", "doubleRange"};
    return names[property.index()];
}

} // namespace

TrackerDetection::TrackerDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                   const std::string& detectorId, DeviceServices& device)
    : TrackerDetection(handler, channel, detectorId, device, ModuleSettings::loggerHolder()->host())
{
}

TrackerDetection::TrackerDetection(Orix::Analytics::IVideoAnalyticsHandler* handler, std::uint32_t channel,
                                   const std::string& detectorId, DeviceServices& device,
                                   Orix::PLUGIN::IModuleHost* host)
    : VideoAnalyticsApplicationBased(handler, channel, detectorId, device)
{
    auto* provider = host == nullptr ? nullptr
                                     : static_cast<Orix::PLUGIN::IServiceProvider*>(host->QueryContract(
                                           Orix::contractName<Orix::PLUGIN::IServiceProvider>()));
    if (provider == nullptr) {
        ORIX_LOG(*this, LogError, " Failed to obtain IServiceProvider");
        return;
    }
    auto* factory = static_cast<Orix::Analytics::ITargetEnumeratorFactory*>(
        provider->QueryService(Orix::contractName<Orix::Analytics::ITargetEnumeratorFactory>()));
    if (factory == nullptr) {
        ORIX_LOG(*this, LogError, " Failed to obtain ITargetEnumeratorFactory");
        return;
    }
    targets_ = std::make_unique<Orix::Utility::Detector::TargetsList>(factory);
}

bool TrackerDetection::matchEventDescription(const std::string& text) const
{
    return text.find("<NorvikTracker wstop:topic=\"true\">") != std::string::npos ||
           text.find("<AnalyticVideoTracker wstop:topic=\"true\">") != std::string::npos;
}

void TrackerDetection::handleEvent(const std::string&, const std::string& data, std::uint64_t timestamp)
{
    TrackerFrame frame;
    std::string reason;
    if (!readTrackerFrame(data, frame, reason)) {
        ORIX_LOG(*this, LogError, " Cannot parse tracker info." << reason);
        return;
    }
    if (frame.colourFailures > 0)
        ORIX_LOG(*this, LogError, " Cannot parse tracker color info.");
    if (!targets_)
        return;
    for (const TrackedTarget& target : frame.targets) {
        Orix::Utility::Detector::TargetAdjuster adjuster;
        adjuster.setArea({target.x, target.y, target.width, target.height}, true);
        if (target.rgb) {
            const auto hsv = Orix::Utility::RGBtoHSV((*target.rgb)[0], (*target.rgb)[1], (*target.rgb)[2]);
            adjuster.setProperty("ColorH", hsv.hue);
            adjuster.setProperty("ColorS", hsv.saturation);
            adjuster.setProperty("ColorV", hsv.value);
        }
        targets_->addTarget(target.id, adjuster);
    }
    auto enumerator = targets_->createEnumerator(timestamp);
    if (enumerator && factory())
        factory()->RaisePeriodicalEvent("TargetList", timestamp)->set("TargetList", std::move(enumerator));
}

void TrackerDetection::applySettings(const Orix::Utility::AsyncActionCompletionPtr& completion)
{
    std::vector<UpdatePiece> pieces;
    for (const TrackerParameter& p : trackerParameters())
        pieces.push_back({p.property, p.type, std::string("&QVT.") + p.camera + "="});
    applyParameterUpdate("/axis-cgi/param.cgi?action=update", pieces, parameters(), *this, sender(), completion,
                         getter());
}

void TrackerDetection::doAcquireDynamicParameters(const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    ORIX_LOG(*this, LogDebug, " Start reading parameters from device");
    const std::string uri = "/axis-cgi/param.cgi?action=list&group=QVT";
    parameterRequest(uri, completion, [this, completion](const std::string& body) {
        handleDynamicParameters(body, completion);
    });
}

void TrackerDetection::handleDynamicParameters(const std::string& body,
                                               const Orix::Utility::DynamicParametersCompletionPtr& completion)
{
    if (!repositoryProperties()) {
        ORIX_LOG(*this, LogError, " Detector not found in repository.");
        completion->failed(sender(), Orix::GenericFailure);
        return;
    }
    Orix::GDRV::PropertySet properties = *repositoryProperties();
    Orix::Utility::ParamMap values;
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        std::string name = line.substr(0, eq);
        if (eq == std::string::npos || (name.rfind("root.QVT.", 0) != 0 && name.rfind("QVT.", 0) != 0)) {
            ORIX_LOG(*this, LogError, " Cannot parse device response: '" << line << "'");
            continue;
        }
        name = name.substr(name.find("QVT.") + 4);
        const std::string text = line.substr(eq + 1);
        const auto entry = std::find_if(trackerParameters().begin(), trackerParameters().end(),
                                        [&name](const TrackerParameter& p) { return name == p.camera; });
        if (entry == trackerParameters().end()) {
            ORIX_LOG(*this, LogError, " Parameter '" << name << "' is not supported");
            continue;
        }
        auto property = properties.find(entry->property);
        if (property == properties.end())
            continue;
        if (auto* flag = std::get_if<Orix::GDRV::PropertyBool>(&property->second)) {
            flag->value = text == "yes";
            values[entry->property] = flag->value;
        } else if (auto* range = std::get_if<Orix::GDRV::PropertyIntRange>(&property->second)) {
            try {
                range->value = std::stoi(text);
                values[entry->property] = range->value;
            } catch (const std::exception&) {
                ORIX_LOG(*this, LogError, " Cannot parse device response: '" << line << "'");
            }
        } else {
            ORIX_LOG(*this, LogError, " Unexpected property type '" << typeName(property->second)
                                                                    << "' for property '" << entry->property << "'");
        }
    }
    parameters().updateParams(values);
    reportProperties(completion, sender(), properties, *this);
    ORIX_LOG(*this, LogDebug, "\nReading parameters from repository completed");
}

} // namespace Vapixcam

#include "DetectorRequests.h"

#include <boost/property_tree/ptree.hpp>
#include <netkit/http/ResponseCheck.h>
#include <netkit/params/JsonSettingsReport.h>
#include <netkit/params/PropertiesJson.h>
#include <orix/ErrorCodes.h>

namespace Vapixcam {

using Orix::LogError;

void applyParameterUpdate(const std::string& base, const std::vector<UpdatePiece>& pieces,
                          Orix::Utility::ParametersContainer& parameters, const Orix::LoggerOwner& logger,
                          const Orix::IContract* sender, const Orix::Utility::AsyncActionCompletionPtr& completion,
                          const DetectorHttpGet& get)
{
    Orix::Utility::ParamMap pushed;
    if (!parameters.popParameters(pushed)) {
        completion->finish(sender, Orix::Ok);
        return;
    }
    parameters.updateParams(pushed);
    const ParameterUpdate update = buildParameterUpdate(base, pieces, pushed);
    if (!update.typeError.empty()) {
        ORIX_LOG(logger, LogError, " " << update.typeError);
        completion->finish(sender, Orix::WrongValueType);
        return;
    }
    if (!update.appended) {
        completion->finish(sender, Orix::Ok);
        return;
    }
    get(update.request, [logger, sender, completion, uri = update.request](const boost::system::error_code& error,
                                                                          const std::string& body,
                                                                          const Orix::http::HttpResponse& response) {
        // param.cgi acknowledges with "OK"; only the transport and the
        // status decide.
        const std::uint32_t code = Orix::Utility::checkHttpAnswer(logger, error, body.empty() ? " " : body,
                                                                  response, uri);
        completion->finish(sender, code);
    });
}

void acquireDefinitions(const std::string& uri, std::vector<std::vector<std::string>> groupPaths,
                        DefinitionNames names, Orix::Utility::ParametersContainer& parameters,
                        std::shared_ptr<const Orix::GDRV::PropertySet> repository, const Orix::LoggerOwner& logger,
                        const Orix::IContract* sender,
                        const Orix::Utility::DynamicParametersCompletionPtr& completion, const DetectorHttpGet& get)
{
    ORIX_LOG(logger, Orix::LogDebug, " Start reading parameters from device");
    get(uri, [uri, paths = std::move(groupPaths), names = std::move(names), &parameters, repository, logger, sender,
              completion](const boost::system::error_code& error, const std::string& body,
                          const Orix::http::HttpResponse& response) {
        if (const std::uint32_t code = Orix::Utility::checkHttpAnswer(logger, error, body, response, uri)) {
            completion->failed(sender, code);
            return;
        }
        DetectorDefinitions read;
        std::string reason;
        bool found = false;
        for (const auto& path : paths)
            if (!found)
                found = readDetectorDefinitions(body, path, names, read, reason);
        if (!found) {
            ORIX_LOG(logger, LogError, " Cannot parse device response: " << reason);
            completion->failed(sender, Orix::ProtocolError);
            return;
        }
        for (const auto& name : read.unknownType)
            ORIX_LOG(logger, LogError, " Unknown type is defined in response for of property '" << name << "'");
        parameters.updateParams(read.values);
        reportProperties(completion, sender, withCurrentValues(repository.get(), read.properties), logger);
        ORIX_LOG(logger, Orix::LogDebug, "\nReading parameters from device completed");
    });
}

void reportProperties(const Orix::Utility::DynamicParametersCompletionPtr& completion, const Orix::IContract* sender,
                      const Orix::GDRV::PropertySet& properties, const Orix::LoggerOwner& logger)
{
    Orix::Utility::reportJsonSettings(completion, sender,
                                      Orix::Utility::propertiesToJson(properties, boost::property_tree::ptree()),
                                      logger);
}

Orix::GDRV::PropertySet withCurrentValues(const Orix::GDRV::PropertySet* repository,
                                          const Orix::GDRV::PropertySet& fromCamera)
{
    Orix::GDRV::PropertySet out = repository ? *repository : Orix::GDRV::PropertySet();
    for (const auto& [name, property] : fromCamera) {
        // The camera's definition (its range, its entries) wins over the
        // repository's unless the two disagree on the kind of property.
        auto found = out.find(name);
        if (found == out.end())
            out.emplace(name, property);
        else if (found->second.index() == property.index())
            found->second = property;
    }
    return out;
}

} // namespace Vapixcam

#pragma once
// Steps the concrete detectors share: writing the host's settings as one
// parameter update, and reporting a property set as a settings document.
#include "DetectorDefinitions.h"
#include "ParameterUpdate.h"

#include <functional>
#include <memory>
#include <netkit/http/HttpClient.h>
#include <netkit/params/HandlerWrappers.h>
#include <netkit/params/ParametersContainer.h>
#include <netkit/util/Logging.h>
#include <orix/IContract.h>
#include <orix/gdrv/Properties.h>
#include <string>
#include <vector>

namespace Vapixcam {

using DetectorHttpGet = std::function<void(const std::string& uri, Orix::http::HttpCompletion completion)>;

// Takes the values the host pushed, stores them, and sends base plus the
// pieces of those present with get. The action completes at once with 0 when
// none is present, with 4 for a value of the wrong type, else with the
// request's host code.
void applyParameterUpdate(const std::string& base, const std::vector<UpdatePiece>& pieces,
                          Orix::Utility::ParametersContainer& parameters, const Orix::LoggerOwner& logger,
                          const Orix::IContract* sender, const Orix::Utility::AsyncActionCompletionPtr& completion,
                          const DetectorHttpGet& get);

// Reads the detector's settings from the camera's parameter definitions
// (uri, a listdefinitions request): the first group path that the answer
// holds gives the named parameters, whose values the container keeps and
// which are reported over the repository set. get's completion must run only
// while the detector lives (it refers to parameters).
void acquireDefinitions(const std::string& uri, std::vector<std::vector<std::string>> groupPaths,
                        DefinitionNames names, Orix::Utility::ParametersContainer& parameters,
                        std::shared_ptr<const Orix::GDRV::PropertySet> repository, const Orix::LoggerOwner& logger,
                        const Orix::IContract* sender,
                        const Orix::Utility::DynamicParametersCompletionPtr& completion, const DetectorHttpGet& get);

// Answers with {"schemaVersion":1,"settings":[...]} over the properties.
void reportProperties(const Orix::Utility::DynamicParametersCompletionPtr& completion, const Orix::IContract* sender,
                      const Orix::GDRV::PropertySet& properties, const Orix::LoggerOwner& logger);

// The repository set with the camera's properties put in: a camera property
// of the repository's kind replaces it, one the repository lacks is added.
Orix::GDRV::PropertySet withCurrentValues(const Orix::GDRV::PropertySet* repository,
                                          const Orix::GDRV::PropertySet& fromCamera);

} // namespace Vapixcam

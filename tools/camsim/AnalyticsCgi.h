#pragma once
// The configuration side of the camera's detectors, answered like the
// firmware and its applications do:
//   /axis-cgi/vaconfig.cgi                     VMD 3 configuration (XML), get and modify
//   /local/vmd/control.cgi                     VMD 4 (JSON): getConfiguration,
//                                              getConfigurationCapabilities, setConfiguration,
//                                              getSupportedVersions
//   /axis-cgi/temperature_alarm/get.cgi        temperature zones of a thermometric camera
//   /axis-cgi/shockdetection/getsensitivitylevel.cgi, setsensitivitylevel.cgi,
//                             getenabled.cgi, setenabled.cgi
// The settings live in the event engine's AnalyticsConfig, which decides
// the event instances they give.
#include "EventEngine.h"
#include "HttpMessage.h"

#include <string>
#include <vector>

namespace Camsim {

class ApplicationsCgi;
struct Model;
class Router;

class AnalyticsCgi {
public:
    AnalyticsCgi(EventEngine& engine, ApplicationsCgi& applications);

    // Registers the CGIs the camera has (temperature and shock only where
    // the model has them).
    void registerRoutes(Router& router, bool thermometry, bool shock);

    HttpResponse vaconfig(const HttpRequest& request);
    HttpResponse vmd(const HttpRequest& request);
    HttpResponse temperature(const HttpRequest& request);
    HttpResponse shock(const HttpRequest& request);

    // The VMD 4 answer to one JSON request body (method, apiVersion and
    // context echoed; errors as {"error":{"code":"2001","message":...}}).
    std::string vmdAnswer(const std::string& body);

private:
    EventEngine& engine_;
    ApplicationsCgi& applications_;
};

// The VMD 3 configuration a fresh installation has.
std::string defaultVmd3Config();

// Why a VMD 4 setConfiguration "params" object cannot be stored, or empty.
std::string vmd4ConfigurationProblem(const Json::Value& params);

// Adds the parameter groups of the installed applications that have a file
// data/common/app-<name>.params (Sound Intelligence, QVT).
bool addApplicationParams(Model& model, const std::string& dataDir, const std::vector<std::string>& applications,
                          std::string& error);

} // namespace Camsim

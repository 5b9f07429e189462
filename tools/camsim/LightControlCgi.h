#pragma once
// /axis-cgi/lightcontrol.cgi (API "light-control" 1.1) of cameras with
// built-in illumination: getLightInformation, enable/disable, activate/
// deactivate, day/night synchronisation, manual and automatic intensity.
// A model has lights when Properties.LightControl.LightControlAvailable is
// "yes": one IR light "led0". The light state lives in memory for as long
// as the simulator runs (a restart keeps it, as the camera's saved settings
// do). Models without lights do not register the route and answer 404.
#include "Camera.h"
#include "HttpMessage.h"
#include "JsonApi.h"

#include <mutex>
#include <string>
#include <vector>

namespace Camsim {

struct LightState {
    std::string id = "led0";
    std::string type = "IR";
    bool enabled = true;
    bool lightState = false;
    bool synchronizeDayNightMode = true;
    bool automaticIntensityMode = true;
    long long manualIntensity = 100; // 0 .. kMaxIntensity
    unsigned nrOfLEDs = 1;
};

class LightControlCgi {
public:
    static constexpr const char* kApiVersion = "1.1";
    static constexpr long long kMaxIntensity = 100;

    explicit LightControlCgi(Camera& camera);

    // Whether the model has lights (and so this CGI).
    static bool available(const Model& model);
    // The lights a model starts with.
    static std::vector<LightState> initialLights(const Model& model);

    HttpResponse handle(const HttpRequest& request);

    // The answer to a request body; changes lights only when it succeeds.
    static std::string answer(std::vector<LightState>& lights, const std::string& body);

    std::vector<LightState> lights() const;

private:
    mutable std::mutex mutex_;
    std::vector<LightState> lights_;
};

} // namespace Camsim

#pragma once
// The simulated camera's state: the model's parameter tree and whatever the
// CGIs change at run time. Handlers run on several I/O threads, so every
// access goes through the lock.
#include "Model.h"

#include <mutex>
#include <string>

namespace Camsim {

// State of a motorised lens driven through opticssetup.cgi.
struct OpticsState {
    double zoom = 0.0;  // 0 (wide) .. 1 (tele)
    double focus = 0.5; // 0 .. 1
    unsigned autofocusRuns = 0;
};

class Camera {
public:
    explicit Camera(Model model);

    // Runs fn(Model&) under the lock and returns its result.
    template <class F>
    auto withModel(F&& fn)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return fn(model_);
    }
    template <class F>
    auto withOptics(F&& fn)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return fn(optics_);
    }

    // Fixed at start: the realm every challenge carries ("AXIS_" + MAC
    // without colons, upper case) and whether the model has a motorised lens.
    const std::string& realm() const { return realm_; }
    const std::string& modelName() const { return modelName_; }
    bool hasOptics() const { return hasOptics_; }
    WebServerStyle webServer() const { return webServer_; }

private:
    std::mutex mutex_;
    Model model_;
    OpticsState optics_;
    std::string realm_;
    std::string modelName_;
    bool hasOptics_;
    WebServerStyle webServer_;
};

// "AC:CC:12:34:56:78" -> "AXIS_ACCC12345678".
std::string realmForMac(const std::string& mac);

} // namespace Camsim

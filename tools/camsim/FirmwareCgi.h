#pragma once
// /axis-cgi/firmwaremanagement.cgi (API "fwmgr") on models that state
// Properties.FirmwareManagement.Version: getSupportedVersions, status and
// reboot. A reboot is answered first; a moment later the camera "powers
// off" (every listener closed, every open connection dropped, new ones
// refused) and after the down time comes back on the same ports. The
// parameter tree survives, like a camera's saved settings, and what only a
// restart applies is applied then (see applyBootEffects).
#include "Camera.h"
#include "HttpMessage.h"
#include "JsonApi.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Camsim {

class FirmwareCgi {
public:
    // The simulator's side of a restart.
    struct Power {
        std::function<void()> off; // close every listener and connection
        std::function<void()> on;  // listen again on the same ports
    };

    // Time between the reboot answer and the power-off, so that the answer
    // reaches the client before its connection is dropped.
    static constexpr std::chrono::milliseconds kAnswerGrace{250};

    FirmwareCgi(Camera& camera, boost::asio::io_context& io, Power power,
                std::chrono::milliseconds downTime);

    static bool available(const Model& model);

    HttpResponse handle(const HttpRequest& request);

    // What a restart applies to the tree: the sensor capture mode chosen
    // before it now decides the resolutions the camera offers. A mode whose
    // display value names a size ("1920x1080 (WDR)", "2144x2144 (WDR)")
    // limits the resolutions of `factory` (the model as it was loaded) in
    // Properties.Image.Resolution and in every Image.I*.Appearance.Resolution
    // fed by that source to those that fit in it; a current resolution that
    // no longer fits falls back to the largest that does.
    static void applyBootEffects(Model& model, const Model& factory);

    unsigned reboots() const { return reboots_; }
    bool rebooting() const { return rebooting_; }

private:
    void scheduleReboot();

    Camera& camera_;
    boost::asio::io_context& io_;
    Power power_;
    std::chrono::milliseconds downTime_;
    const Model factory_;
    std::atomic<bool> rebooting_{false};
    std::atomic<unsigned> reboots_{0};
};

} // namespace Camsim

#pragma once
// The PTZ channel of one video channel: pan, tilt, zoom, focus and iris,
// absolute moves and position, point-and-click, presets by number and by
// name, guard and recorded tours and the camera's auxiliary operations, each
// turned into one ptz.cgi, ptzconfig.cgi, opticssetup.cgi or param.cgi
// request.
//
// Every host call blocks its own thread until the camera answered (at most
// the request time-out) on a private io_context, so two host threads may
// command one channel at once. A call on the device's I/O thread is refused:
// it would stall every stream of the device. No call throws.
//
// Camera numbers: continuous and relative pan/tilt use the view number of
// the device's fisheye view (1..12) when one is set, every other request the
// channel index + 1.
#include "DeviceServices.h"
#include "GuardTourBuilder.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <netkit/util/Logging.h>
#include <optional>
#include <orix/gdrv/Telemetry.h>
#include <string>
#include <templates/TelemetryBase.h>

namespace Vapixcam {

class TelemetryChannel : public Orix::Utility::TelemetryBase,
                         public Orix::Utility::TelemetryBase2,
                         public Orix::GDRV::IAbsoluteTelemetry,
                         public Orix::GDRV::ITelemetryPointClick,
                         public Orix::LoggerOwner {
public:
    static constexpr std::chrono::milliseconds kRequestTimeout{10000};

    TelemetryChannel(std::uint32_t channel, DeviceServices& device);
    ~TelemetryChannel() override;

    // IContract
    Orix::IContract* QueryContract(const char* name) override;
    const Orix::IContract* QueryConstContract(const char* name) const override;
    void Destroy() override;
    std::uint32_t GetChannel() const override { return channel_; }

    // ITelemetry
    std::uint32_t MovePanTilt(std::int32_t panSpeed, std::int32_t tiltSpeed) override;
    std::uint32_t StepPanTilt(std::int32_t panStep, std::int32_t, std::int32_t tiltStep) override;
    std::uint32_t MoveZoom(std::int32_t speed) override;
    std::uint32_t StepZoom(std::int32_t step) override;
    std::uint32_t MoveFocus(std::int32_t speed) override;
    std::uint32_t StepFocus(std::int32_t step) override;
    std::uint32_t AutoFocus() override;
    std::uint32_t MoveIris(std::int32_t speed) override;
    std::uint32_t StepIris(std::int32_t step) override;
    std::uint32_t GoPreset(std::uint32_t preset, std::uint32_t speed) override;
    std::uint32_t StartTour(std::uint32_t tour) override;
    std::uint32_t StopTour(std::uint32_t tour) override;

    // ITelemetryAdjuster
    std::uint32_t SetPreset(std::uint32_t preset) override;
    std::uint32_t ClearPreset(std::uint32_t preset) override;
    std::uint32_t BeginTour(std::uint32_t tour) override;
    std::uint32_t AddTourPoint(std::uint32_t point, std::uint32_t preset, std::uint32_t speed,
                               std::uint32_t wait) override;
    std::uint32_t EndTour() override;

    // ITelemetry2
    std::uint32_t SetPreset(const char* name) override;
    std::uint32_t ClearPreset(const char* name) override;
    std::uint32_t GetPresets(std::vector<Orix::GDRV::PresetInfo>& presets) override;
    std::uint32_t GoPreset(const char* name) override;
    std::uint32_t GetAuxiliaryOperations(std::vector<std::string>& operations) override;
    std::uint32_t PerformAuxiliaryOperation(const char* name) override;

    // IAbsoluteTelemetry
    std::uint32_t MoveAbsolute(std::int32_t pan, std::int32_t, std::int32_t tilt, std::int32_t,
                               std::int32_t zoom) override;
    std::uint32_t GetPositionParams(std::int32_t& pan, std::int32_t& tilt, std::int32_t& zoom,
                                    std::uint32_t& mask) override;

    // ITelemetryPointClick
    std::uint32_t AreaZoom(double x, double y, double width, double height) override;
    std::uint32_t CenterOnPoint(double x, double y) override;

    // A command: the result of the camera's answer (see commandResult).
    virtual std::uint32_t sendRequest(const std::string& path);
    // A query: 0 and the body, or the failure's code.
    virtual std::uint32_t sendRequestAndGetResponse(const std::string& path, std::string& body);
    // A query whose failures are only logged: the body, or empty text.
    // emptyAnswer tells a successful status without a body from a failure.
    std::string getResponse(const std::string& path, std::uint32_t* result = nullptr,
                            bool* emptyAnswer = nullptr);

    bool isSpeedControlSupported();
    std::uint32_t getHomePreset();
    // The camera's server preset number of a host preset; nothing past 32 bits.
    std::optional<std::uint32_t> serverPresetNumber(std::uint32_t preset);

    // Waits for the tour being stored in the camera (tests, command line).
    std::vector<TourReply> waitForTourStored() { return tourBuilder_.wait(); }
    void setRequestTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

protected:
    DeviceServices& device_;
    std::chrono::milliseconds timeout_ = kRequestTimeout;

private:
    std::string cameraArgument() const;
    // The pan/tilt camera argument; nothing for a view the table lacks.
    std::optional<std::string> panTiltCameraArgument();
    std::uint32_t command(const std::string& path);
    std::uint32_t lensStep(const char* argument, std::int32_t step);
    // One GET on a private io_context on the calling thread.
    std::uint32_t exchange(const std::string& path, bool wantBody, std::string& body,
                           unsigned* status = nullptr);
    // A list query: an empty 2xx answer is an empty list (0).
    std::uint32_t listQuery(const std::string& path, std::string& body);
    TourReply processTour(const std::string& request);
    // Runs fn, the host boundary: an escaping exception becomes 1.
    template <class Fn>
    std::uint32_t guarded(const char* what, Fn fn);

    std::atomic<bool> speedKnown_{false};
    std::atomic<bool> speedSupported_{false};
    std::atomic<bool> homeKnown_{false};
    std::atomic<std::uint32_t> homePreset_{0};

    // Limits of tour editing.
    const std::uint32_t tourPointPresetLimit_ = 20;
    const std::uint32_t tourNumberLimit_ = 100;
    const std::uint32_t tourPointSpeedLimit_ = 100;
    const std::uint32_t tourPointWaitLimit_ = 100;

    std::mutex presetMutex_;
    std::uint32_t runningGuardTour_ = 0;   // host tour, 0 = none
    std::int32_t runningRecordedTour_ = -1; // host tour, -1 = none
    GuardTourBuilder tourBuilder_;
};

} // namespace Vapixcam

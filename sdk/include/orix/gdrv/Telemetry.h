#pragma once
// The telemetry (pan, tilt, zoom, focus, iris) interfaces of a device
// channel. CreateTelemetryChannel returns the channel as IDeviceChannel; the
// host queries the interfaces below from it. Every operation blocks until the
// camera answered and returns a host result code (0 = success, 8 = the
// channel does not offer the operation).
#include <cstdint>
#include <orix/IContract.h>
#include <orix/gdrv/Channels.h>
#include <string>
#include <vector>

namespace Orix::GDRV {

// A preset the camera stores. id is the camera's preset number as the text
// the camera gives it; the position is present only when the camera tells it.
struct PresetInfo {
    std::string id;
    std::string name;
    bool hasPosition = false;
    double pan = 0.0;
    double tilt = 0.0;
    double zoom = 0.0;
};

// Result codes of telemetry operations besides those of orix/ErrorCodes.h.
// A telemetry operation answers 10 for a preset the camera does not know (not
// NoConnection, which channels with a handler use), and 0x100 when the device
// has no connection yet.
enum TelemetryResult : std::uint32_t {
    DeviceError = 2,      // the camera answered with an error or an unexpected status
    NoSuchPreset = 10,
    ValueMissing = 0x900, // the camera's answer lacks a value it must carry
};

// Bits of the validity mask of IAbsoluteTelemetry::GetPositionParams.
enum PositionMask : std::uint32_t {
    PositionZoom = 1,
    PositionTilt = 2,
    PositionPan = 4,
};

// Preset and tour editing by number. Host presets count from 0, tours and
// tour points from 1.
class ITelemetryAdjuster : public IContract {
public:
    // slot 3
    virtual std::uint32_t SetPreset(std::uint32_t preset) = 0;
    // slot 4
    virtual std::uint32_t ClearPreset(std::uint32_t preset) = 0;
    // slot 5: starts describing tour `tour`; the points follow.
    virtual std::uint32_t BeginTour(std::uint32_t tour) = 0;
    // slot 6: point `point` of the tour being described: go to `preset` at
    // `speed`, stay `wait` seconds.
    virtual std::uint32_t AddTourPoint(std::uint32_t point, std::uint32_t preset,
                                       std::uint32_t speed, std::uint32_t wait) = 0;
    // slot 7: stores the described tour in the camera (in the background).
    virtual std::uint32_t EndTour() = 0;
    // slots 8, 9
    virtual std::uint32_t Reserved8() = 0;
    virtual std::uint32_t Reserved9() = 0;
};

class ITelemetry : public IDeviceChannel, public ITelemetryAdjuster {
public:
    // slot 5: continuous move, speeds -100..100 (0,0 stops).
    virtual std::uint32_t MovePanTilt(std::int32_t panSpeed, std::int32_t tiltSpeed) = 0;
    // slot 6: relative move; the second argument is not used.
    virtual std::uint32_t StepPanTilt(std::int32_t panStep, std::int32_t reserved,
                                      std::int32_t tiltStep) = 0;
    // slot 7
    virtual std::uint32_t Reserved7() = 0;
    // slot 8
    virtual std::uint32_t MoveZoom(std::int32_t speed) = 0;
    // slot 9
    virtual std::uint32_t StepZoom(std::int32_t step) = 0;
    // slot 10
    virtual std::uint32_t Reserved10() = 0;
    // slot 11
    virtual std::uint32_t MoveFocus(std::int32_t speed) = 0;
    // slot 12
    virtual std::uint32_t StepFocus(std::int32_t step) = 0;
    // slot 13
    virtual std::uint32_t Reserved13() = 0;
    // slot 14
    virtual std::uint32_t AutoFocus() = 0;
    // slot 15
    virtual std::uint32_t MoveIris(std::int32_t speed) = 0;
    // slot 16
    virtual std::uint32_t StepIris(std::int32_t step) = 0;
    // slots 17, 18
    virtual std::uint32_t Reserved17() = 0;
    virtual std::uint32_t Reserved18() = 0;
    // slot 19: host preset (from 0), speed 1..100.
    virtual std::uint32_t GoPreset(std::uint32_t preset, std::uint32_t speed) = 0;
    // slot 20: tour from 1.
    virtual std::uint32_t StartTour(std::uint32_t tour) = 0;
    // slot 21
    virtual std::uint32_t StopTour(std::uint32_t tour) = 0;
    // slots 22, 23
    virtual std::uint32_t Reserved22() = 0;
    virtual std::uint32_t Reserved23() = 0;
};

// Presets by name and the camera's auxiliary operations.
class ITelemetry2 : public IContract {
public:
    // slot 3
    virtual std::uint32_t SetPreset(const char* name) = 0;
    // slot 4
    virtual std::uint32_t ClearPreset(const char* name) = 0;
    // slot 5: the presets stored in the camera, in the camera's order.
    virtual std::uint32_t GetPresets(std::vector<PresetInfo>& presets) = 0;
    // slot 6
    virtual std::uint32_t GoPreset(const char* name) = 0;
    // slot 7: the operation names the camera lists (wiper, light, ...).
    virtual std::uint32_t GetAuxiliaryOperations(std::vector<std::string>& operations) = 0;
    // slot 8
    virtual std::uint32_t PerformAuxiliaryOperation(const char* name) = 0;
    // slot 9
    virtual void Destroy() = 0;
    // slot 10
    virtual std::uint32_t GetChannel() const = 0;
};

class IAbsoluteTelemetry : public IContract {
public:
    // slot 3: pan and tilt in degrees, zoom 1..9999; the speeds are not used.
    virtual std::uint32_t MoveAbsolute(std::int32_t pan, std::int32_t panSpeed, std::int32_t tilt,
                                       std::int32_t tiltSpeed, std::int32_t zoom) = 0;
    // slot 4: the current position, truncated to whole units; mask holds a
    // PositionMask bit for each value the camera reported.
    virtual std::uint32_t GetPositionParams(std::int32_t& pan, std::int32_t& tilt,
                                            std::int32_t& zoom, std::uint32_t& mask) = 0;
};

// Picture coordinates are fractions 0..1 with the origin top left.
class ITelemetryPointClick : public IContract {
public:
    // slot 3
    virtual std::uint32_t AreaZoom(double x, double y, double width, double height) = 0;
    // slot 4
    virtual std::uint32_t CenterOnPoint(double x, double y) = 0;
};

} // namespace Orix::GDRV

#include "TelemetryChannel.h"

#include "PtzAnswers.h"
#include "VideoStreamPolicy.h"

#include <boost/asio/io_context.hpp>
#include <boost/system/system_error.hpp>
#include <cmath>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Contract.h>
#include <netkit/util/ErrorTranslation.h>
#include <orix/ErrorCodes.h>
#include <sstream>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;
using Orix::LogWarning;

namespace {

const std::string kPtzCgi = "/axis-cgi/com/ptz.cgi?";
const std::string kPtzConfigCgi = "/axis-cgi/com/ptzconfig.cgi?";
const std::string kOpticsCgi = "/axis-cgi/opticssetup.cgi?";
const std::string kParamUpdate = "/axis-cgi/admin/param.cgi?action=update";

// The picture size areazoom and center are given in.
constexpr double kImageWidth = 640;
constexpr double kImageHeight = 480;

std::string number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

long long truncated(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 1e15)
        throw std::invalid_argument("coordinate " + number(value) + " is out of range");
    return static_cast<long long>(std::trunc(value));
}

std::string text(const char* name)
{
    return name ? std::string(name) : std::string();
}

} // namespace

TelemetryChannel::TelemetryChannel(std::uint32_t channel, DeviceServices& device)
    : TelemetryBase(channel),
      TelemetryBase2(channel),
      LoggerOwner(device.logger()),
      device_(device),
      tourBuilder_([this](const std::string& request) { return processTour(request); },
                   Orix::LoggerOwner(device.logger(), "tc " + std::to_string(channel)))
{
    setLogPrefix("tc %1%", std::to_string(channel));
}

TelemetryChannel::~TelemetryChannel() = default;

Orix::IContract* TelemetryChannel::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(TelemetryChannel::QueryConstContract(name));
}

const Orix::IContract* TelemetryChannel::QueryConstContract(const char* name) const
{
    using namespace Orix::GDRV;
    if (const Orix::IContract* own = TelemetryBase::QueryConstContract(name))
        return own;
    if (const Orix::IContract* second = TelemetryBase2::QueryConstContract(name))
        return second;
    return Orix::Utility::queryContract<IAbsoluteTelemetry, ITelemetryPointClick>(this, name);
}

void TelemetryChannel::Destroy()
{
    delete this;
}

template <class Fn>
std::uint32_t TelemetryChannel::guarded(const char* what, Fn fn)
{
    try {
        return fn();
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " std::exception - " << what << ": " << e.what());
    } catch (...) {
        ORIX_LOG(*this, LogError, " unknown exception - " << what);
    }
    return Orix::GenericFailure;
}

std::string TelemetryChannel::cameraArgument() const
{
    return "camera=" + std::to_string(channel_ + 1);
}

std::optional<std::string> TelemetryChannel::panTiltCameraArgument()
{
    const std::string view = device_.dewarpMode();
    const auto camera = cameraNumber(channel_, view);
    if (!camera) {
        ORIX_LOG(*this, LogError, " The view '" << view << "' has no camera number");
        return std::nullopt;
    }
    return "camera=" + std::to_string(*camera);
}

std::uint32_t TelemetryChannel::command(const std::string& path)
{
    return guarded("command", [&] { return sendRequest(path); });
}

// --- request operations ---

std::uint32_t TelemetryChannel::sendRequest(const std::string& path)
{
    std::string body;
    return exchange(path, false, body);
}

std::uint32_t TelemetryChannel::sendRequestAndGetResponse(const std::string& path, std::string& body)
{
    return exchange(path, true, body);
}

std::uint32_t TelemetryChannel::exchange(const std::string& path, bool wantBody, std::string& body,
                                        unsigned* status)
{
    if (device_.onIoThread()) {
        ORIX_LOG(*this, LogError, " PTZ request refused on the device's I/O thread: " << path);
        return Orix::GenericFailure;
    }
    const auto info = device_.connectionInfo();
    if (!info)
        return Orix::BadAddress;
    try {
        boost::asio::io_context io;
        std::uint32_t result = Orix::Ok;
        Orix::http::asyncGetEx(info, path, io, timeout_,
                               [&](const boost::system::error_code& error, const std::string& answer,
                                   const Orix::http::HttpResponse& response) {
                                   if (status != nullptr)
                                       *status = response.status;
                                   result = wantBody ? queryResult(error, answer, response, path, *this, body)
                                                     : commandResult(error, answer, response, path, *this);
                               });
        io.run();
        return result;
    } catch (const boost::system::system_error& e) {
        ORIX_LOG(*this, LogError, " PTZ system error with url \"" << path << "\", code:" << e.what());
        return Orix::Utility::translateSystemError(e.code());
    } catch (const std::exception& e) {
        if (wantBody)
            ORIX_LOG(*this, LogError, " std::exception: " << e.what());
        else
            ORIX_LOG(*this, LogError, " PTZ error with url \"" << path << "\", code:" << e.what());
        return Orix::GenericFailure;
    }
}

std::string TelemetryChannel::getResponse(const std::string& path, std::uint32_t* result,
                                          bool* emptyAnswer)
{
    std::string body;
    unsigned status = 0;
    const std::uint32_t code = exchange(path, true, body, &status);
    if (result != nullptr)
        *result = code;
    if (emptyAnswer != nullptr)
        *emptyAnswer = code != Orix::Ok && ((status >= 200 && status < 300) || status == 302);
    return code == Orix::Ok ? body : std::string();
}

std::uint32_t TelemetryChannel::listQuery(const std::string& path, std::string& body)
{
    std::uint32_t result = Orix::Ok;
    bool empty = false;
    body = getResponse(path, &result, &empty);
    return empty ? Orix::Ok : result;
}

bool TelemetryChannel::isSpeedControlSupported()
{
    if (speedKnown_)
        return speedSupported_;
    const auto info = device_.connectionInfo();
    if (!info) {
        ORIX_LOG(*this, LogError, " Bad connection info. Cannot get PTZ speed control info");
        return false;
    }
    std::string body;
    Orix::http::syncHttpGet(info, "/axis-cgi/com/ptz.cgi?" + cameraArgument() + "&query=speed",
                            getLogger().get(), body, {}, false, timeout_);
    const bool supported = body.find("speed control: unsupported") == std::string::npos;
    speedSupported_ = supported;
    speedKnown_ = true;
    return supported;
}

std::uint32_t TelemetryChannel::getHomePreset()
{
    if (homeKnown_)
        return homePreset_;
    const auto info = device_.connectionInfo();
    if (!info) {
        ORIX_LOG(*this, LogError, " Bad connection info. Cannot get home preset position");
        return 0;
    }
    try {
        std::string body;
        Orix::http::syncHttpGet(info, kPtzCgi + cameraArgument() + "&query=presetposcam",
                                getLogger().get(), body, {}, false, timeout_);
        const std::uint32_t home = findHomePreset(body);
        if (home == 0)
            ORIX_LOG(*this, LogError, " Cannot get home preset position");
        homePreset_ = home;
        homeKnown_ = true;
        return home;
    } catch (const std::exception& e) {
        ORIX_LOG(*this, LogError, " Cannot get home preset position. Error: " << e.what());
        return 0;
    }
}

std::optional<std::uint32_t> TelemetryChannel::serverPresetNumber(std::uint32_t preset)
{
    std::uint64_t n = std::uint64_t(preset) + 1;
    if (n >= getHomePreset())
        ++n;
    if (n > 0xffffffffu)
        return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

// --- movement and lens ---

std::uint32_t TelemetryChannel::MovePanTilt(std::int32_t panSpeed, std::int32_t tiltSpeed)
{
    return guarded("MovePanTilt", [&]() -> std::uint32_t {
        const auto camera = panTiltCameraArgument();
        if (!camera)
            return Orix::InvalidArgument;
        return sendRequest(kPtzCgi + *camera + "&continuouspantiltmove=" + std::to_string(panSpeed) +
                           "," + std::to_string(tiltSpeed));
    });
}

std::uint32_t TelemetryChannel::StepPanTilt(std::int32_t panStep, std::int32_t, std::int32_t tiltStep)
{
    return guarded("StepPanTilt", [&]() -> std::uint32_t {
        const auto camera = panTiltCameraArgument();
        if (!camera)
            return Orix::InvalidArgument;
        return sendRequest(kPtzCgi + *camera + "&rpan=" + std::to_string(panStep) +
                           "&rtilt=" + std::to_string(tiltStep));
    });
}

std::uint32_t TelemetryChannel::MoveZoom(std::int32_t speed)
{
    return command(kPtzCgi + cameraArgument() + "&continuouszoommove=" + std::to_string(speed));
}

std::uint32_t TelemetryChannel::StepZoom(std::int32_t step)
{
    return lensStep("rzoom", step);
}

// A motorised lens moves by its own big step: the step's size is not sent.
std::uint32_t TelemetryChannel::lensStep(const char* argument, std::int32_t step)
{
    if (device_.topology().opticsSetup)
        return command(kOpticsCgi + argument + (step < 0 ? "=-bigstep" : "=+bigstep") +
                       "&source=" + std::to_string(channel_ + 1));
    return command(kPtzCgi + cameraArgument() + "&" + argument + "=" + std::to_string(step));
}

std::uint32_t TelemetryChannel::MoveFocus(std::int32_t speed)
{
    return command(kPtzCgi + cameraArgument() + "&continuousfocusmove=" + std::to_string(speed));
}

std::uint32_t TelemetryChannel::StepFocus(std::int32_t step)
{
    return lensStep("rfocus", step);
}

std::uint32_t TelemetryChannel::AutoFocus()
{
    if (!device_.topology().opticsSetup)
        return Orix::NotSupported;
    return command(kOpticsCgi + "autofocus=perform&source=" + std::to_string(channel_ + 1));
}

std::uint32_t TelemetryChannel::MoveIris(std::int32_t speed)
{
    return command(kPtzCgi + cameraArgument() + "&continuousirismove=" + std::to_string(speed));
}

std::uint32_t TelemetryChannel::StepIris(std::int32_t step)
{
    return command(kPtzCgi + cameraArgument() + "&riris=" + std::to_string(step));
}

std::uint32_t TelemetryChannel::MoveAbsolute(std::int32_t pan, std::int32_t, std::int32_t tilt,
                                             std::int32_t, std::int32_t zoom)
{
    return command(kPtzCgi + cameraArgument() + "&pan=" + std::to_string(pan) +
                   "&tilt=" + std::to_string(tilt) + "&zoom=" + std::to_string(zoom));
}

std::uint32_t TelemetryChannel::GetPositionParams(std::int32_t& pan, std::int32_t& tilt,
                                                  std::int32_t& zoom, std::uint32_t& mask)
{
    return guarded("GetPositionParams", [&]() -> std::uint32_t {
        mask = 0;
        std::string body;
        const std::uint32_t result = sendRequestAndGetResponse(kPtzCgi + "query=position", body);
        if (result != Orix::Ok)
            return result;
        PtzPosition position;
        const std::uint32_t parsed = parsePosition(body, position, *this);
        if (parsed != Orix::Ok)
            return parsed;
        pan = position.pan;
        tilt = position.tilt;
        zoom = position.zoom;
        mask = position.mask;
        return Orix::Ok;
    });
}

std::uint32_t TelemetryChannel::AreaZoom(double x, double y, double width, double height)
{
    return guarded("AreaZoom", [&] {
        const long long cx = truncated((width * 0.5 + x) * kImageWidth);
        const long long cy = truncated((height * 0.5 + y) * kImageHeight);
        const double larger = height > width ? height : width;
        if (!(larger > 0))
            throw std::invalid_argument("the area has no size");
        const long long z = truncated(100 / larger);
        return sendRequest(kPtzCgi + cameraArgument() + "&imagewidth=" + number(kImageWidth) +
                           "&imageheight=" + number(kImageHeight) + "&areazoom=" +
                           std::to_string(cx) + "," + std::to_string(cy) + "," + std::to_string(z));
    });
}

std::uint32_t TelemetryChannel::CenterOnPoint(double x, double y)
{
    return guarded("CenterOnPoint", [&] {
        return sendRequest(kPtzCgi + cameraArgument() + "&imagewidth=" + number(kImageWidth) +
                           "&imageheight=" + number(kImageHeight) + "&center=" +
                           std::to_string(truncated(x * kImageWidth)) + "," +
                           std::to_string(truncated(y * kImageHeight)));
    });
}

// --- presets ---

std::uint32_t TelemetryChannel::SetPreset(std::uint32_t preset)
{
    return guarded("SetPreset", [&]() -> std::uint32_t {
        ORIX_LOG(*this, LogDebug, " Set preset " << preset);
        const auto n = serverPresetNumber(preset);
        if (!n)
            return Orix::InvalidArgument;
        return sendRequest(kPtzConfigCgi + cameraArgument() + "&setserverpresetno=" + std::to_string(*n));
    });
}

std::uint32_t TelemetryChannel::ClearPreset(std::uint32_t preset)
{
    return guarded("ClearPreset", [&]() -> std::uint32_t {
        ORIX_LOG(*this, LogDebug, " Clear preset " << preset);
        const auto n = serverPresetNumber(preset);
        if (!n)
            return Orix::InvalidArgument;
        return sendRequest(kPtzConfigCgi + cameraArgument() + "&removeserverpresetno=" +
                           std::to_string(*n));
    });
}

std::uint32_t TelemetryChannel::GoPreset(std::uint32_t preset, std::uint32_t speed)
{
    return guarded("GoPreset", [&]() -> std::uint32_t {
        ORIX_LOG(*this, LogDebug, " Go to preset " << preset);
        const auto n = serverPresetNumber(preset);
        if (!n)
            return Orix::InvalidArgument;
        const std::string speedClause =
            isSpeedControlSupported() ? "&speed=" + std::to_string(speed) : std::string();
        const std::uint32_t result = sendRequest(kPtzCgi + "gotoserverpresetno=" + std::to_string(*n) +
                                                 "&" + cameraArgument() + speedClause);
        if (result != Orix::GDRV::NoSuchPreset)
            return result;
        ORIX_LOG(*this, LogDebug, " Go to device preset " << preset);
        return sendRequest(kPtzCgi + "gotodevicepreset=" + std::to_string(*n));
    });
}

std::uint32_t TelemetryChannel::SetPreset(const char* name)
{
    const std::string preset = text(name);
    ORIX_LOG(*this, LogDebug, " Set device preset '" << preset << "'");
    return command(kPtzConfigCgi + cameraArgument() + "&setserverpresetname=" + encodePresetName(preset));
}

std::uint32_t TelemetryChannel::ClearPreset(const char* name)
{
    const std::string preset = text(name);
    ORIX_LOG(*this, LogDebug, " Clear device preset '" << preset << "'");
    return command(kPtzConfigCgi + cameraArgument() + "&removeserverpresetname=" +
                   encodePresetName(preset));
}

std::uint32_t TelemetryChannel::GoPreset(const char* name)
{
    const std::string preset = text(name);
    ORIX_LOG(*this, LogDebug, " Go to device preset '" << preset << "'");
    return command(kPtzCgi + cameraArgument() + "&gotoserverpresetname=" + encodePresetName(preset));
}

std::uint32_t TelemetryChannel::GetPresets(std::vector<Orix::GDRV::PresetInfo>& presets)
{
    return guarded("GetPresets", [&]() -> std::uint32_t {
        presets.clear();
        std::string body;
        const std::uint32_t result = listQuery(kPtzCgi + cameraArgument() + "&query=presetposcamdata", body);
        if (result != Orix::Ok)
            return result;
        return parsePresets(body, presets, *this);
    });
}

std::uint32_t TelemetryChannel::GetAuxiliaryOperations(std::vector<std::string>& operations)
{
    return guarded("GetAuxiliaryOperations", [&]() -> std::uint32_t {
        operations.clear();
        std::string body;
        const std::uint32_t result = listQuery(kPtzCgi + cameraArgument() + "&query=auxiliary", body);
        if (result != Orix::Ok)
            return result;
        operations = parseAuxiliaryOperations(body);
        for (const auto& operation : operations)
            ORIX_LOG(*this, LogDebug, " Device operation '" << operation << "'");
        ORIX_LOG(*this, LogDebug, " Found " << operations.size() << " device operations");
        return Orix::Ok;
    });
}

std::uint32_t TelemetryChannel::PerformAuxiliaryOperation(const char* name)
{
    const std::string operation = text(name);
    ORIX_LOG(*this, LogDebug, " Perform auxiliary operation '" << operation << "'");
    return command(kPtzCgi + cameraArgument() + "&auxiliary=" + operation);
}

// --- tours ---

TourReply TelemetryChannel::processTour(const std::string& request)
{
    TourReply reply;
    const auto info = device_.connectionInfo();
    if (!info) {
        reply.result = Orix::BadAddress;
        return reply;
    }
    std::string body;
    const auto error = Orix::http::syncHttpGet(info, request, getLogger().get(), body, {}, false, timeout_);
    if (error) {
        ORIX_LOG(*this, LogError, " HTTP result error: " << error.value());
        reply.result = Orix::Utility::translateSystemError(error);
        return reply;
    }
    reply.answer = body;
    if (!isParamReplyOk(body)) {
        ORIX_LOG(*this, LogError, " Parameters error on processTour: " << body);
        reply.result = Orix::GDRV::DeviceError;
    }
    return reply;
}

std::uint32_t TelemetryChannel::StartTour(std::uint32_t tour)
{
    return guarded("StartTour", [&]() -> std::uint32_t {
        if (tour == 0 || tour >= tourNumberLimit_)
            return Orix::InvalidArgument;
        std::lock_guard<std::mutex> lock(presetMutex_);
        if (runningGuardTour_ != 0 || runningRecordedTour_ >= 0)
            return Orix::AlreadyInState;
        const std::string index = std::to_string(tour - 1);
        const TourReply reply = processTour(kParamUpdate + "&GuardTour.G" + index + ".Running=yes");
        if (reply.result == Orix::Ok) {
            runningGuardTour_ = tour;
            return Orix::Ok;
        }
        if (reply.answer.find("Error setting") == std::string::npos)
            return reply.result;
        ORIX_LOG(*this, LogWarning, " No guard tour " << tour << ", playing the recorded tour");
        const std::uint32_t played = sendRequest(
            "/axis-cgi/recordedtour/play.cgi?schemaversion=1&loop=1&recordedtourid=" + index);
        if (played == Orix::Ok)
            runningRecordedTour_ = static_cast<std::int32_t>(tour);
        return played;
    });
}

std::uint32_t TelemetryChannel::StopTour(std::uint32_t tour)
{
    return guarded("StopTour", [&]() -> std::uint32_t {
        std::lock_guard<std::mutex> lock(presetMutex_);
        std::uint32_t result = Orix::Ok;
        if (runningGuardTour_ != 0) {
            result = processTour(kParamUpdate + "&GuardTour.G" + std::to_string(runningGuardTour_ - 1) +
                                 ".Running=no")
                         .result;
        } else if (runningRecordedTour_ >= 0) {
            result = sendRequest(
                "/axis-cgi/recordedtour/stopplayback.cgi?schemaversion=1&recordedtourid=" +
                std::to_string(runningRecordedTour_ - 1));
        } else if (tour != 0 && tour < tourNumberLimit_) {
            // Started by another client or an earlier session: stop tour t
            // as the camera knows it, guard tour first.
            const std::string index = std::to_string(tour - 1);
            const TourReply reply = processTour(kParamUpdate + "&GuardTour.G" + index + ".Running=no");
            result = reply.result;
            if (result != Orix::Ok && reply.answer.find("Error setting") != std::string::npos)
                result = sendRequest(
                    "/axis-cgi/recordedtour/stopplayback.cgi?schemaversion=1&recordedtourid=" + index);
        } else {
            return Orix::InvalidArgument;
        }
        runningGuardTour_ = 0;
        runningRecordedTour_ = -1;
        return result;
    });
}

std::uint32_t TelemetryChannel::BeginTour(std::uint32_t tour)
{
    return guarded("BeginTour", [&]() -> std::uint32_t {
        if (tour == 0 || tour >= tourNumberLimit_)
            return Orix::InvalidArgument;
        std::lock_guard<std::mutex> lock(presetMutex_);
        return tourBuilder_.begin(tour) ? Orix::Ok : Orix::InProgress;
    });
}

std::uint32_t TelemetryChannel::AddTourPoint(std::uint32_t point, std::uint32_t preset,
                                             std::uint32_t speed, std::uint32_t wait)
{
    return guarded("AddTourPoint", [&]() -> std::uint32_t {
        if (point == 0 || preset >= tourPointPresetLimit_ || speed >= tourPointSpeedLimit_ ||
            std::uint64_t(wait) * 10 > tourPointWaitLimit_)
            return Orix::InvalidArgument;
        std::lock_guard<std::mutex> lock(presetMutex_);
        return tourBuilder_.addPoint(point, preset, speed, wait) ? Orix::Ok : Orix::NotStarted;
    });
}

std::uint32_t TelemetryChannel::EndTour()
{
    return guarded("EndTour", [&]() -> std::uint32_t {
        std::lock_guard<std::mutex> lock(presetMutex_);
        switch (tourBuilder_.end()) {
        case GuardTourBuilder::EndResult::started:
            return Orix::Ok;
        case GuardTourBuilder::EndResult::notOpen:
            return Orix::NotStarted;
        case GuardTourBuilder::EndResult::busy:
            return Orix::InProgress;
        }
        return Orix::GenericFailure;
    });
}

} // namespace Vapixcam

#include "VideoParameterTable.h"

#include "CurrentSettings.h"

#include <map>

namespace Vapixcam {

namespace {

using K = ParameterKind;
using S = const CurrentSettings&;

// The capture modes of sensors that can switch wide dynamic range off carry
// "(no WDR)" in their name; the camera value or its display text may hold it.
bool noWdrMode(S s)
{
    const char* marker = "(no WDR)";
    return s.cameraValue("sensorCaptureMode").find(marker) != std::string::npos ||
           s.displayValue("sensorCaptureMode").find(marker) != std::string::npos;
}

bool mpegCodec(S s)
{
    return s.codec() == "H264" || s.codec() == "H265" || s.codec() == "MPEG4";
}

bool zipstreamOn(S s)
{
    return mpegCodec(s) && s.cameraValue("zipStream") != "off";
}

bool rateControlIs(S s, const char* mode)
{
    return mpegCodec(s) && s.cameraValue("bitrateControl") == mode;
}

bool autoExposureLimits(S s)
{
    return !s.flag("manualShutterControl") && !s.flag("manualGainControl");
}

bool osdRule(S s)
{
    return s.stream() == 0 || !s.ignoreOsdForProfiles();
}

DescriptorTable buildTable()
{
    const ApplicabilityCheck always;
    const ApplicabilityCheck exposureLimits = [](S s) {
        return s.cameraValue("exposurePriority") != "50";
    };
    const ApplicabilityCheck stabilizer = [](S s) {
        return s.cameraValue("imageCorrection") == "on";
    };
    const ApplicabilityCheck osd = osdRule;
    return {
        {"ImageSource.I%.Video.Brightness", "brightness", K::intRange, false, "", always},
        {"ImageSource.I%.Video.Contrast", "contrast", K::intRange, false, "", always},
        {"ImageSource.I%.Video.Sharpness", "sharpness", K::intRange, false, "", always},
        {"ImageSource.I%.Video.Saturation", "saturation", K::intRange, false, "", always},
        {"ImageSource.I%.Video.NoiseReduction", "noiseReduction", K::intRange, false, "", always},
        {"ImageSource.I%.CameraTiltOrientation", "cameraTiltOrientation", K::checkedEnum, true, "",
         always},
        {"ImageSource.I%.CaptureFrequency", "captureFrequency", K::checkedEnum, true, "", always},
        {"ImageSource.I%.Sensor.CaptureMode", "sensorCaptureMode", K::cameraEnum, true, "", always},
        {"ImageSource.I%.Sensor.Brightness", "brightness", K::intRange, false, "", always},
        {"ImageSource.I%.Sensor.ColorLevel", "saturation", K::intRange, false, "", always},
        {"Image.I%.Appearance.ColorEnabled", "colorEnabled", K::checkedEnum, true, "", always},
        {"ImageSource.I%.Sensor.Contrast", "contrast", K::intRange, false, "", always},
        {"ImageSource.I%.Sensor.Sharpness", "sharpness", K::intRange, false, "", always},
        {"ImageSource.I%.Sensor.LocalContrast", "localContrast", K::intRange, false, "", always},
        {"ImageSource.I%.Sensor.WhiteBalance", "whiteBalance", K::checkedEnum, false, "", always},
        {"ImageSource.I%.Sensor.DynamicContrastEnabled", "dynamicContrast", K::boolean, false, "",
         noWdrMode},
        {"ImageSource.I%.Sensor.DynamicContrastLevel", "dynamicContrastLevel", K::intRange, false,
         "", [](S s) { return noWdrMode(s) && s.flag("dynamicContrast"); }},
        {"ImageSource.I%.Sensor.BacklightCompensation", "backlight", K::boolean, false, "", always},
        {"ImageSource.I%.Sensor.Exposure", "exposure", K::checkedEnum, false, "", always},
        {"ImageSource.I%.Sensor.ExposureWindow", "exposureZone", K::checkedEnum, false, "", always},
        {"ImageSource.I%.Sensor.ExposurePriority", "exposurePriority", K::checkedEnum, false, "",
         always},
        {"ImageSource.I%.Sensor.ExposureValue", "exposureValue", K::intRange, false, "",
         [](S s) { return !noWdrMode(s) || !s.flag("dynamicContrast"); }},
        {"ImageSource.I%.Sensor.MinGain", "minGain", K::intRange, false, "", exposureLimits},
        {"ImageSource.I%.Sensor.MaxGain", "maxGain", K::intRange, false, "", exposureLimits},
        {"ImageSource.I%.Sensor.MinExposureTime", "minExposureTime", K::intRange, false, "",
         exposureLimits},
        {"ImageSource.I%.Sensor.MaxExposureTime", "maxExposureTime", K::intRange, false, "",
         exposureLimits},
        {"ImageSource.I%.Sensor.Defog", "defog", K::checkedEnum, false, "", always},
        {"ImageSource.I%.Sensor.DefogEffect", "defogEffect", K::intRange, false, "",
         [](S s) { return s.cameraValue("defog") == "on"; }},
        {"ImageSource.I%.Sensor.Stabilizer", "imageCorrection", K::checkedEnum, false, "", always},
        {"ImageSource.I%.Sensor.StabilizerFocalLength", "stabilizerFocalLength", K::intRange, false,
         "", stabilizer},
        {"ImageSource.I%.Sensor.StabilizerMargin", "stabilizerMargin", K::intRange, false, "",
         stabilizer},
        {"ImageSource.I%.Sensor.WDR", "WDR", K::checkedEnum, false, "",
         [](S s) { return !noWdrMode(s); }},
        {"ImageSource.I%.Sensor.Shutter", "shutter", K::checkedEnum, false, "",
         [](S s) { return s.cameraValue("exposure") == "manual"; }},
        {"ImageSource.I%.Sensor.ManualShutterControl", "manualShutterControl", K::boolean, false,
         "", always},
        {"ImageSource.I%.Sensor.ManualShutter", "manualShutter", K::intRange, false, "",
         [](S s) { return s.flag("manualShutterControl"); }},
        {"ImageSource.I%.Sensor.ManualGainControl", "manualGainControl", K::boolean, false, "",
         always},
        {"ImageSource.I%.Sensor.ManualGain", "manualGain", K::intRange, false, "",
         [](S s) { return s.flag("manualGainControl"); }},
        {"ImageSource.I%.Sensor.ExposurePriorityNormal", "exposurePriorityNormal", K::intRange,
         false, "", autoExposureLimits},
        {"ImageSource.I%.Sensor.MaxAutoGainControlNormal", "maxAutoGainControlNormal", K::intRange,
         false, "", autoExposureLimits},
        {"ImageSource.I%.Sensor.MaxFastShutter", "maxFastShutter", K::intRange, false, "",
         autoExposureLimits},
        {"ImageSource.I%.Sensor.ExposurePriorityLowlight", "exposurePriorityLowlight", K::intRange,
         false, "", autoExposureLimits},
        {"ImageSource.I%.Sensor.MaxAutoGainControlLowlight", "maxAutoGainControlLowlight",
         K::intRange, false, "", autoExposureLimits},
        {"ImageSource.I%.Sensor.MaxSlowShutter", "maxSlowShutter", K::intRange, false, "",
         autoExposureLimits},
        {"ImageSource.I%.Sensor.AutoSlowShutter", "autoSlowShutter", K::boolean, false, "",
         [](S s) { return s.cameraValue("exposure") == "auto"; }},
        {"ImageSource.I%.Sensor.HLCSensitivity", "hlcSensitivity", K::intRange, false, "", always},
        {"ImageSource.I%.DCIris.Enabled", "iris", K::boolean, false, "", always},
        {"ImageSource.I%.DCIris.Position", "irisLevel", K::intRange, false, "",
         [](S s) { return s.flag("iris"); }},
        {"ImageSource.I%.DayNight.IrCutFilter", "irCutFilter", K::checkedEnum, false, "", always},
        {"ImageSource.I%.DayNight.ShiftLevel", "dayNightShiftLevel", K::intRange, false, "",
         [](S s) { return s.cameraValue("irCutFilter") == "auto"; }},
        {"Image.I%.MPEG.ZStrength", "zipStream", K::checkedEnum, false, "", mpegCodec},
        {"Image.I%.MPEG.ZFpsMode", "zFPSmode", K::checkedEnum, false, "", zipstreamOn},
        {"Image.I%.MPEG.ZMinFps", "zMinFPS", K::intRange, false, "",
         [](S s) { return zipstreamOn(s) && s.cameraValue("zFPSmode") != "fixed"; }},
        {"Image.I%.MPEG.ZGopMode", "zGOPmode", K::checkedEnum, false, "", zipstreamOn},
        {"Image.I%.MPEG.ZMaxGopLength", "zMaxGopLength", K::intRange, false, "",
         [](S s) { return zipstreamOn(s) && s.cameraValue("zGOPmode") != "fixed"; }},
        {"", "codec", K::cameraEnum, true, "videocodec", always},
        {"Image.I%.Appearance.Resolution", "resolution", K::cameraEnum, true, "resolution", always},
        {"Image.I%.Appearance.Compression", "compression", K::intRange, true, "compression",
         always},
        {"Image.I%.Stream.FPS", "fps", K::intRange, true, "fps", always},
        {"Image.I%.Appearance.Rotation", "imageRotate", K::checkedEnum, true, "", always},
        {"Image.I%.Appearance.MirrorEnabled", "imageMirror", K::boolean, true, "mirror", always},
        {"Image.I%.RateControl.Mode", "bitrateControl", K::checkedEnum, true, "videobitratemode",
         mpegCodec},
        {"Image.I%.MPEG.PCount", "keyFrameInterval", K::intRange, true, "videokeyframeinterval",
         mpegCodec},
        {"Image.I%.MPEG.H264.Profile", "h264Profile", K::checkedEnum, true, "h264profile",
         mpegCodec},
        {"Image.I%.RateControl.Priority", "bitRatePriority", K::checkedEnum, true,
         "videobitratepriority", [](S s) { return rateControlIs(s, "cbr"); }},
        {"Image.I%.RateControl.TargetBitrate", "bitRate", K::intRange, true, "videobitrate",
         [](S s) { return rateControlIs(s, "cbr"); }},
        // Firmware spells the cap two ways; the camera's own spelling is
        // read and written.
        {"Image.I%.RateControl.MaxBitrate", "maxBitrate", K::intRange, true, "videomaxbitrate",
         [](S s) { return rateControlIs(s, "mbr"); }},
        {"Image.I%.RateControl.MBR.MaxBitRate", "maxBitrate", K::intRange, true, "videomaxbitrate",
         [](S s) { return rateControlIs(s, "mbr"); }},
        {"Image.I%.RateControl.ABR.TargetBitrate", "abrTargetBitRate", K::intRange, true,
         "videoabrtargetbitrate", [](S s) { return rateControlIs(s, "abr"); }},
        {"Image.I%.RateControl.ABR.MaxBitrate", "abrMaxBitRate", K::intRange, true,
         "videoabrmaxbitrate", [](S s) { return rateControlIs(s, "abr"); }},
        {"Image.I%.RateControl.ABR.RetentionTime", "retentionTime", K::intRange, true,
         "videoabrretentiontime", [](S s) { return rateControlIs(s, "abr"); }},
        {"Image.I%.SizeControl.MaxFrameSize", "maxFrameSize", K::intRange, true, "maxframesize",
         [](S s) { return s.codec() == "MJPEG"; }},
        {"Image.I%.Text.BGColor", "textOverlayBGColor", K::cameraEnum, true, "textbackgroundcolor",
         osd},
        {"Image.I%.Text.ClockEnabled", "timeOverlay", K::boolean, true, "clock", osd},
        {"Image.I%.Text.Color", "textOverlayColor", K::cameraEnum, true, "textcolor", osd},
        {"Image.I%.Text.DateEnabled", "dateOverlay", K::boolean, true, "date", osd},
        {"Image.I%.Text.Position", "textOverlayPosition", K::cameraEnum, true, "textposition", osd},
        {"Image.I%.Text.String", "textOverlay", K::string, true, "textstring", osd},
        {"Image.I%.Text.TextEnabled", "textOverlayEnabled", K::boolean, true, "text", osd},
        {"Image.I%.Text.TextSize", "textOverlaySize", K::cameraEnum, true, "textsize", osd},
        {"PTZ.ImageSource.I%.PTZEnabled", "digitalPtz", K::boolean, false, "", always},
    };
}

} // namespace

const DescriptorTable& VideoParameterTable::descriptors()
{
    static const DescriptorTable table = buildTable();
    return table;
}

const ParameterDescriptor* VideoParameterTable::findByPath(const std::string& path)
{
    static const std::map<std::string, const ParameterDescriptor*> byPath = [] {
        std::map<std::string, const ParameterDescriptor*> map;
        for (const auto& d : descriptors()) {
            if (!d.path.empty())
                map.emplace(d.path, &d);
        }
        return map;
    }();
    const auto it = byPath.find(path);
    return it == byPath.end() ? nullptr : it->second;
}

std::vector<const ParameterDescriptor*> VideoParameterTable::findByHostName(const std::string& hostName)
{
    std::vector<const ParameterDescriptor*> found;
    for (const auto& d : descriptors()) {
        if (d.hostName == hostName)
            found.push_back(&d);
    }
    return found;
}

const std::vector<std::string>& VideoParameterTable::profileRewriteOrder()
{
    static const std::vector<std::string> order{
        "resolution",         "imageMirror",        "compression",        "fps",
        "h264Profile",        "bitrateControl",     "bitRate",            "bitRatePriority",
        "maxBitrate",         "abrTargetBitRate",   "retentionTime",      "abrMaxBitRate",
        "keyFrameInterval",   "maxFrameSize",       "dateOverlay",        "textOverlay",
        "textOverlayBGColor", "textOverlayColor",   "textOverlayEnabled", "textOverlayPosition",
        "textOverlaySize",    "timeOverlay"};
    return order;
}

} // namespace Vapixcam

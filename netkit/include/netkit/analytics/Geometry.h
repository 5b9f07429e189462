#pragma once
// Colour and geometry helpers for detectors.
#include <cstdint>
#include <orix/analytics/VisualElements.h>
#include <vector>

namespace Orix::Utility {

struct HSV {
    double hue = 0.0;        // degrees, 0 <= hue < 360
    double saturation = 0.0; // 0..1
    double value = 0.0;      // 0..1
};

// Channels in 0..255 (clamped); grey gives hue 0 and saturation 0.
HSV RGBtoHSV(double red, double green, double blue);

struct PointF {
    double x = 0.0;
    double y = 0.0;
};
using PolylineF = std::vector<PointF>;

// Bounds on what a host may hand over.
inline constexpr std::uint32_t kMaxPolylines = 64;
inline constexpr std::uint32_t kMaxPolylinePoints = 256;

// The host's polylines as owned values in the 0..1 frame: coordinates
// clamped to 0..1, non-finite points and empty lines left out, at most
// kMaxPolylines lines of kMaxPolylinePoints points.
std::vector<PolylineF> createPolylinesArray(const Analytics::Polyline* polylines,
                                            std::uint32_t count);

} // namespace Orix::Utility

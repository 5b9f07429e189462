#include <netkit/analytics/Geometry.h>

#include <algorithm>
#include <cmath>

namespace Orix::Utility {

HSV RGBtoHSV(double red, double green, double blue)
{
    const auto channel = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 255.0) / 255.0 : 0.0; };
    const double r = channel(red);
    const double g = channel(green);
    const double b = channel(blue);
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    const double delta = max - min;

    HSV out;
    out.value = max;
    out.saturation = max > 0.0 ? delta / max : 0.0;
    if (delta <= 0.0)
        return out;
    double hue = 0.0;
    if (max == r)
        hue = 60.0 * std::fmod((g - b) / delta, 6.0);
    else if (max == g)
        hue = 60.0 * ((b - r) / delta + 2.0);
    else
        hue = 60.0 * ((r - g) / delta + 4.0);
    if (hue < 0.0)
        hue += 360.0;
    out.hue = hue >= 360.0 ? 0.0 : hue;
    return out;
}

std::vector<PolylineF> createPolylinesArray(const Analytics::Polyline* polylines, std::uint32_t count)
{
    std::vector<PolylineF> out;
    if (polylines == nullptr)
        return out;
    for (std::uint32_t i = 0; i < count && out.size() < kMaxPolylines; ++i) {
        const auto& line = polylines[i];
        if (line.points == nullptr)
            continue;
        PolylineF points;
        for (std::uint32_t p = 0; p < line.count && points.size() < kMaxPolylinePoints; ++p) {
            const auto& point = line.points[p];
            if (!std::isfinite(point.x) || !std::isfinite(point.y))
                continue;
            points.push_back({std::clamp(point.x, 0.0, 1.0), std::clamp(point.y, 0.0, 1.0)});
        }
        if (!points.empty())
            out.push_back(std::move(points));
    }
    return out;
}

} // namespace Orix::Utility

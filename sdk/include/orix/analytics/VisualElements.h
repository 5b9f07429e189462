#pragma once
// Geometry the host hands to detectors: the frame normalised to 0..1 on both
// axes, origin top left.
#include <cstdint>

namespace Orix::Analytics {

struct NormalizedPoint {
    double x = 0.0;
    double y = 0.0;
};

struct NormalizedRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
};

// An open or closed line through points; a closed area repeats nothing, the
// last point joins the first.
struct Polyline {
    const NormalizedPoint* points = nullptr;
    std::uint32_t count = 0;
};

} // namespace Orix::Analytics

#pragma once
// The areas an operator draws for the motion detection applications: one
// detection polygon and any number of exclusion polygons, in the host's
// normalised frame (0..1, origin top left). The applications want the
// camera's frame (-1..1, y pointing up).
#include <string>
#include <vector>

namespace Vapixcam {

struct AreaPoint {
    double x = 0.0;
    double y = 0.0;
};

using AreaPolygon = std::vector<AreaPoint>;

struct MotionAreas {
    AreaPolygon detection;
    std::vector<AreaPolygon> exclusions;
};

// Host frame to camera frame: x' = 2x - 1, y' = 1 - 2y.
AreaPoint toCameraFrame(AreaPoint point);

// A coordinate as the applications expect it written: the default stream
// formatting of a double (up to six significant digits).
std::string formatCoordinate(double value);

} // namespace Vapixcam

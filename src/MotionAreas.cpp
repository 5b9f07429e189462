#include "MotionAreas.h"

#include <sstream>

namespace Vapixcam {

AreaPoint toCameraFrame(AreaPoint point)
{
    return {2.0 * point.x - 1.0, 1.0 - 2.0 * point.y};
}

std::string formatCoordinate(double value)
{
    // A point on an axis may come out as -0; the applications read "0".
    if (value == 0.0)
        value = 0.0;
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace Vapixcam

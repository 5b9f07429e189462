#include "ParameterDescriptor.h"

namespace Vapixcam {

std::string instancePath(const std::string& path, const std::string& instance)
{
    std::string out = path;
    const auto at = out.find("I%");
    if (at != std::string::npos)
        out.replace(at, 2, instance);
    return out;
}

} // namespace Vapixcam

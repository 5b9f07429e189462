#include "OpticsCgi.h"

#include "ErrorPages.h"
#include "Router.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Camsim {

namespace {

bool parseDouble(const std::string& text, double& out)
{
    if (text.empty() || text.size() > 32)
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

// A relative step: a number, or [+|-]bigstep / smallstep as clients send
// them. An unescaped '+' arrives decoded as a space.
bool parseStep(const std::string& text, double& out)
{
    if (parseDouble(text, out))
        return true;
    if (text.size() < 2)
        return false;
    const char sign = text[0];
    const std::string size = text.substr(1);
    if ((sign != '+' && sign != ' ' && sign != '-') || (size != "bigstep" && size != "smallstep"))
        return false;
    out = (size == "bigstep" ? 0.1 : 0.01) * (sign == '-' ? -1.0 : 1.0);
    return true;
}

} // namespace

HttpResponse OpticsCgi::handle(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return badRequestPage("Malformed %-escape in the request arguments.");
    return HttpResponse::text(200, camera_.withOptics([&](OpticsState& o) { return answer(o, *args); }));
}

std::string OpticsCgi::answer(OpticsState& optics, const FormPairs& args)
{
    // Check everything before changing anything.
    OpticsState next = optics;
    bool any = false;
    for (const auto& a : args) {
        const std::string& name = a.first;
        const std::string& value = a.second;
        double number = 0;
        if (name == "source") {
            if (value != "1")
                return "Error: invalid source '" + value + "'\n";
        } else if (name == "monitor") {
            if (value != "poll")
                return "Error: invalid monitor '" + value + "'\n";
            any = true;
        } else if (name == "autofocus") {
            if (value != "perform")
                return "Error: invalid autofocus '" + value + "'\n";
            ++next.autofocusRuns;
            any = true;
        } else if (name == "azoom" || name == "afocus") {
            if (!parseDouble(value, number) || number < 0.0 || number > 1.0)
                return "Error: " + name + " must be 0..1, got '" + value + "'\n";
            (name == "azoom" ? next.zoom : next.focus) = number;
            any = true;
        } else if (name == "rzoom" || name == "rfocus") {
            if (!parseStep(value, number) || number < -1.0 || number > 1.0)
                return "Error: " + name + " must be -1..1, got '" + value + "'\n";
            double& target = name == "rzoom" ? next.zoom : next.focus;
            target = std::clamp(target + number, 0.0, 1.0);
            any = true;
        } else {
            return "Error: unknown argument '" + name + "'\n";
        }
    }
    if (!any)
        return "Error: no command\n";
    optics = next;
    return "ok";
}

} // namespace Camsim

#pragma once
// /axis-cgi/opticssetup.cgi of fixed cameras with a motorised lens: the
// driver's probe (monitor=poll), autofocus=perform, azoom=<0..1>, and
// rzoom/rfocus by a step (-1..1, or +bigstep, -bigstep, +smallstep,
// -smallstep: a tenth and a hundredth of the range). A successful call answers the two letters "ok". Only
// registered for models that have such a lens; others answer 404.
#include "Camera.h"
#include "FormData.h"
#include "HttpMessage.h"

namespace Camsim {

class OpticsCgi {
public:
    explicit OpticsCgi(Camera& camera) : camera_(camera) {}

    HttpResponse handle(const HttpRequest& request);
    static std::string answer(OpticsState& optics, const FormPairs& args);

private:
    Camera& camera_;
};

} // namespace Camsim

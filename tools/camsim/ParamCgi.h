#pragma once
// /axis-cgi/param.cgi (and its admin/operator/view aliases): list,
// listdefinitions, update, add and remove on the camera's parameter tree.
// Like the real CGI it answers 200 for logical errors and puts
// "# Error: ..." or "# Request failed: ..." in the body.
#include "Camera.h"
#include "FormData.h"
#include "HttpMessage.h"

#include <string>
#include <vector>

namespace Camsim {

class ParamCgi {
public:
    explicit ParamCgi(Camera& camera) : camera_(camera) {}

    HttpResponse handle(const HttpRequest& request);

    // The answer to already decoded arguments; changes model on success.
    static HttpResponse answer(Model& model, const FormPairs& args);

    static std::string update(Model& model, const FormPairs& args);
    static std::string add(Model& model, const FormPairs& args);
    static std::string remove(Model& model, const FormPairs& args);

    // "a, root.b%2Cc" already decoded -> {"a", "root.b", "c"}.
    static std::vector<std::string> splitGroups(const std::string& value);

private:
    Camera& camera_;
};

} // namespace Camsim

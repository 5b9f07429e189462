#pragma once
// The two param.cgi answer bodies built from the tree: the text list
// ("root.Group.Name=value", LF-terminated) and the listdefinitions XML.
#include "Model.h"

#include <string>
#include <vector>

namespace Camsim {

constexpr const char* kSecretMask = "******";

// groups empty: the whole tree. Each requested group (or single parameter)
// is answered in request order; an unknown one adds
// "# Error: Error -1 getting param in group '<name>'".
std::string formatParamList(const Model& model, const std::vector<std::string>& groups);

// The parameterDefinitions document for the whole tree or the union of the
// requested groups/parameters (unknown names are left out).
std::string formatParamDefinitions(const Model& model, const std::vector<std::string>& groups);

std::string xmlEscape(const std::string& text);

// "root.Image.I0.Appearance" -> "Image.I0.Appearance"; other names unchanged.
std::string stripRoot(const std::string& name);

} // namespace Camsim

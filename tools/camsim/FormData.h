#pragma once
// application/x-www-form-urlencoded as CGI scripts read it: pairs split at
// '&', name and value at the first '=', '+' is a space, %XX a byte.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Camsim {

using FormPairs = std::vector<std::pair<std::string, std::string>>;

// Decodes '+' and %XX. A '%' not followed by two hex digits gives nullopt.
std::optional<std::string> formDecode(const std::string& text);

// Splits and decodes; empty pieces ("a=1&&b=2") are skipped. nullopt when a
// name or value holds a malformed escape.
std::optional<FormPairs> parseForm(const std::string& text);

// First value for name (exact match), or nullopt.
std::optional<std::string> formValue(const FormPairs& pairs, const std::string& name);

} // namespace Camsim

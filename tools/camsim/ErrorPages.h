#pragma once
// The HTML pages a camera's web server sends with 401 and 404.
#include "HttpMessage.h"
#include "Model.h"

#include <string>

namespace Camsim {

HttpResponse notFoundPage(WebServerStyle style, const std::string& path);
HttpResponse unauthorizedPage(WebServerStyle style, const std::string& path);
HttpResponse badRequestPage(const std::string& why);

} // namespace Camsim

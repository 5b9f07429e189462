#pragma once
// /axis-cgi/jpg/image.cgi: one JPEG picture of the camera's MJPEG clip, the
// frame the clip shows at this moment (it loops at 25 frames per second).
// camera= and resolution= are checked as media.amp checks them; a wrong
// camera is 404 and a bad value 400 with the reason as text.
#include "Camera.h"
#include "HttpMessage.h"
#include "MediaLibrary.h"

#include <chrono>

namespace Camsim {

class SnapshotCgi {
public:
    SnapshotCgi(Camera& camera, std::string mediaDir);

    HttpResponse handle(const HttpRequest& request);

private:
    Camera& camera_;
    MediaLibrary media_;
    std::chrono::steady_clock::time_point started_;
};

} // namespace Camsim

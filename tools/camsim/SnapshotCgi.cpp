#include "SnapshotCgi.h"

#include "RtspStreamRequest.h"

namespace Camsim {

namespace {

constexpr long kClipFps = 25;

} // namespace

SnapshotCgi::SnapshotCgi(Camera& camera, std::string mediaDir)
    : camera_(camera), media_(std::move(mediaDir)), started_(std::chrono::steady_clock::now())
{
}

HttpResponse SnapshotCgi::handle(const HttpRequest& request)
{
    // The picture follows the rules of a JPEG stream of the same camera, so
    // the camera's own image settings fill in what the URL leaves out.
    std::string query = request.query();
    query += query.empty() ? "videocodec=jpeg" : "&videocodec=jpeg";
    StreamRequestError error;
    const auto resolved =
        camera_.withModel([&](Model& model) { return resolveStreamRequest(query, model.params, error); });
    if (!resolved)
        return HttpResponse::text(error.status, "Error: " + error.reason + "\n");
    std::string why;
    const auto files = media_.jpegFiles(resolved->width, resolved->height, why);
    if (!files)
        return HttpResponse::text(500, "Error: " + why + "\n");
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    const std::size_t frame = static_cast<std::size_t>(elapsed.count() * kClipFps / 1000) % files->size();
    HttpResponse response;
    response.contentType = "image/jpeg";
    response.body = (*files)[frame];
    return response;
}

} // namespace Camsim

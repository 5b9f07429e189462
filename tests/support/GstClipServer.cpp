#include "GstClipServer.h"

#include <sstream>
#include <unistd.h>

namespace TestSupport {

namespace {

const char* const kPython = "/usr/bin/python3";
const char* const kFfmpeg = "/usr/bin/ffmpeg";
const char* const kFfprobe = "/usr/bin/ffprobe";
// Hang guard for the tools; each finishes within seconds.
constexpr std::chrono::seconds kToolLimit{120};

} // namespace

std::string whyNoClipServer()
{
    if (access(kFfmpeg, X_OK) != 0 || access(kFfprobe, X_OK) != 0)
        return "ffmpeg or ffprobe is not installed";
    if (access(kPython, X_OK) != 0)
        return "no /usr/bin/python3";
    const auto gi = runProcess(
        {kPython, "-c",
         "import gi\ngi.require_version('Gst', '1.0')\ngi.require_version('GstRtspServer', '1.0')\n"
         "from gi.repository import Gst, GstRtspServer\n"},
        kToolLimit);
    if (!gi.exited(0))
        return "python3-gi or the GstRtspServer typelib is missing: " + gi.err.substr(0, 300);
    if (!runProcess({"/usr/bin/gst-inspect-1.0", "matroskademux"}, kToolLimit).exited(0))
        return "GStreamer's matroskademux is missing";
    return {};
}

std::string recordClip(const std::string& codec, int frames, const std::string& path)
{
    std::vector<std::string> argv = {kFfmpeg, "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                     "testsrc2=size=320x240:rate=25", "-frames:v", std::to_string(frames)};
    if (codec == "h264")
        argv.insert(argv.end(), {"-c:v", "libx264", "-g", "10", "-bf", "0", "-pix_fmt", "yuv420p"});
    else if (codec == "h265")
        argv.insert(argv.end(), {"-c:v", "libx265", "-x265-params",
                                 "keyint=10:min-keyint=10:bframes=0:scenecut=0:log-level=error", "-pix_fmt",
                                 "yuv420p"});
    else if (codec == "mjpeg")
        argv.insert(argv.end(), {"-c:v", "mjpeg", "-huffman", "default", "-q:v", "5", "-pix_fmt", "yuvj420p"});
    else
        return "no recipe for codec " + codec;
    argv.push_back(path);
    const auto made = runProcess(argv, kToolLimit);
    if (!made.exited(0))
        return "cannot record the " + codec + " clip: " + made.summary();
    return {};
}

std::vector<std::string> pictureDigests(const std::vector<std::string>& input)
{
    std::vector<std::string> argv = {kFfmpeg, "-v", "error", "-nostdin"};
    argv.insert(argv.end(), input.begin(), input.end());
    argv.insert(argv.end(), {"-f", "framemd5", "-"});
    const auto result = runProcess(argv, kToolLimit);
    if (!result.exited(0) || !result.err.empty())
        return {"ffmpeg: " + result.summary().substr(0, 1000)};
    // framemd5 lines: "stream, dts, pts, duration, size, md5".
    std::vector<std::string> digests;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::string digest = line.substr(line.rfind(',') + 1);
        digest.erase(0, digest.find_first_not_of(' '));
        digests.push_back(digest);
    }
    return digests;
}

GstClipServer::GstClipServer(const std::vector<std::string>& mounts, const std::string& auth)
{
    std::vector<std::string> argv = {kPython, std::string(VAPIXCAM_SOURCE_DIR) + "/tests/peers/gst_rtsp_server.py",
                                     "--auth", auth};
    for (const std::string& mount : mounts) {
        argv.push_back("--mount");
        argv.push_back(mount);
    }
    process_ = std::make_unique<ChildProcess>(argv);
    std::string line;
    while (process_->readLine(line, std::chrono::seconds(30))) {
        if (line.rfind("PORT ", 0) == 0) {
            port_ = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
            break;
        }
    }
}

GstClipServer::~GstClipServer() = default;

} // namespace TestSupport

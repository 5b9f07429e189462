// camsim's RTSP server read by ffprobe, a client nobody here wrote: over
// TCP, UDP and the RTSP over HTTP(S) tunnel, for H.264, H.265, JPEG and
// G.711 audio and a stream profile, ffprobe finds the codec and picture
// size asked for and decodes frames without an error line. Faults on
// /axis-media/media.amp end, refuse, fail and stall sessions as armed, and
// the request log tells what happened; passwords never reach the log.
#include <support/CamsimProcess.h>
#include <support/ProcessRunner.h>

#include <gtest/gtest.h>
#include <json/json.h>
#include <unistd.h>

#include <sstream>

using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;
using TestSupport::ProcessResult;
using TestSupport::runProcess;

namespace {

const char* const kFfprobe = "/usr/bin/ffprobe";
const char* const kFfmpeg = "/usr/bin/ffmpeg";

// Hang guards only: every run ends on its own well before this.
constexpr std::chrono::seconds kRunLimit{90};

#define REQUIRE_TOOLS()                                                                              \
    do {                                                                                             \
        if (!CamsimProcess::available() || access(kFfprobe, X_OK) != 0 || access(kFfmpeg, X_OK) != 0) \
            GTEST_SKIP() << "camsim, ffprobe or ffmpeg is missing";                                  \
    } while (0)

struct Probed {
    ProcessResult run;
    Json::Value streams; // ffprobe's "streams" array
};

// Two seconds of the stream, every frame decoded and counted.
Probed probe(const std::string& transport, const std::string& url, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> argv{kFfprobe, "-v", "error", "-rtsp_transport", transport};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.insert(argv.end(), {"-count_frames", "-read_intervals", "%+2", "-show_entries",
                             "stream=codec_name,codec_type,width,height,nb_read_frames", "-of", "json", url});
    Probed p;
    p.run = runProcess(argv, kRunLimit);
    Json::Value root;
    std::istringstream in(p.run.out);
    if (Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr))
        p.streams = root["streams"];
    return p;
}

std::string url(std::uint16_t port, const std::string& query, const std::string& password = "pass")
{
    return "rtsp://root:" + TestSupport::encodeUserInfo(password) + "@127.0.0.1:" + std::to_string(port) + "/axis-media/media.amp?" + query;
}

std::vector<std::string> logLines(const CamsimProcess& camsim)
{
    std::vector<std::string> lines;
    for (const auto& r : camsim.requests())
        lines.push_back(r.method + " " + std::to_string(r.status) + (r.fault.empty() ? "" : " " + r.fault));
    return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct StreamCase {
    const char* name;
    const char* transport; // tcp, udp, http, https
    const char* query;
    const char* codec;     // as ffprobe names it
    int width;
    int height;
    bool audio;
};

void checkStreams(const CamsimProcess& camsim, const StreamCase& c)
{
    const std::string password = camsim.options().password;
    SCOPED_TRACE(c.name);
    const std::string transport = c.transport;
    const std::uint16_t port = transport == "http"    ? camsim.httpPort()
                               : transport == "https" ? *camsim.httpsPort()
                                                      : camsim.rtspPort();
    const Probed p = probe(transport, url(port, c.query, password));
    ASSERT_TRUE(p.run.exited(0)) << p.run.summary();
    EXPECT_EQ(p.run.err, "") << "ffprobe reported errors";
    ASSERT_EQ(p.streams.size(), c.audio ? 2u : 1u) << p.run.out;
    const Json::Value& v = p.streams[0u];
    EXPECT_EQ(v["codec_name"].asString(), c.codec);
    EXPECT_EQ(v["width"].asInt(), c.width);
    EXPECT_EQ(v["height"].asInt(), c.height);
    EXPECT_GT(std::stoi(v["nb_read_frames"].asString()), 0);
    if (c.audio) {
        EXPECT_EQ(p.streams[1u]["codec_name"].asString(), "pcm_mulaw");
        EXPECT_GT(std::stoi(p.streams[1u]["nb_read_frames"].asString()), 0);
    }
}

} // namespace

TEST(CamsimRtsp, FfprobeReadsEveryTransportAndCodec)
{
    REQUIRE_TOOLS();
    CamsimOptions options;
    options.model = "P3245-LVE"; // lists h265 in Properties.Image.Format
    options.https = true;
    CamsimProcess camsim(options);
    const StreamCase cases[] = {
        {"H.264 over TCP", "tcp", "camera=1&videocodec=h264&resolution=1280x720", "h264", 1280, 720, false},
        {"H.264 over UDP", "udp", "camera=1&videocodec=h264&resolution=640x360", "h264", 640, 360, false},
        {"H.264 through the HTTP tunnel", "http", "camera=1&videocodec=h264&resolution=640x360", "h264", 640, 360, false},
        {"H.265 over TCP", "tcp", "camera=1&videocodec=h265&resolution=1920x1080", "hevc", 1920, 1080, false},
        {"H.265 over UDP", "udp", "videocodec=h265&resolution=640x360", "hevc", 640, 360, false},
        {"JPEG with audio over UDP", "udp", "videocodec=jpeg&resolution=704x576&audio=1", "mjpeg", 704, 576, true},
        {"MJPEG through the HTTPS tunnel", "https", "videocodec=jpeg&resolution=640x360", "mjpeg", 640, 360, false},
        {"nearest clip to 800x600", "tcp", "videocodec=h264&resolution=800x600", "h264", 704, 576, false},
    };
    for (const auto& c : cases)
        checkStreams(camsim, c);
}

TEST(CamsimRtsp, StreamProfileFromTheParameterTree)
{
    REQUIRE_TOOLS();
    CamsimOptions options;
    options.model = "P5512";
    // As param.cgi?action=update would leave it.
    options.params = {"StreamProfile.S1.Parameters=videocodec=jpeg&resolution=1280x720&fps=10"};
    CamsimProcess camsim(options);
    const StreamCase cases[] = {
        {"profile applied", "tcp", "streamprofile=Balanced", "mjpeg", 1280, 720, false},
        {"URL arguments over the profile", "tcp", "streamprofile=Balanced&videocodec=h264&resolution=640x360", "h264",
         640, 360, false},
        {"model default 4CIF", "tcp", "camera=1", "h264", 704, 576, false},
    };
    for (const auto& c : cases)
        checkStreams(camsim, c);

    const Probed unknown = probe("tcp", url(camsim.rtspPort(), "streamprofile=Night"));
    EXPECT_FALSE(unknown.run.exited(0));
    EXPECT_NE(unknown.run.err.find("404"), std::string::npos) << unknown.run.err;
    EXPECT_TRUE(contains(logLines(camsim), "DESCRIBE 404"));
}

TEST(CamsimRtsp, EndFaultEndsTheSessionAndTheLogShowsIt)
{
    REQUIRE_TOOLS();
    CamsimProcess camsim;
    for (const char* transport : {"tcp", "http"}) {
        SCOPED_TRACE(transport);
        camsim.injectFault("/axis-media/media.amp", "end:2", 1);
        const std::uint16_t port = std::string(transport) == "http" ? camsim.httpPort() : camsim.rtspPort();
        // ffmpeg would play for ever; it ends because camsim ends the session.
        const ProcessResult r = runProcess({kFfmpeg, "-v", "error", "-rtsp_transport", transport, "-i",
                                            url(port, "videocodec=h264&resolution=640x360"), "-f", "null", "-"},
                                           kRunLimit);
        EXPECT_FALSE(r.timedOut) << r.summary();
        const auto log = logLines(camsim);
        EXPECT_TRUE(contains(log, "DESCRIBE 200 end:2"));
        EXPECT_TRUE(contains(log, "PLAY 200 end:2"));
    }
}

TEST(CamsimRtsp, StatusRefuseAndStallFaults)
{
    REQUIRE_TOOLS();
    CamsimProcess camsim;
    const std::string stream = "videocodec=h264&resolution=640x360";

    camsim.injectFault("/axis-media/media.amp", "status:503", 1);
    const Probed failed = probe("tcp", url(camsim.rtspPort(), stream));
    EXPECT_FALSE(failed.run.exited(0));
    EXPECT_NE(failed.run.err.find("503"), std::string::npos) << failed.run.err;
    EXPECT_TRUE(contains(logLines(camsim), "DESCRIBE 503 status:503"));

    const std::size_t before = camsim.requests().size();
    camsim.injectFault("/axis-media/media.amp", "refuse", 1);
    const Probed refused = probe("tcp", url(camsim.rtspPort(), stream));
    EXPECT_FALSE(refused.run.exited(0));
    EXPECT_EQ(camsim.requests().size(), before) << "a refused connection carries no request";

    // No media after PLAY: ffprobe's 3 s socket time-out ends it.
    camsim.injectFault("/axis-media/media.amp", "stall", 1);
    const Probed stalled = probe("tcp", url(camsim.rtspPort(), stream), {"-timeout", "3000000"});
    EXPECT_FALSE(stalled.run.timedOut);
    // Nothing decoded: no stream, or one without frames or even a picture size.
    EXPECT_TRUE(stalled.streams.empty() || stalled.streams[0u]["nb_read_frames"].asString() == "" ||
                stalled.streams[0u]["nb_read_frames"].asString() == "0")
        << stalled.run.out;
    EXPECT_TRUE(contains(logLines(camsim), "PLAY 200 stall"));

    // Cleared again: the next session streams.
    checkStreams(camsim, {"after the faults", "tcp", "videocodec=h264&resolution=640x360", "h264", 640, 360, false});
}

TEST(CamsimRtsp, WrongPasswordIsRefusedAndNoPasswordIsLogged)
{
    REQUIRE_TOOLS();
    CamsimOptions options;
    options.password = "Gate-7f3k!pw";
    CamsimProcess camsim(options);
    const Probed wrong = probe("tcp", url(camsim.rtspPort(), "videocodec=h264", "not-the-password"));
    EXPECT_FALSE(wrong.run.exited(0));
    EXPECT_NE(wrong.run.err.find("401"), std::string::npos) << wrong.run.err;
    checkStreams(camsim, {"right password (percent-encoded)", "tcp", "videocodec=h264&resolution=640x360", "h264", 640,
                          360, false});
    const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), "GET", "/camsim/requests");
    EXPECT_EQ(answer.body.find("Gate-7f3k"), std::string::npos);
    EXPECT_EQ(answer.body.find("not-the-password"), std::string::npos);
    EXPECT_EQ(camsim.stderrText().find("Gate-7f3k"), std::string::npos);
}

// `vapixcam live` run as a program against camsim: the whole host path of a
// live stream (device connection, CreateVideoSource, transport through the
// source's adjuster, Start, frames, Stop, Destroy), what it prints, the file
// it writes, and how it ends when no video comes.
#include <support/CamsimProcess.h>
#include <support/GstClipServer.h>
#include <support/ProcessRunner.h>

#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <json/json.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;
using TestSupport::ProcessResult;
using TestSupport::runProcess;
namespace fs = std::filesystem;

namespace {

const std::string kBin = VAPIXCAM_BIN_DIR;
const std::string kVapixcam = kBin + "/vapixcam";
const std::string kModule = kBin + "/Velto.Vapixcam.vdx";
const char* const kFfprobe = "/usr/bin/ffprobe";

// A hang guard only: every run below ends on its own well before this.
constexpr std::chrono::seconds kRunLimit{120};

bool binariesPresent()
{
    return access(kVapixcam.c_str(), X_OK) == 0 && access(kModule.c_str(), R_OK) == 0 &&
           CamsimProcess::available();
}

#define REQUIRE_BINARIES()                                                                     \
    do {                                                                                       \
        if (!binariesPresent())                                                                \
            GTEST_SKIP() << "vapixcam, camsim or the module is not built in " << kBin;         \
    } while (false)

ProcessResult vapixcam(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), kVapixcam);
    return runProcess(arguments, kRunLimit);
}

// The lines vapixcam itself wrote; the rest of stderr is the module's log.
std::vector<std::string> ownLines(const std::string& err)
{
    std::vector<std::string> own;
    std::string::size_type start = 0;
    while (start < err.size()) {
        const auto end = err.find('\n', start);
        const std::string line = err.substr(start, end == std::string::npos ? end : end - start);
        if (line.rfind("vapixcam: ", 0) == 0)
            own.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return own;
}

Json::Value parseJson(const std::string& text)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors))
        ADD_FAILURE() << "not JSON (" << errors << "):\n" << text;
    return root;
}

// The status code of camsim's answer to an RTSP OPTIONS, 0 without one.
// The status line is read with plain sockets so that the probe does not
// depend on the client under test.
int rtspOptionsStatus(std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int status = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "OPTIONS rtsp://127.0.0.1:" + std::to_string(port) +
                                    "/axis-media/media.amp RTSP/1.0\r\nCSeq: 1\r\n\r\n";
        if (send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            char answer[64] = {};
            if (recv(fd, answer, sizeof answer - 1, 0) > 12 &&
                std::string(answer).rfind("RTSP/1.0 ", 0) == 0)
                status = std::atoi(answer + 9);
        }
    }
    close(fd);
    return status;
}

#define REQUIRE_CAMSIM_RTSP(camsim)                                                            \
    do {                                                                                       \
        if (rtspOptionsStatus((camsim).rtspPort()) == 501)                                     \
            GTEST_SKIP() << "camsim answers RTSP with 501: its media server is not there yet"; \
    } while (false)

struct Decoded {
    bool ran = false;
    std::string errors;   // what ffprobe said while decoding every frame
    long long frames = -1;
};

Decoded decodeAll(const std::string& format, const fs::path& file)
{
    Decoded d;
    const auto r = runProcess({kFfprobe, "-v", "error", "-f", format, "-count_frames", "-select_streams",
                               "v:0", "-show_entries", "stream=nb_read_frames", "-of",
                               "default=noprint_wrappers=1:nokey=1", file.string()},
                              kRunLimit);
    d.ran = r.exited(0);
    d.errors = r.err;
    try {
        d.frames = std::stoll(r.out);
    } catch (const std::exception&) {
        d.errors += " (no frame count: '" + r.out + "')";
    }
    return d;
}

class TempDirectory {
public:
    TempDirectory()
        : path_(fs::temp_directory_path() / ("vapixcam-live-cli-" + std::to_string(getpid())))
    {
        fs::create_directories(path_);
    }
    ~TempDirectory()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// --- video arrives -----------------------------------------------------------

TEST(VapixcamLive, ReceivesEveryCodecOverEveryTransportAndWritesAPlayableFile)
{
    REQUIRE_BINARIES();
    CamsimProcess camsim;
    REQUIRE_CAMSIM_RTSP(camsim);
    TempDirectory temp;

    // AXIS M1065-LW 9.10.1 lists Properties.Image.Format=jpeg,mjpeg,h264.
    struct Case {
        const char* codec;
        const char* transport;
        const char* rawFormat;
    };
    const Case cases[] = {
        {"H264", "tcp", "h264"},   {"H264", "udp", "h264"},   {"H264", "rtspoverhttp", "h264"},
        {"MJPEG", "tcp", "mjpeg"}, {"MJPEG", "udp", "mjpeg"}, {"MJPEG", "rtspoverhttp", "mjpeg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " over " + c.transport);
        const fs::path out = temp.path() / (std::string(c.transport) + "." + c.rawFormat);
        const ProcessResult r = vapixcam({"live", camsim.url(), "--codec", c.codec, "--transport",
                                          c.transport, "--seconds", "3", "--timeout", "30", "--out",
                                          out.string()});
        ASSERT_TRUE(r.exited(0)) << r.summary();
        EXPECT_TRUE(ownLines(r.err).empty()) << r.err;
        const Json::Value j = parseJson(r.out);
        EXPECT_EQ(j["codec"], c.codec);
        EXPECT_EQ(j["transport"], c.transport);
        EXPECT_GT(j["frames"].asUInt64(), 0u);
        EXPECT_GT(j["keyFrames"].asUInt64(), 0u);
        EXPECT_GE(j["frames"].asUInt64(), j["keyFrames"].asUInt64());
        EXPECT_GT(j["bytes"].asUInt64(), j["frames"].asUInt64());
        EXPECT_EQ(j["lostFrames"], 0);
        EXPECT_EQ(j["reconnects"], 0);
        EXPECT_TRUE(j["firstFrameMs"].isIntegral());
        EXPECT_EQ(j["file"], out.string());

        const Decoded d = decodeAll(c.rawFormat, out);
        EXPECT_TRUE(d.ran);
        EXPECT_EQ(d.errors, "") << "decode errors in " << out;
        EXPECT_EQ(d.frames, j["framesWritten"].asInt64());
        EXPECT_GT(d.frames, 0);
    }
}

// camsim answers VAPIX and names GStreamer's RTSP server as its RTSP port;
// that server replays a recorded clip at the camera's media path (it matches
// the path and ignores the query). Every picture of the clip must come out
// of the driver once, in a file that decodes to the same pictures. The clip
// lasts 2 s, then the server ends the session with RTCP BYE; the source
// counts that as one reconnect and reopens the session 10 s later at the
// earliest, so a 6 s reception holds the clip exactly once. The signal-lost
// time of 30 s keeps the end of the clip from being reported as lost signal.
TEST(VapixcamLive, DeliversEveryPictureOfARecordedStreamThroughTheDriver)
{
    REQUIRE_BINARIES();
    const std::string why = TestSupport::whyNoClipServer();
    if (!why.empty())
        GTEST_SKIP() << why;
    TempDirectory temp;
    constexpr int kFrames = 50; // 2 s at 25 frames/s, a key frame every 10 in H.264
    const std::string h264 = (temp.path() / "h264.mkv").string();
    const std::string mjpeg = (temp.path() / "mjpeg.mkv").string();
    ASSERT_EQ(TestSupport::recordClip("h264", kFrames, h264), "");
    ASSERT_EQ(TestSupport::recordClip("mjpeg", kFrames, mjpeg), "");
    TestSupport::GstClipServer h264Server({"/axis-media/media.amp=h264:" + h264});
    TestSupport::GstClipServer mjpegServer({"/axis-media/media.amp=mjpeg:" + mjpeg});
    ASSERT_NE(h264Server.port(), 0) << h264Server.errors();
    ASSERT_NE(mjpegServer.port(), 0) << mjpegServer.errors();

    struct Case {
        const char* codec;
        const char* transport;
        const TestSupport::GstClipServer* server;
        const std::string* clip;
        const char* rawFormat;
        int keyFrames;
    };
    const Case cases[] = {
        {"H264", "tcp", &h264Server, &h264, "h264", 5},
        {"H264", "udp", &h264Server, &h264, "h264", 5},
        {"MJPEG", "tcp", &mjpegServer, &mjpeg, "mjpeg", kFrames},
        {"MJPEG", "udp", &mjpegServer, &mjpeg, "mjpeg", kFrames},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " over " + c.transport);
        CamsimOptions options;
        options.rtsp = false;
        options.params = {"Network.RTSP.Port=" + std::to_string(c.server->port())};
        CamsimProcess camsim(options);
        const fs::path out = temp.path() / (std::string(c.codec) + "-" + c.transport + "." + c.rawFormat);
        const ProcessResult r =
            vapixcam({"live", camsim.url(), "--codec", c.codec, "--transport", c.transport, "--seconds", "6",
                      "--signal-lost", "30", "--timeout", "30", "--out", out.string()});
        ASSERT_TRUE(r.exited(0)) << r.summary();
        EXPECT_TRUE(ownLines(r.err).empty()) << r.err;
        const Json::Value j = parseJson(r.out);
        EXPECT_EQ(j["codec"], c.codec);
        EXPECT_EQ(j["transport"], c.transport);
        EXPECT_EQ(j["frames"], kFrames);
        EXPECT_EQ(j["keyFrames"], c.keyFrames);
        EXPECT_EQ(j["framesWritten"], kFrames);
        EXPECT_EQ(j["bytes"].asUInt64(), fs::file_size(out));
        EXPECT_EQ(j["lostFrames"], 0);
        EXPECT_EQ(j["reconnects"], 1);
        EXPECT_EQ(j["signalLost"], 0);
        EXPECT_TRUE(j["firstFrameMs"].isIntegral());

        const auto sent = TestSupport::pictureDigests({"-i", *c.clip});
        ASSERT_EQ(sent.size(), static_cast<std::size_t>(kFrames)) << sent.front();
        EXPECT_EQ(TestSupport::pictureDigests({"-f", c.rawFormat, "-i", out.string()}), sent);
    }
}

// --- no video: one line, its exit code, nothing on stdout --------------------

TEST(VapixcamLive, EndsWithOneLineWhenNoVideoComes)
{
    REQUIRE_BINARIES();
    CamsimProcess camsim;
    const std::string address = "http://127.0.0.1:" + std::to_string(camsim.httpPort());
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string line;
    };
    const Case cases[] = {
        // The repository's M1065-LW description has one video channel.
        {"a channel the camera does not have",
         {"--model", "M1065-LW", "--channel", "3"},
         1,
         "vapixcam: " + address + " has no video channel 3 stream 0"},
        {"a wrong password",
         {},
         2,
         "vapixcam: cannot connect to " + address + ": wrong user name or password (code 0x201)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool wrongPassword = c.exitCode == 2;
        std::vector<std::string> arguments = {
            "live", wrongPassword ? camsim.url("root", "not-the-password") : camsim.url(), "--timeout",
            "20"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult r = vapixcam(arguments);
        EXPECT_TRUE(r.exited(c.exitCode)) << r.summary();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(ownLines(r.err), std::vector<std::string>{c.line}) << r.err;
        EXPECT_EQ(r.err.find("not-the-password"), std::string::npos);
    }
}

TEST(VapixcamLive, NoFrameWithinTheTimeOutEndsWithExitCode3)
{
    REQUIRE_BINARIES();
    // No RTSP port at all, so the driver tunnels RTSP over HTTP, and the
    // camera's media path answers 503 on HTTP.
    CamsimOptions options;
    options.password = "S3cr3t-Pw";
    options.rtsp = false;
    options.faults = {"/axis-media/media.amp=status:503"};
    CamsimProcess camsim(options);
    const ProcessResult r = vapixcam({"live", camsim.url(), "--timeout", "3", "--log-level", "0"});
    EXPECT_TRUE(r.exited(3)) << r.summary();
    EXPECT_EQ(r.out, "");
    const auto own = ownLines(r.err);
    ASSERT_EQ(own.size(), 1u) << r.err;
    EXPECT_EQ(own[0].rfind("vapixcam: no frame from http://127.0.0.1:" +
                               std::to_string(camsim.httpPort()) +
                               " channel 0 stream 0 over tcp within 3 s",
                           0),
              0u)
        << own[0];
    EXPECT_EQ(r.err.find("S3cr3t-Pw"), std::string::npos) << "the password reached the log";
}

TEST(VapixcamLive, WrongOptionsAreUsageErrors)
{
    REQUIRE_BINARIES();
    const std::vector<std::vector<std::string>> cases = {
        {"live"},
        {"live", "http://127.0.0.1:9", "--transport", "sctp"},
        {"live", "http://127.0.0.1:9", "--stream", "2"},
        {"live", "http://127.0.0.1:9", "--seconds", "-1"},
        {"live", "http://127.0.0.1:9", "--timeout", "0"},
    };
    for (const auto& arguments : cases) {
        std::string name;
        for (const auto& a : arguments)
            name += a + " ";
        SCOPED_TRACE(name);
        const ProcessResult r = vapixcam(arguments);
        EXPECT_TRUE(r.exited(64)) << r.summary();
        EXPECT_EQ(r.out, "");
    }
}

} // namespace

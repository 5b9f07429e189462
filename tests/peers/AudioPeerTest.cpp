// `vapixcam audio` against GStreamer's RTSP server (the HTTP side is camsim,
// whose Network.RTSP.Port sends the driver there) replaying a WAV file as a
// G.711 track: the WAV the command writes must be what ffprobe reads as
// 8 kHz mono 16-bit PCM of the length the summary claims.
#include "support/CamsimProcess.h"
#include "support/GstClipServer.h"
#include "support/ProcessRunner.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <json/json.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The tools of the plain build, also when the tests themselves run sanitized.
const std::string kBin = TestSupport::CamsimProcess::toolsDirectory();

Json::Value parseJson(const std::string& text)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(text.substr(0, text.find('\n')));
    Json::parseFromStream(builder, in, &value, &errors);
    return value;
}

} // namespace

TEST(AudioPeer, WavFromAGstreamerG711TrackReadsBackWithRateAndDuration)
{
    if (access((kBin + "/vapixcam").c_str(), X_OK) != 0 || !TestSupport::CamsimProcess::available())
        GTEST_SKIP() << "vapixcam or camsim is not built";
    const std::string why = TestSupport::whyNoClipServer();
    if (!why.empty())
        GTEST_SKIP() << why;
    const fs::path dir = fs::temp_directory_path() / ("vapixcam-audio-peer-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string clip = (dir / "tone.wav").string();
    const auto made = TestSupport::runProcess({"/usr/bin/ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                                               "-i", "sine=frequency=800:sample_rate=8000:duration=4", "-c:a",
                                               "pcm_s16le", clip},
                                              std::chrono::seconds(60));
    ASSERT_TRUE(made.exited(0)) << made.err;

    TestSupport::GstClipServer server({"/axis-media/media.amp=pcmu:" + clip});
    ASSERT_NE(server.port(), 0) << server.errors();
    TestSupport::CamsimOptions options;
    options.rtsp = false;
    options.params = {"Network.RTSP.Port=" + std::to_string(server.port())};
    TestSupport::CamsimProcess camsim(options);

    const std::string out = (dir / "received.wav").string();
    const auto run = TestSupport::runProcess({kBin + "/vapixcam", "audio", camsim.url(), "--seconds", "2",
                                              "--timeout", "30", "--out", out},
                                             std::chrono::seconds(120));
    ASSERT_TRUE(run.exited(0)) << run.summary() << run.err;
    const Json::Value summary = parseJson(run.out);
    EXPECT_EQ(summary["codec"].asString(), "G.711");
    EXPECT_EQ(summary["sampleRate"].asUInt(), 8000u);
    EXPECT_EQ(summary["lostFrames"].asUInt(), 0u);

    const auto probe = TestSupport::runProcess(
        {"/usr/bin/ffprobe", "-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels:format=duration", "-of",
         "default=noprint_wrappers=1", out},
        std::chrono::seconds(60));
    ASSERT_TRUE(probe.exited(0)) << probe.err;
    EXPECT_NE(probe.out.find("codec_name=pcm_s16le"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("sample_rate=8000"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("channels=1"), std::string::npos) << probe.out;
    const auto at = probe.out.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe.out;
    const double duration = std::stod(probe.out.substr(at + 9));
    // What the summary counted is what the file holds, to the sample.
    EXPECT_NEAR(duration, summary["seconds"].asDouble(), 0.001);
    EXPECT_GE(duration, 1.9);
    EXPECT_LE(duration, 2.5);
    fs::remove_all(dir);
}

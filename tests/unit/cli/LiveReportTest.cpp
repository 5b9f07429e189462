// What `vapixcam live` makes of the frames and reports a video source hands
// it: the counters, the file it writes, and the status line.
//
// The command line's own sources are compiled into this test directly: the
// tool is an executable, not a library the tests could link.
#include "CliError.h"
#include "ErrorMeaning.h"
#include "StatusLine.h"
#include "VideoSink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

using namespace VapixcamCli;
namespace fs = std::filesystem;

namespace {

// Access units as an H.264 camera sends them: an IDR access unit with its
// parameter sets (SPS, PPS, IDR slice) and non-IDR slices.
const std::string kIdr = std::string("\0\0\0\1\x67\x42\xc0\x1f", 8) + std::string("\0\0\0\1\x68\xce\x3c\x80", 8) +
                         std::string("\0\0\0\1\x65\x88\x84\x00", 8);
const std::string kSliceA = std::string("\0\0\0\1\x41\x9a\x02\x11", 8);
const std::string kSliceB = std::string("\0\0\0\1\x41\x9a\x04\x22", 8);
// A JPEG reduced to its markers: SOI ... EOI.
const std::string kJpeg = std::string("\xff\xd8\xff\xdb\x00\x43\x00\xff\xd9", 9);

struct FrameIn {
    const char* codec;
    const std::string* bytes;
    bool key;
};

void deliver(VideoSink& sink, const FrameIn& f)
{
    Orix::GDRV::MediaFrame frame;
    frame.codec = f.codec;
    frame.data = reinterpret_cast<const std::uint8_t*>(f.bytes->data());
    frame.size = static_cast<std::uint32_t>(f.bytes->size());
    frame.keyFrame = f.key;
    sink.OnFrame(nullptr, frame);
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path tempFile(const std::string& name)
{
    return fs::temp_directory_path() / ("vapixcam-live-" + std::to_string(getpid()) + "-" + name);
}

TEST(VideoSink, FileStartsAtTheFirstKeyFrameAndHoldsOnlyTheFirstCodec)
{
    struct Case {
        const char* name;
        std::vector<FrameIn> frames;
        std::string file;
        std::uint64_t frameCount, keyFrames, bytes, written, otherCodec;
        const char* codec;
    };
    const Case cases[] = {
        {"starts with a key frame",
         {{"H264", &kIdr, true}, {"H264", &kSliceA, false}, {"H264", &kSliceB, false}},
         kIdr + kSliceA + kSliceB, 3, 1, 40, 3, 0, "H264"},
        {"slices before the first key frame are counted, not written",
         {{"H264", &kSliceA, false}, {"H264", &kSliceB, false}, {"H264", &kIdr, true}, {"H264", &kSliceA, false}},
         kIdr + kSliceA, 4, 1, 48, 2, 0, "H264"},
        {"a codec change leaves the file to the first codec",
         {{"H264", &kIdr, true}, {"MJPEG", &kJpeg, true}, {"H264", &kSliceA, false}},
         kIdr + kSliceA, 3, 2, 41, 2, 1, "H264"},
        {"JPEG after JPEG", {{"MJPEG", &kJpeg, true}, {"MJPEG", &kJpeg, true}}, kJpeg + kJpeg, 2, 2, 18, 2, 0,
         "MJPEG"},
        {"no key frame at all", {{"H264", &kSliceA, false}}, "", 1, 0, 8, 0, 0, "H264"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = tempFile("sink.bin");
        {
            VideoSink sink(path.string());
            for (const FrameIn& f : c.frames)
                deliver(sink, f);
            EXPECT_EQ(sink.finish(), "");
            const LiveCounters n = sink.snapshot();
            EXPECT_EQ(n.codec, c.codec);
            EXPECT_EQ(n.frames, c.frameCount);
            EXPECT_EQ(n.keyFrames, c.keyFrames);
            EXPECT_EQ(n.bytes, c.bytes);
            EXPECT_EQ(n.framesWritten, c.written);
            EXPECT_EQ(n.otherCodecFrames, c.otherCodec);
            EXPECT_TRUE(n.firstFrameAt.has_value());
        }
        EXPECT_EQ(readFile(path), c.file);
        fs::remove(path);
    }
}

TEST(VideoSink, EmptyOrOversizedFramesAreLeftOut)
{
    VideoSink sink;
    Orix::GDRV::MediaFrame empty;
    empty.codec = "H264";
    empty.keyFrame = true;
    sink.OnFrame(nullptr, empty);
    Orix::GDRV::MediaFrame huge = empty;
    huge.data = reinterpret_cast<const std::uint8_t*>(kIdr.data());
    huge.size = VideoSink::kMaxFrameBytes + 1;
    sink.OnFrame(nullptr, huge);
    const LiveCounters n = sink.snapshot();
    EXPECT_EQ(n.frames, 0u);
    EXPECT_FALSE(n.firstFrameAt.has_value());
    EXPECT_EQ(sink.finish(), "");
}

TEST(VideoSink, AFileThatCannotBeCreatedIsAClearError)
{
    try {
        VideoSink sink("/nonexistent-directory/out.h264");
        ADD_FAILURE() << "no error";
    } catch (const CliError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot create /nonexistent-directory/out.h264: No such file or directory");
        EXPECT_EQ(e.exitCode(), kExitError);
    }
}

TEST(VideoSink, LostFramesReconnectsAndSignalLossAsTheSourceReportsThem)
{
    struct Report {
        enum Kind { Statistic, Started, Failed } kind;
        const char* name;
        double value;
    };
    struct Case {
        const char* name;
        std::vector<Report> reports;
        std::uint64_t lost, reconnects, failures;
        std::uint32_t lastFailure;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"running totals: the last one counts",
         {{Report::Statistic, "lostFrames", 3}, {Report::Statistic, "lostFrames", 7}}, 7, 0, 0, 0},
        {"values that are no counters are left out",
         {{Report::Statistic, "lostFrames", 4}, {Report::Statistic, "lostFrames", -1},
          {Report::Statistic, "lostFrames", nan}, {Report::Statistic, "lostFrames", 1e300}},
         4, 0, 0, 0},
        {"the first stream start is no reconnect",
         {{Report::Started, nullptr, 0}, {Report::Started, nullptr, 0}, {Report::Started, nullptr, 0}}, 0, 2, 0,
         0},
        {"a reported count above the starts seen wins",
         {{Report::Started, nullptr, 0}, {Report::Statistic, "reconnects", 5}, {Report::Started, nullptr, 0}}, 0,
         5, 0, 0},
        {"rates and unknown names change nothing",
         {{Report::Statistic, "fps", 25}, {Report::Statistic, "kbps", 4000}, {Report::Statistic, nullptr, 1}}, 0,
         0, 0, 0},
        {"signal lost twice, timeout then connection refused",
         {{Report::Failed, nullptr, 0x103}, {Report::Failed, nullptr, 0x101}}, 0, 0, 2, 0x101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VideoSink sink;
        for (const Report& r : c.reports) {
            switch (r.kind) {
            case Report::Statistic: sink.OnStatistic(nullptr, r.name, r.value); break;
            case Report::Started: sink.OnStreamStarted(nullptr); break;
            case Report::Failed: sink.Failed(nullptr, static_cast<std::uint32_t>(r.value ? r.value : 0)); break;
            }
        }
        const LiveCounters n = sink.snapshot();
        EXPECT_EQ(n.lostFrames, c.lost);
        EXPECT_EQ(n.reconnects, c.reconnects);
        EXPECT_EQ(n.failures, c.failures);
        EXPECT_EQ(n.lastFailure, c.lastFailure);
    }
}

LiveCounters counters(const char* codec, std::uint64_t frames, std::uint64_t keys, std::uint64_t bytes,
                      std::uint64_t lost = 0, std::uint64_t reconnects = 0)
{
    LiveCounters c;
    c.codec = codec;
    c.frames = frames;
    c.keyFrames = keys;
    c.bytes = bytes;
    c.lostFrames = lost;
    c.reconnects = reconnects;
    return c;
}

TEST(StatusLine, RatesOverTheIntervalTotalsSoFar)
{
    LiveCounters failed;
    failed.failures = 2;
    failed.lastFailure = 0x103;
    struct Case {
        const char* name;
        LiveCounters before, now;
        int intervalMs;
        const char* line;
    };
    const Case cases[] = {
        {"1080p at 25 fps and 4 Mbit/s", counters("H264", 100, 4, 2000000), counters("H264", 125, 5, 2500000), 1000,
         "H264  25.0 fps  4000 kbit/s  frames 125 (key 5)  lost 0  reconnects 0"},
        {"half a second of MJPEG", counters("MJPEG", 0, 0, 0), counters("MJPEG", 6, 6, 180000), 500,
         "MJPEG  12.0 fps  2880 kbit/s  frames 6 (key 6)  lost 0  reconnects 0"},
        {"losses and a reconnect", counters("H265", 500, 20, 9000000), counters("H265", 510, 20, 9100000, 3, 1), 1000,
         "H265  10.0 fps  800 kbit/s  frames 510 (key 20)  lost 3  reconnects 1"},
        {"no interval yet", counters("H264", 1, 1, 100), counters("H264", 1, 1, 100), 0,
         "H264  0.0 fps  0 kbit/s  frames 1 (key 1)  lost 0  reconnects 0"},
        {"waiting", LiveCounters{}, LiveCounters{}, 500, "waiting for the first frame"},
        {"waiting after failures", LiveCounters{}, failed, 500,
         "waiting for the first frame  failures 2 (last 0x103)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatStatusLine(c.before, c.now, std::chrono::milliseconds(c.intervalMs)), c.line);
    }
}

TEST(StatusLine, RewritesTheLineAtMostOncePerPeriodAndOnlyWhenEnabled)
{
    using std::chrono::milliseconds;
    const StatusLine::Clock::time_point t0{};
    std::ostringstream shown;
    {
        StatusLine line(shown, true, milliseconds(500));
        line.update(counters("H264", 0, 0, 0), t0);
        line.update(counters("H264", 10, 1, 50000), t0 + milliseconds(400));
        EXPECT_EQ(shown.str(), "");
        line.update(counters("H264", 25, 1, 500000), t0 + milliseconds(1000));
        EXPECT_EQ(shown.str(), "\r\x1b[2KH264  25.0 fps  4000 kbit/s  frames 25 (key 1)  lost 0  reconnects 0");
        line.clear();
        EXPECT_EQ(shown.str().substr(shown.str().size() - 5), "\r\x1b[2K");
    }

    std::ostringstream hidden;
    {
        StatusLine line(hidden, false, milliseconds(500));
        line.update(counters("H264", 0, 0, 0), t0);
        line.update(counters("H264", 25, 1, 500000), t0 + milliseconds(1000));
        line.clear();
    }
    EXPECT_EQ(hidden.str(), "");
}

} // namespace

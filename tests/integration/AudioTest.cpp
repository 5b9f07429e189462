// Audio end to end: `vapixcam audio` against camsim's microphone over RTSP
// and over HTTP must decode to the tone camsim sends, in each encoding the
// camera can be set to; `vapixcam speak` must arrive at camsim's speaker
// byte for byte as encoded; the source's Start and Stop rules hold through
// the module.
#include "Device.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"
#include "support/ProcessRunner.h"
#include "support/Tone.h"

#include <netkit/audio/G711.h>
#include <netkit/audio/G726.h>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Base64.h>
#include <netkit/rtsp/RtspError.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <json/json.h>
#include <condition_variable>
#include <thread>
#include <mutex>
#include <unistd.h>

using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;
namespace fs = std::filesystem;

namespace {

// The tools of the plain build, also when the tests themselves run sanitized.
const std::string kBin = CamsimProcess::toolsDirectory();
const std::string kVapixcam = kBin + "/vapixcam";
const std::string kModule = kBin + "/Velto.Vapixcam.vdx";
constexpr double kToneHz = 800; // camsim's clips

#define REQUIRE_BINARIES()                                                                                       \
    do {                                                                                                         \
        if (access(kVapixcam.c_str(), X_OK) != 0 || access(kModule.c_str(), R_OK) != 0 ||                        \
            !CamsimProcess::available())                                                                         \
            GTEST_SKIP() << "vapixcam, camsim or the module is not built in " << kBin;                           \
    } while (false)

TestSupport::ProcessResult vapixcam(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), kVapixcam);
    return TestSupport::runProcess(arguments, std::chrono::seconds(120));
}

Json::Value lastJsonLine(const std::string& text)
{
    std::istringstream in(text);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty() && line[0] == '{')
            last = line;
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream stream(last);
    Json::parseFromStream(builder, stream, &value, &errors);
    return value;
}

struct Pcm {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0, bits = 0;
    std::vector<std::int16_t> samples;
};

// The test's own reading of a 16-bit PCM WAV (fmt and data chunks).
Pcm readPcmWav(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto u32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
    };
    const auto u16 = [&](std::size_t at) { return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8); };
    Pcm pcm;
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0)
        return pcm;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::string id = b.substr(at, 4);
        std::size_t size = u32(at + 4);
        if (id == "fmt ") {
            pcm.channels = u16(at + 10);
            pcm.rate = u32(at + 12);
            pcm.bits = u16(at + 22);
        } else if (id == "data") {
            size = std::min(size, b.size() - at - 8);
            for (std::size_t i = 0; i + 1 < size; i += 2)
                pcm.samples.push_back(static_cast<std::int16_t>(u16(at + 8 + i)));
            break;
        }
        at += 8 + size + (size & 1);
    }
    return pcm;
}

std::string tempPath(const std::string& name)
{
    return (fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()))).string();
}

} // namespace

TEST(AudioReceive, DecodesTheToneCamsimSends)
{
    REQUIRE_BINARIES();
    const struct {
        const char* name;
        std::string model;
        std::vector<std::string> params;
        const char* transport;
        const char* codec;
        std::uint32_t rate;
        double minSnr;
    } cases[] = {
        {"G.711 over RTSP/TCP", "P5512", {}, "tcp", "G.711", 8000, 30},
        {"G.726-32 over RTSP/UDP", "P5512", {"AudioSource.A0.AudioEncoding=g726", "AudioSource.A0.BitRate=32000"},
         "udp", "G.726-32", 8000, 30},
        {"AAC 16 kHz over RTSP/TCP", "M3058-PLVE", {}, "tcp", "AAC", 16000, 25},
        {"G.711 over HTTP", "P5512", {}, "http", "G.711", 8000, 30},
        {"G.726-24 over HTTP", "P5512", {"AudioSource.A0.AudioEncoding=g726", "AudioSource.A0.BitRate=24000"},
         "http", "G.726-24", 8000, 22},
        {"AAC 8 kHz over HTTP (ADTS)", "M1065-LW", {}, "http", "AAC", 8000, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CamsimOptions options;
        options.model = c.model;
        options.params = c.params;
        CamsimProcess camsim(options);
        const std::string wav = tempPath("audio.wav");
        const auto run = vapixcam({"audio", camsim.url(), "--transport", c.transport, "--seconds", "2", "--out", wav,
                                   "--module", kModule});
        ASSERT_TRUE(run.exited(0)) << run.summary() << run.err;
        const auto summary = lastJsonLine(run.out);
        EXPECT_EQ(summary["codec"].asString(), c.codec);
        EXPECT_EQ(summary["sampleRate"].asUInt(), c.rate);
        EXPECT_GT(summary["frames"].asUInt(), 0u);
        EXPECT_GE(summary["seconds"].asDouble(), 1.7); // 2 s after the first frame, whole frames
        EXPECT_EQ(summary["lostFrames"].asUInt(), 0u);
        const Pcm pcm = readPcmWav(wav);
        fs::remove(wav);
        EXPECT_EQ(pcm.rate, c.rate);
        EXPECT_EQ(pcm.channels, 1);
        EXPECT_EQ(pcm.bits, 16);
        ASSERT_GT(pcm.samples.size(), c.rate);
        // The first 100 ms hold the codec's start-up.
        const std::vector<std::int16_t> settled(pcm.samples.begin() + c.rate / 10, pcm.samples.end());
        EXPECT_GT(TestSupport::toneSnrDb(settled, kToneHz, c.rate), c.minSnr);
        // A neighbouring frequency does not fit: the tone really is 800 Hz.
        EXPECT_LT(TestSupport::toneSnrDb(settled, kToneHz * 1.25, c.rate), 0);
        const bool rtsp = std::string(c.transport) != "http";
        bool sawReceive = false, sawEnable = false;
        for (const auto& r : camsim.requests()) {
            sawReceive |= r.target.rfind("/axis-cgi/audio/receive.cgi?audiochannel=1", 0) == 0;
            sawEnable |= r.target.find("root.Audio.A0.Enabled=yes&AudioSource.A0.AudioSupport=yes") != std::string::npos;
        }
        EXPECT_EQ(sawReceive, !rtsp);
        EXPECT_TRUE(sawEnable);
    }
}

TEST(AudioTransmit, SpeakArrivesAsEncoded)
{
    REQUIRE_BINARIES();
    const auto tone = TestSupport::sineTone(440, 8000, 8000 * 3 / 2, 0.4);
    const std::string wav = tempPath("speak.wav");
    {
        std::ofstream out(wav, std::ios::binary);
        const auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
        const auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
        const std::uint32_t bytes = static_cast<std::uint32_t>(tone.size() * 2);
        out.write("RIFF", 4);
        u32(36 + bytes);
        out.write("WAVEfmt ", 8);
        u32(16); u16(1); u16(1); u32(8000); u32(16000); u16(2); u16(16);
        out.write("data", 4);
        u32(bytes);
        out.write(reinterpret_cast<const char*>(tone.data()), bytes);
    }
    const struct {
        const char* codec;
        const char* contentType;
    } cases[] = {{"g711", "audio/basic"}, {"g726-32", "audio/G726-32"}, {"g726-24", "audio/G726-24"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        CamsimOptions options;
        options.model = "P5512";
        CamsimProcess camsim(options);
        const auto run = vapixcam({"speak", camsim.url(), wav, "--codec", c.codec, "--module", kModule});
        ASSERT_TRUE(run.exited(0)) << run.summary() << run.err;
        const auto summary = lastJsonLine(run.out);
        EXPECT_EQ(summary["result"].asInt(), 0);
        EXPECT_EQ(summary["frames"].asUInt(), 75u); // 1.5 s in 20 ms frames

        // What the encoders make of the same samples, in 20 ms frames.
        std::string expected;
        Orix::Utility::G726StreamEncoder g726(std::string(c.codec) == "g726-24" ? 24000 : 32000,
                                              Orix::Utility::G726Packing::rfc3551);
        for (std::size_t at = 0; at < tone.size(); at += 160) {
            const auto bytes = std::string(c.codec) == "g711"
                                   ? Orix::Utility::encodeG711(Orix::Utility::G711Law::mulaw, tone.data() + at, 160)
                                   : g726.encode(tone.data() + at, 160);
            expected.append(bytes.begin(), bytes.end());
        }
        // camsim notices the end of the POST on its own time: ask until it has.
        Json::Value kept;
        const Json::Value* sound = nullptr;
        for (int attempt = 0; attempt < 50 && (!sound || (*sound)["open"].asBool()); ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto answer = TestSupport::plainHttpRequest(camsim.httpPort(), "GET", "/camsim/audio");
            ASSERT_EQ(answer.status, 200) << answer.error;
            std::istringstream in(answer.body);
            Json::CharReaderBuilder builder;
            std::string errors;
            ASSERT_TRUE(Json::parseFromStream(builder, in, &kept, &errors)) << errors;
            sound = nullptr;
            for (const auto& t : kept["transmissions"])
                if (t["bytes"].asUInt() > 0)
                    sound = &t;
        }
        ASSERT_NE(sound, nullptr) << "nothing received";
        EXPECT_EQ((*sound)["contentType"].asString(), c.contentType);
        EXPECT_FALSE((*sound)["open"].asBool());
        std::string data;
        ASSERT_TRUE(Orix::Utility::base64Decode((*sound)["data"].asString(), data));
        EXPECT_EQ(data.size(), expected.size());
        EXPECT_TRUE(data == expected) << "the camera received other bytes than were sent";
    }
    fs::remove(wav);
}

namespace {

class FrameCounter final : public Orix::GDRV::IAudioSourceHandler {
public:
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void OnAudioFrame(const Orix::IContract*, const Orix::GDRV::AudioFrame&) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++frames_;
        changed_.notify_all();
    }
    void OnStatistic(const Orix::IContract*, const char*, double) override {}
    void Failed(const Orix::IContract*, std::uint32_t result) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.push_back(result);
        changed_.notify_all();
    }
    bool waitForFrames(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return frames_ >= n; });
    }
    bool waitForFailure()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return !failures_.empty(); });
    }
    std::vector<std::uint32_t> failures() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return failures_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t frames_ = 0;
    std::vector<std::uint32_t> failures_;
};

Orix::GDRV::DeviceDescription genericDescription()
{
    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    return description;
}

} // namespace

// Start twice and Stop twice through the device's channel factory; a camera
// that refuses the audio path is reported to the host once, however often
// the source reconnects.
TEST(AudioSourceLifecycle, StartStopTwiceAndOneFailureReport)
{
    if (!CamsimProcess::available())
        GTEST_SKIP() << "camsim is not built";
    Orix::http::clearAuthenticationCache();
    CamsimOptions options;
    options.model = "P5512";
    CamsimProcess camsim(options);
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler;
    auto device = std::make_unique<Vapixcam::Device>(&deviceHandler, genericDescription(), "generic", "", nullptr, log);
    device->Connect(camsim.url().c_str());
    ASSERT_TRUE(deviceHandler.waitFor(Orix::GDRV::ConnectionState::Connected)) << log->all();

    FrameCounter handler;
    auto* source = device->CreateAudioSource(&handler, 0, nullptr);
    ASSERT_NE(source, nullptr);
    source->Stop();
    EXPECT_EQ(log->count("Skip stopping, as not started"), 1u);
    source->Start(&handler);
    source->Start(&handler);
    EXPECT_EQ(log->count("Skip starting, as already started"), 1u);
    EXPECT_TRUE(handler.waitForFrames(25)) << log->all();
    source->Stop();
    source->Stop();
    EXPECT_EQ(log->count("Skip stopping, as not started"), 2u);
    EXPECT_TRUE(handler.failures().empty());

    // The media path refused twice in a row: one report, then it recovers.
    camsim.injectFault("/axis-media/media.amp", "status:503", 2);
    FrameCounter refused;
    source->Start(&refused);
    EXPECT_TRUE(refused.waitForFailure());
    EXPECT_TRUE(refused.waitForFrames(1)) << "no recovery after the faults: " << log->all();
    EXPECT_EQ(refused.failures().size(), 1u);
    source->Stop();
    source->Destroy();
    device->Disconnect();
}

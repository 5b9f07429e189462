#include "AudioParameters.h"

#include <gtest/gtest.h>

using namespace Vapixcam;

TEST(AudioParameters, ReceiveContentTypesGiveCodecAndBitrate)
{
    const struct {
        const char* contentType;
        const char* algorithm; // null: refused
        std::uint32_t bitrate;
    } cases[] = {
        {"audio/basic", "G.711", 64000},         {"audio/32KADPCM", "G.726", 32000},
        {"audio/G723", "G.726", 24000},          {"audio/G726-32", "G.726", 32000},
        {"audio/G726-24", "G.726", 24000},       {"audio/mpeg4-generic", "AAC", 0},
        {"Audio/Basic; charset=x", "G.711", 64000}, {"audio/axis-mulaw-128", nullptr, 0},
        {"multipart/x-mixed-replace;boundary=b", nullptr, 0}, {"", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType);
        const auto format = receivedAudioFormat(c.contentType);
        ASSERT_EQ(format.has_value(), c.algorithm != nullptr);
        if (format) {
            EXPECT_EQ(format->algorithm, c.algorithm);
            EXPECT_EQ(format->bitrate, c.bitrate);
        }
    }
}

TEST(AudioParameters, TransmitContentTypeOfTheFirstFrame)
{
    const struct {
        const char* algorithm;
        std::uint32_t bitrate, encoding;
        const char* contentType;
    } cases[] = {
        {"G.711", 64000, 1, "audio/basic"},  {"G.726", 32000, 1, "audio/G726-32"},
        {"G.726", 24000, 1, "audio/G726-24"}, {"G.711", 64000, 2, ""}, // A-law: no row
        {"G.726", 16000, 1, ""},              {"AAC", 32000, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.algorithm) + " " + std::to_string(c.bitrate));
        EXPECT_EQ(transmitContentType(c.algorithm, c.bitrate, c.encoding), c.contentType);
    }
}

TEST(AudioParameters, DependentBitratesByCodecAndSampleRate)
{
    const struct {
        const char* codec;
        const char* rate;
        std::vector<std::uint32_t> bitrates;
    } cases[] = {
        {"g711", "8000", {64000}},
        {"g726", "8000", {24000, 32000}},
        {"aac", "8000", {8000, 12000, 16000, 24000, 32000}},
        {"aac", "16000", {16000, 24000, 32000, 48000, 64000}},
        {"aac", "32000", {16000, 24000, 32000, 48000, 64000, 128000}},
        {"aac", "44100", {32000, 48000, 64000, 128000}},
        {"aac", "48000", {32000, 48000, 64000, 128000}},
        {"g711", "16000", {}},
        {"opus", "48000", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + "/" + c.rate);
        EXPECT_EQ(dependentBitrates(c.codec, c.rate), c.bitrates);
    }
}

TEST(AudioParameters, UpdateRequestOfASettingsChange)
{
    const auto url = [](const AudioSettingsChange& change) { return audioUpdateUrl(1, change); };
    AudioSettingsChange aac;
    aac.codec = "aac";
    aac.bitRate = "64000"; // overridden by the codec's default
    EXPECT_EQ(url(aac), "/axis-cgi/operator/param.cgi?action=update&AudioSource.A1.AudioEncoding=aac"
                        "&AudioSource.A1.BitRate=24000&AudioSource.A1.SampleRate=8000");
    AudioSettingsChange gains;
    gains.bitRate = "32000";
    gains.micGain = "20";
    gains.inputGain = "-3";
    gains.micBalanced = false;
    gains.micPower = true;
    EXPECT_EQ(url(gains), "/axis-cgi/operator/param.cgi?action=update&AudioSource.A1.BitRate=32000"
                          "&AudioSource.A1.InputPreGain=20&AudioSource.A1.InputGain=-3"
                          "&AudioSource.A1.MicrophoneBalanced=no&AudioSource.A1.MicrophonePower=yes");
    AudioSettingsChange opus;
    opus.codec = "opus";
    EXPECT_FALSE(url(opus));
    EXPECT_EQ(enableAudioUrl(0), "/axis-cgi/operator/param.cgi?action=update&root.Audio.A0.Enabled=yes"
                                 "&AudioSource.A0.AudioSupport=yes");
}

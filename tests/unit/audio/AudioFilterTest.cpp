#include <netkit/audio/Adts.h>
#include <netkit/audio/AudioFilter.h>
#include <netkit/sdp/SdpSession.h>

#include <gtest/gtest.h>

using namespace Orix::Utility;

namespace {

SdpMedia audioTrack(const std::string& lines)
{
    const std::string text = "v=0\r\no=- 1 1 IN IP4 192.168.0.90\r\ns=Session streamed with GStreamer\r\nt=0 0\r\n" + lines;
    SdpSession session;
    EXPECT_FALSE(parseSdp(text, session));
    EXPECT_EQ(session.media.size(), 1u);
    return session.media.empty() ? SdpMedia{} : session.media[0];
}

} // namespace

// Audio blocks of Axis DESCRIBE answers (GStreamer firmware and 5.x firmware).
TEST(AudioFilter, HostFormatOfAnAxisAudioTrack)
{
    const struct {
        const char* name;
        const char* sdp;
        const char* algorithm; // null: not an audio codec the filters take
        std::uint32_t encoding, sampleRate, bitrate, channels;
    } cases[] = {
        {"PCMU, static type without rtpmap", "m=audio 0 RTP/AVP 0\r\nc=IN IP4 0.0.0.0\r\nb=AS:64\r\n", "G.711", 1, 8000, 64000, 1},
        {"PCMA", "m=audio 0 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\n", "G.711", 2, 8000, 64000, 1},
        {"G726-32", "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726-32/8000\r\n", "G.726", 1, 8000, 32000, 1},
        {"AAL2-G726-24", "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 AAL2-G726-24/8000\r\n", "G.726", 2, 8000, 24000, 1},
        {"AAC, GStreamer firmware",
         "m=audio 0 RTP/AVP 97\r\nb=AS:32\r\na=rtpmap:97 MPEG4-GENERIC/16000/1\r\n"
         "a=fmtp:97 streamtype=5;profile-level-id=2;mode=AAC-hbr;config=1408;sizeLength=13;indexlength=3;indexdeltalength=3;bitrate=32000\r\n",
         "AAC", 1, 16000, 32000, 1},
        {"AAC, 5.x firmware with spaces",
         "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 mpeg4-generic/16000/1\r\n"
         "a=fmtp:97 streamtype=5; profile-level-id=15; mode=AAC-hbr; config=1408; sizeLength=13; indexLength=3; indexDeltaLength=3; profile=1; bitrate=32000;\r\n",
         "AAC", 1, 16000, 32000, 1},
        {"G726 without a rate", "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 G726/8000\r\n", nullptr, 0, 0, 0, 0},
        {"video", "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n", nullptr, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto format = audioFormatForTrack(audioTrack(c.sdp));
        ASSERT_EQ(format.has_value(), c.algorithm != nullptr);
        if (!format)
            continue;
        EXPECT_EQ(format->algorithm, c.algorithm);
        EXPECT_EQ(format->encoding, c.encoding);
        EXPECT_EQ(format->sampleRate, c.sampleRate);
        EXPECT_EQ(format->bitrate, c.bitrate);
        EXPECT_EQ(format->channels, c.channels);
    }
}

// "FF F1 60 40 0D 7F FC": AAC LC, 16 kHz (index 8), mono, 107-byte frame.
TEST(Adts, HeaderOfAnAccessUnit)
{
    const AacConfig config = *parseAudioSpecificConfig(std::vector<std::uint8_t>{0x14, 0x08}.data(), 2);
    EXPECT_EQ(config.sampleRate(), 16000u);
    const auto header = adtsHeader(config, 100);
    ASSERT_TRUE(header);
    EXPECT_EQ(std::vector<std::uint8_t>(header->begin(), header->end()),
              (std::vector<std::uint8_t>{0xFF, 0xF1, 0x60, 0x40, 0x0D, 0x7F, 0xFC}));
    EXPECT_FALSE(adtsHeader(config, kMaxAdtsFrameBytes));
}

// An HTTP body cut anywhere: garbage before the first sync word is skipped,
// every frame comes out once with its header removed.
TEST(AacSendingFilter, FramesOfAnAdtsStreamSplitAtEveryByte)
{
    AacConfig config;
    config.frequencyIndex = 8;
    std::vector<std::uint8_t> stream = {0x00, 0xFF, 0x12}; // junk, with a false sync byte
    const std::vector<std::vector<std::uint8_t>> units = {{1, 2, 3, 4}, {5, 6}, {7, 8, 9}};
    for (const auto& unit : units) {
        const auto header = *adtsHeader(config, unit.size());
        stream.insert(stream.end(), header.begin(), header.end());
        stream.insert(stream.end(), unit.begin(), unit.end());
    }
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        SCOPED_TRACE(split);
        std::vector<std::vector<std::uint8_t>> got;
        std::vector<std::uint64_t> times;
        auto filter = createAacSendingFilter(
            [&](const AudioBuffer& b) {
                EXPECT_EQ(b.format->algorithm, "AAC");
                EXPECT_EQ(b.format->sampleRate, 16000u);
                got.emplace_back(b.data, b.data + b.size);
                times.push_back(b.hostTimestamp);
            },
            32000);
        filter->push(stream.data(), split, 1000);
        filter->push(stream.data() + split, stream.size() - split, 1000);
        EXPECT_EQ(got, units);
        // 1024 samples at 16 kHz apart.
        EXPECT_EQ(times, (std::vector<std::uint64_t>{1000, 1064, 1128}));
    }
}

TEST(G7xxSendingFilter, CutsTheStreamInto20MsBuffers)
{
    const struct {
        const char* name;
        AudioFormat format;
        std::size_t bytes;
    } cases[] = {
        {"G.711", {"G.711", 1, 8000, 64000, 1, {}}, 160},
        {"G.726-32", {"G.726", 1, 8000, 32000, 1, {}}, 80},
        {"G.726-24", {"G.726", 1, 8000, 24000, 1, {}}, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> sizes;
        std::vector<std::uint32_t> stamps;
        auto filter = createG7xxSendingFilter(c.format, [&](const AudioBuffer& b) {
            sizes.push_back(b.size);
            stamps.push_back(b.rtpTimestamp);
        });
        const std::vector<std::uint8_t> body(c.bytes * 2 + 7, 0xFF);
        filter->push(body.data(), 5, 0);
        filter->push(body.data() + 5, body.size() - 5, 0);
        EXPECT_EQ(sizes, (std::vector<std::size_t>{c.bytes, c.bytes}));
        EXPECT_EQ(stamps, (std::vector<std::uint32_t>{0, 160}));
    }
}

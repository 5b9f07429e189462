// Random and mutated input for every depacketizer and the SDP parser, with a
// fixed seed: nothing may crash, hang or grow past its bounds.
#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/rtp/RtpPacket.h>
#include <netkit/rtp/SequenceTracker.h>
#include <netkit/sdp/SdpSession.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

#include <random>

using namespace Orix::Utility;
using namespace TestSupport;

namespace {

struct Track {
    const char* name;
    const char* sdp;       // the track's m= block
    const char* capture;   // seed packets, "" for none
};

const Track kTracks[] = {
    {"H.264", "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=fmtp:96 packetization-mode=1\r\n",
     "rtp/h264_testsrc.rtp"},
    {"H.265", "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H265/90000\r\n", "rtp/hevc_testsrc.rtp"},
    {"JPEG", "m=video 0 RTP/AVP 26\r\n", "rtp/jpeg_testsrc.rtp"},
    {"MPEG-4", "m=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n", "rtp/mp4v_testsrc.rtp"},
    {"AAC", "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 MPEG4-GENERIC/16000/1\r\n"
            "a=fmtp:97 mode=AAC-hbr;sizelength=13;indexlength=3;indexdeltalength=3;config=1408\r\n",
     "rtp/aac_sine.rtp"},
    {"PCMU", "m=audio 0 RTP/AVP 0\r\n", ""},
    {"G.726", "m=audio 0 RTP/AVP 98\r\na=rtpmap:98 G726-32/8000\r\n", ""},
    {"metadata", "m=application 0 RTP/AVP 98\r\na=rtpmap:98 vnd.onvif.metadata/90000\r\n", ""},
};

Bytes randomBytes(std::mt19937& rng, std::size_t maxSize)
{
    std::uniform_int_distribution<std::size_t> size(0, maxSize);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes b(size(rng));
    for (auto& x : b)
        x = std::uint8_t(byte(rng));
    return b;
}

// A capture packet cut short, with a few bytes flipped, or pure noise.
Bytes mutate(std::mt19937& rng, const std::vector<Bytes>& seeds)
{
    std::uniform_int_distribution<int> kind(0, 3);
    const int k = seeds.empty() ? 3 : kind(rng);
    if (k == 3)
        return randomBytes(rng, 1500);
    Bytes b = seeds[std::uniform_int_distribution<std::size_t>(0, seeds.size() - 1)(rng)];
    if (k == 0 || k == 2)
        b.resize(std::uniform_int_distribution<std::size_t>(0, b.size())(rng));
    if (k == 1 || k == 2) {
        for (int i = 0; i < 4 && !b.empty(); ++i)
            b[std::uniform_int_distribution<std::size_t>(0, b.size() - 1)(rng)] ^=
                std::uint8_t(1u << std::uniform_int_distribution<int>(0, 7)(rng));
    }
    return b;
}

} // namespace

TEST(Robustness, DepacketizersSurviveRandomAndMutatedPackets)
{
    std::mt19937 rng(20240621);
    for (const auto& track : kTracks) {
        SCOPED_TRACE(track.name);
        SdpSession sdp;
        ASSERT_FALSE(parseSdp(std::string("v=0\r\n") + track.sdp, sdp));
        auto depacketizer = createDepacketizer(sdp.media.at(0));
        ASSERT_NE(depacketizer, nullptr);
        const std::vector<Bytes> seeds = *track.capture ? readCapture(dataPath(track.capture)) : std::vector<Bytes>{};
        const std::size_t bound = depacketizer->limits().maxFrameBytes + 4096; // JPEG headers, parameter sets
        SequenceTracker tracker(8);
        std::uint16_t sequence = 1;
        std::size_t frames = 0;
        for (int i = 0; i < 4000; ++i) {
            Bytes bytes = mutate(rng, seeds);
            // Half the time, force a valid RTP header so the payload code is reached.
            if (i % 2 == 0) {
                Bytes payload(bytes.size() > 12 ? bytes.begin() + 12 : bytes.end(), bytes.end());
                const bool marker = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
                const std::uint32_t ts = std::uint32_t(i / 3) * 3000;
                bytes = rtp(sequence, ts, marker, payload, sdp.media[0].payloadType().value());
                sequence = std::uint16_t(sequence + 1 + (std::uniform_int_distribution<int>(0, 20)(rng) == 0));
            }
            RtpPacket packet;
            if (RtpPacket::parse(ByteSpan(bytes.data(), bytes.size()), packet))
                continue;
            tracker.push(packet.sequence, OwnedRtpPacket(packet, ByteSpan(bytes.data(), bytes.size())));
            while (auto released = tracker.pop()) {
                depacketizer->lost(released->lostBefore);
                depacketizer->push(released->packet.view);
            }
            std::size_t pulled = 0;
            while (auto frame = depacketizer->pull()) {
                ASSERT_LE(frame->data.size(), bound);
                ++pulled;
            }
            ASSERT_LE(pulled, depacketizer->limits().maxQueuedFrames);
            frames += pulled;
            ASSERT_LE(tracker.held(), 8u);
        }
        const auto& stats = depacketizer->stats();
        EXPECT_GT(stats.packets, 1000u);
        EXPECT_EQ(stats.framesOut, frames);
    }
}

TEST(Robustness, SdpParserSurvivesMutatedDescriptions)
{
    std::mt19937 rng(4566);
    const char* files[] = {"sdp/axis_gstreamer_h264_aac.sdp", "sdp/axis_5x_h264_aac.sdp",
                           "sdp/axis_gstreamer_metadata.sdp", "rtp/hevc_testsrc.sdp"};
    std::size_t parsed = 0;
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const std::string original = readFile(dataPath(file));
        for (int i = 0; i < 2000; ++i) {
            std::string text = original;
            const int kind = i % 4;
            if (kind == 0) {
                text.resize(std::uniform_int_distribution<std::size_t>(0, text.size())(rng));
            } else if (kind == 1) {
                for (int j = 0; j < 8; ++j)
                    text[std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng)] =
                        char(std::uniform_int_distribution<int>(0, 255)(rng));
            } else if (kind == 2) {
                // A line repeated many times.
                const std::size_t at = text.find('\n', std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng));
                if (at != std::string::npos) {
                    const std::size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
                    const std::string line = text.substr(start == std::string::npos ? 0 : start + 1,
                                                         at - (start == std::string::npos ? 0 : start + 1) + 1);
                    for (int r = 0; r < 50; ++r)
                        text.insert(at + 1, line);
                }
            } else {
                const Bytes noise = randomBytes(rng, 600);
                text = "v=0\r\n" + std::string(noise.begin(), noise.end());
            }
            SdpSession sdp;
            if (!parseSdp(text, sdp)) {
                ++parsed;
                ASSERT_LE(sdp.media.size(), kMaxSdpMedia);
                for (const auto& m : sdp.media)
                    createDepacketizer(m); // any track, any fmtp: no crash
            }
        }
    }
    EXPECT_GT(parsed, 100u); // the mutations did not all fail at the first line
}

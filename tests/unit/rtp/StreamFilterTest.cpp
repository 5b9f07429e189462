#include <netkit/rtp/H264Depacketizer.h>
#include <netkit/rtp/StreamFilter.h>

#include "support/FakeHost.h"
#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

namespace {

constexpr std::uint32_t kRestartedSsrc = 0x5a17c0de;

// One-packet H.264 access units (single NAL unit packets, RFC 6184 5.6).
Bytes idr(std::uint16_t seq, std::uint32_t ts) { return rtp(seq, ts, true, fromHex("65 88 84 00 33")); }
Bytes slice(std::uint16_t seq, std::uint32_t ts) { return rtp(seq, ts, true, fromHex("41 9a 02 04")); }
// FU-A fragments of an IDR slice (RFC 6184 5.8): start, middle, end.
Bytes fuStart(std::uint16_t seq, std::uint32_t ts) { return rtp(seq, ts, false, fromHex("7c 85 88 84")); }
Bytes fuMiddle(std::uint16_t seq, std::uint32_t ts) { return rtp(seq, ts, false, fromHex("7c 05 21 e0")); }
Bytes fuEnd(std::uint16_t seq, std::uint32_t ts) { return rtp(seq, ts, true, fromHex("7c 45 1f 00")); }

Bytes withSsrc(Bytes packet, std::uint32_t ssrc)
{
    for (int i = 0; i < 4; ++i)
        packet[8 + i] = std::uint8_t(ssrc >> (24 - 8 * i));
    return packet;
}

// A readable header whose padding count runs past the packet (RFC 3550 5.1).
Bytes badPadding(std::uint16_t seq, std::uint32_t ts)
{
    Bytes packet = rtp(seq, ts, false, fromHex("41 9a ff"));
    packet[0] |= 0x20;
    return packet;
}

struct Case {
    const char* name;
    bool reorder;
    std::vector<Bytes> packets;
    std::vector<std::uint32_t> frames; // RTP timestamps of the frames out
    std::uint64_t lostFrames;
    std::uint64_t ssrcChanges = 0;
    const char* lastFrame = nullptr; // Annex B hex, when it matters
};

} // namespace

TEST(RtpStreamFilter, FramesSurviveStrayAndMalformedPacketsAndLossIsCounted)
{
    const Case cases[] = {
        {"clean stream", false, {idr(1, 0), slice(2, 3000), slice(3, 6000)}, {0, 3000, 6000}, 0},
        {"malformed packets between frames take their numbers", false,
         {idr(1, 0), badPadding(2, 1500), slice(3, 3000), badPadding(4, 4500), slice(5, 6000)}, {0, 3000, 6000}, 0},
        {"malformed packet between frames over UDP", true,
         {idr(1, 0), slice(3, 6000), badPadding(2, 1500), slice(4, 9000)}, {0, 6000, 9000}, 0},
        {"stray packets with random numbers", false,
         {idr(1, 0), slice(2, 3000), slice(40000, 777), slice(3, 6000), slice(123, 999), slice(4, 9000)},
         {0, 3000, 6000, 9000}, 0},
        {"stray packet inside a fragmented frame", false,
         {idr(1, 0), fuStart(2, 3000), slice(51234, 777), fuMiddle(3, 3000), fuEnd(4, 3000), slice(5, 6000)},
         {0, 3000, 6000}, 0},
        {"a lost packet costs the frames up to the next key frame", false,
         {idr(1, 0), slice(2, 3000), slice(4, 9000), slice(5, 12000), idr(6, 15000)}, {0, 3000, 15000}, 2},
        {"joining mid-frame drops the fragment without a loss", false,
         {fuMiddle(7, 0), fuEnd(8, 0), idr(9, 3000), slice(10, 6000)}, {3000, 6000}, 0},
        {"another SSRC in the stream is not mixed in", false,
         {idr(1, 0), fuStart(2, 3000), withSsrc(rtp(3, 3000, false, fromHex("7c 05 ee ee")), kRestartedSsrc),
          fuMiddle(3, 3000), fuEnd(4, 3000)},
         {0, 3000}, 0, 0, "00 00 00 01 65 88 84 21 e0 1f 00"},
        {"a restarted camera's new SSRC is followed", false,
         {idr(1, 0), fuStart(2, 3000), withSsrc(idr(900, 500), kRestartedSsrc), withSsrc(slice(901, 3500), kRestartedSsrc),
          withSsrc(slice(902, 6500), kRestartedSsrc), withSsrc(slice(903, 9500), kRestartedSsrc),
          withSsrc(slice(904, 12500), kRestartedSsrc)},
         {0, 500, 3500, 6500, 9500, 12500}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> frames;
        Bytes last;
        RtpStreamFilter filter(std::make_unique<H264Depacketizer>(), c.reorder, std::make_shared<CapturingLogger>(0),
                               [&](const Frame& f) {
                                   frames.push_back(f.rtpTimestamp);
                                   last = f.data;
                               });
        for (const auto& packet : c.packets)
            filter.onRtpPacket(packet.data(), packet.size());
        EXPECT_EQ(frames, c.frames);
        if (c.lastFrame) {
            EXPECT_EQ(hex(last), hex(fromHex(c.lastFrame)));
        }
        const auto stats = filter.statistics();
        EXPECT_EQ(stats.lostFrames(), c.lostFrames);
        EXPECT_EQ(stats.ssrcChanges, c.ssrcChanges);
    }
}

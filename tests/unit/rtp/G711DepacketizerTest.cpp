#include <netkit/rtp/G711Depacketizer.h>
#include <netkit/rtp/G726Depacketizer.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

TEST(G711Depacketizer, EveryPayloadIsAFrame)
{
    const struct {
        const char* name;
        Codec codec;
        std::uint8_t payloadType;
    } cases[] = {{"PCMU", Codec::pcmu, 0}, {"PCMA", Codec::pcma, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        G711Depacketizer depacketizer(c.codec);
        // 20 ms packets at 8 kHz: 160 samples, timestamps 160 apart; one lost.
        const Bytes silence(160, c.codec == Codec::pcmu ? 0xff : 0xd5);
        const Replay r = replay(depacketizer, {rtp(100, 0, true, silence, c.payloadType),
                                               rtp(101, 160, false, silence, c.payloadType),
                                               rtp(103, 480, false, silence, c.payloadType),
                                               rtp(104, 640, false, "", c.payloadType)});
        ASSERT_EQ(r.frames.size(), 3u);
        EXPECT_EQ(r.frames[2].rtpTimestamp, 480u);
        EXPECT_TRUE(r.frames[2].discontinuity);
        EXPECT_FALSE(r.frames[1].discontinuity);
        EXPECT_EQ(r.frames[0].data, silence);
        EXPECT_EQ(r.frames[0].codec, c.codec);
        EXPECT_EQ(depacketizer.stats().packetsLost, 1u);
        EXPECT_EQ(r.errors, std::vector<boost::system::error_code>{RtpError::malformedPayload});
        EXPECT_EQ(depacketizer.parameters().clockRate, 8000u);
    }
}

TEST(G726Depacketizer, KeepsBitrateAndPacking)
{
    using Packing = G726Depacketizer::Packing;
    const std::pair<std::uint32_t, Packing> cases[] = {
        {16000, Packing::rtp}, {24000, Packing::aal2}, {32000, Packing::rtp}, {40000, Packing::rtp}};
    for (const auto& [bitrate, packing] : cases) {
        SCOPED_TRACE(bitrate);
        G726Depacketizer depacketizer(bitrate, packing);
        const Bytes words = fromHex("12 34 56 78 9a");
        const Replay r = replay(depacketizer, {rtp(7, 800, false, words, 98)});
        ASSERT_EQ(r.frames.size(), 1u);
        EXPECT_EQ(r.frames[0].data, words);
        EXPECT_EQ(r.frames[0].codec, Codec::g726);
        EXPECT_EQ(depacketizer.parameters().bitrate, bitrate);
        EXPECT_EQ(depacketizer.packing(), packing);
    }
}

#include <netkit/audio/G711.h>
#include <netkit/audio/G726.h>

#include "support/Tone.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

// Decoder outputs of ITU-T G.711 Tables 1a/2a (mu-law codes as transmitted,
// A-law with the even bits inverted).
TEST(G711, DecodesTableValues)
{
    const struct {
        G711Law law;
        std::uint8_t code;
        std::int16_t linear;
    } cases[] = {
        {G711Law::mulaw, 0xFF, 0},      {G711Law::mulaw, 0x7F, 0},     {G711Law::mulaw, 0x80, 32124},
        {G711Law::mulaw, 0x00, -32124}, {G711Law::mulaw, 0xEF, 132},   {G711Law::mulaw, 0xFE, 8},
        {G711Law::alaw, 0xD5, 8},       {G711Law::alaw, 0x55, -8},     {G711Law::alaw, 0xAA, 32256},
        {G711Law::alaw, 0x2A, -32256},  {G711Law::alaw, 0xC5, 264},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.code));
        const auto decoded = decodeG711(c.law, &c.code, 1);
        EXPECT_EQ(decoded[0], c.linear);
        // Every decoder output is a reconstruction level: it encodes back to its code,
        // except mu-law's negative zero, which encodes as positive zero.
        const std::uint8_t back = encodeG711(c.law, &c.linear, 1)[0];
        EXPECT_EQ(back, c.code == 0x7F ? 0xFF : c.code);
    }
}

// A 1004 Hz tone at -10 dBFS through each coder and back: the
// signal-to-noise figure of each rate (measured 36.9/36.1 dB for G.711
// mu/A-law, 41.9/36.7/28.0/23.3 dB for G.726 at 40/32/24/16 kbit/s), and
// that the packing order is what the decoder assumes.
TEST(G7xxCodec, ToneRoundTripKeepsSignalToNoise)
{
    const auto tone = sineTone(1004, 8000, 8000);
    const struct {
        const char* name;
        std::uint32_t bitrate; // 0: G.711
        G711Law law;
        G726Packing packing;
        double minSnr;
    } cases[] = {
        {"G.711 mu-law", 0, G711Law::mulaw, G726Packing::rfc3551, 35},
        {"G.711 A-law", 0, G711Law::alaw, G726Packing::rfc3551, 35},
        {"G.726-40", 40000, G711Law::mulaw, G726Packing::rfc3551, 38},
        {"G.726-32", 32000, G711Law::mulaw, G726Packing::rfc3551, 33},
        {"G.726-32 AAL2", 32000, G711Law::mulaw, G726Packing::aal2, 33},
        {"G.726-24", 24000, G711Law::mulaw, G726Packing::rfc3551, 25},
        {"G.726-16", 16000, G711Law::mulaw, G726Packing::rfc3551, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::int16_t> decoded;
        if (c.bitrate == 0) {
            const auto coded = encodeG711(c.law, tone.data(), tone.size());
            ASSERT_EQ(coded.size(), tone.size());
            decoded = decodeG711(c.law, coded.data(), coded.size());
        } else {
            G726StreamEncoder encoder(c.bitrate, c.packing);
            G726StreamDecoder decoder(c.bitrate, c.packing);
            // In 20 ms pieces, as a stream is sent.
            std::vector<std::uint8_t> coded;
            for (std::size_t at = 0; at < tone.size(); at += 160) {
                const auto piece = encoder.encode(tone.data() + at, 160);
                EXPECT_EQ(piece.size(), 160u * encoder.bitsPerSample() / 8);
                coded.insert(coded.end(), piece.begin(), piece.end());
            }
            EXPECT_EQ(coded.size(), std::size_t(c.bitrate / 8));
            decoded = decoder.decode(coded.data(), coded.size());
        }
        ASSERT_EQ(decoded.size(), tone.size());
        // After the adaptation has settled (first 50 ms).
        const std::vector<std::int16_t> settledIn(tone.begin() + 400, tone.end());
        const std::vector<std::int16_t> settledOut(decoded.begin() + 400, decoded.end());
        EXPECT_GT(snrDb(settledIn, settledOut), c.minSnr);
        EXPECT_GT(toneSnrDb(settledOut, 1004, 8000), c.minSnr);
    }
}

TEST(G726, DecodingInTheOtherPackingOrderLosesTheTone)
{
    const auto tone = sineTone(1004, 8000, 8000);
    G726StreamEncoder encoder(32000, G726Packing::rfc3551);
    const auto coded = encoder.encode(tone.data(), tone.size());
    G726StreamDecoder wrong(32000, G726Packing::aal2);
    const auto decoded = wrong.decode(coded.data(), coded.size());
    EXPECT_LT(toneSnrDb(decoded, 1004, 8000), 3);
}

// RFC 3551 section 4.5.4 puts the first code word in the least significant
// bits; I.366.2 (AAL2) in the most significant.
TEST(G726, PacksCodeWordsInEitherOrder)
{
    const struct {
        const char* name;
        int bits;
        G726Packing packing;
        std::vector<std::uint8_t> codes;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"32 kbit/s RFC 3551", 4, G726Packing::rfc3551, {1, 2, 3, 4}, {0x21, 0x43}},
        {"32 kbit/s AAL2", 4, G726Packing::aal2, {1, 2, 3, 4}, {0x12, 0x34}},
        {"24 kbit/s RFC 3551", 3, G726Packing::rfc3551, {0, 1, 2, 3, 4, 5, 6, 7}, {0x88, 0xC6, 0xFA}},
        {"24 kbit/s AAL2", 3, G726Packing::aal2, {0, 1, 2, 3, 4, 5, 6, 7}, {0x05, 0x39, 0x77}},
        {"16 kbit/s RFC 3551", 2, G726Packing::rfc3551, {0, 1, 2, 3}, {0xE4}},
        {"40 kbit/s AAL2", 5, G726Packing::aal2, {31, 0, 31, 0, 31, 0, 31, 0}, {0xF8, 0x3E, 0x0F, 0x83, 0xE0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(packG726(c.codes, c.bits, c.packing), c.bytes);
        EXPECT_EQ(unpackG726(c.bytes.data(), c.bytes.size(), c.bits, c.packing), c.codes);
    }
}

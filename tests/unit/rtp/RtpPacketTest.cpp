#include <netkit/rtp/RtpError.h>
#include <netkit/rtp/RtpPacket.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using TestSupport::Bytes;
using TestSupport::fromHex;

namespace {

boost::system::error_code parse(const Bytes& b, RtpPacket& p)
{
    return RtpPacket::parse(ByteSpan(b.data(), b.size()), p);
}

} // namespace

TEST(RtpPacket, ParsesHeaderFields)
{
    const struct {
        const char* name;
        std::string hex;
        bool marker;
        int payloadType;
        std::uint16_t sequence;
        std::uint32_t timestamp, ssrc;
        int csrcCount;
        int extensionProfile; // -1: no extension
        std::size_t extensionBytes;
        std::string payload;
    } cases[] = {
        // First packet of the H.264 capture (FFmpeg): FU-A start of an IDR.
        {"FFmpeg H.264 FU-A start", "80 60 04 f0 00 00 00 00 5e 0f 2b 83 7c 85 88 84", false, 96, 1264, 0, 0x5e0f2b83, 0, -1, 0,
         "7c 85 88 84"},
        {"marker and static type (JPEG)", "80 9a ff ff 12 34 56 78 00 00 00 01 00 00 00 00", true, 26, 65535, 0x12345678, 1, 0,
         -1, 0, "00 00 00 00"},
        {"two CSRCs", "82 60 00 01 00 00 00 02 00 00 00 03 aa aa aa aa bb bb bb bb 01 02", false, 96, 1, 2, 3, 2, -1, 0, "01 02"},
        // RFC 8285 one-byte header extension (profile 0xBEDE), one word.
        {"header extension", "90 60 00 01 00 00 00 02 00 00 00 03 be de 00 01 10 ff 00 00 77", false, 96, 1, 2, 3, 0, 0xbede, 4,
         "77"},
        // ONVIF JPEG extension profile 0xFFD8, zero words.
        {"empty extension", "90 1a 00 01 00 00 00 02 00 00 00 03 ff d8 00 00 ab", false, 26, 1, 2, 3, 0, 0xffd8, 0, "ab"},
        // Padding: the last octet counts itself (RFC 3550 section 5.1).
        {"padding", "a0 60 00 01 00 00 00 02 00 00 00 03 01 02 03 00 00 03", false, 96, 1, 2, 3, 0, -1, 0, "01 02 03"},
        {"padding is the whole payload", "a0 60 00 01 00 00 00 02 00 00 00 03 00 00 03", false, 96, 1, 2, 3, 0, -1, 0, ""},
        {"empty payload", "80 60 00 01 00 00 00 02 00 00 00 03", false, 96, 1, 2, 3, 0, -1, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = fromHex(c.hex); // the packet points into it
        RtpPacket p;
        ASSERT_FALSE(parse(bytes, p));
        EXPECT_EQ(p.marker, c.marker);
        EXPECT_EQ(p.payloadType, c.payloadType);
        EXPECT_EQ(p.sequence, c.sequence);
        EXPECT_EQ(p.timestamp, c.timestamp);
        EXPECT_EQ(p.ssrc, c.ssrc);
        EXPECT_EQ(p.csrcCount, c.csrcCount);
        EXPECT_EQ(p.hasExtension, c.extensionProfile >= 0);
        if (c.extensionProfile >= 0) {
            EXPECT_EQ(p.extensionProfile, c.extensionProfile);
            EXPECT_EQ(p.extension.size, c.extensionBytes);
        }
        EXPECT_EQ(Bytes(p.payload.begin(), p.payload.end()), fromHex(c.payload));
    }
}

TEST(RtpPacket, RejectsMalformedPackets)
{
    // Cuts inside the headers: EveryTruncationOfTheHeadersIsAnError.
    const struct {
        const char* name;
        std::string hex;
        RtpError error;
    } cases[] = {
        {"version 1", "40 60 00 01 00 00 00 02 00 00 00 03 00", RtpError::badVersion},
        {"version 0 (STUN or RTCP-mux junk)", "00 01 00 00 21 12 a4 42 00 00 00 00", RtpError::badVersion},
        {"padding count 0", "a0 60 00 01 00 00 00 02 00 00 00 03 01 00", RtpError::badPadding},
        {"padding longer than payload", "a0 60 00 01 00 00 00 02 00 00 00 03 01 05", RtpError::badPadding},
        {"padding flag without payload", "a0 60 00 01 00 00 00 02 00 00 00 03", RtpError::badPadding},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RtpPacket p;
        EXPECT_EQ(parse(fromHex(c.hex), p), make_error_code(c.error));
    }
}

TEST(RtpPacket, EveryTruncationOfTheHeadersIsAnError)
{
    // CSRC, extension and payload: cutting anywhere inside the headers fails,
    // cutting in the payload gives a shorter payload.
    const Bytes full = fromHex("91 e0 12 34 00 00 10 00 de ad be ef 00 00 00 2a be de 00 01 10 ff 00 00 "
                               "01 02 03 04");
    const std::size_t headers = 12 + 4 + 4 + 4;
    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        const Bytes cut(full.begin(), full.begin() + std::ptrdiff_t(n));
        RtpPacket p;
        const auto ec = parse(cut, p);
        if (n < headers) {
            EXPECT_EQ(ec, make_error_code(RtpError::truncatedPacket));
        } else {
            ASSERT_FALSE(ec);
            EXPECT_EQ(p.payload.size, n - headers);
            EXPECT_EQ(p.payloadType, 0x60);
            EXPECT_TRUE(p.marker);
        }
    }
}

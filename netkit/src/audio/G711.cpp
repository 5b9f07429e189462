#include <netkit/audio/G711.h>

namespace Orix::Utility {

namespace {

// Segment of a magnitude: the position of its highest set bit above the
// segment's base (G.711 Tables 1a and 2a).
int segmentOf(int magnitude, int firstSegmentEnd)
{
    int segment = 0;
    for (int end = firstSegmentEnd; segment < 8 && magnitude > end; end = (end << 1) | 1)
        ++segment;
    return segment;
}

constexpr int kMulawBias = 0x84; // 132: shifts the segments to powers of two
constexpr int kMulawClip = 32635;

} // namespace

std::uint8_t linearToMulaw(std::int16_t sample)
{
    int value = sample;
    const int sign = value < 0 ? 0x80 : 0;
    int magnitude = value < 0 ? -value : value;
    if (magnitude > kMulawClip)
        magnitude = kMulawClip;
    magnitude += kMulawBias;
    const int segment = segmentOf(magnitude, 0xFF);
    const int mantissa = (magnitude >> (segment + 3)) & 0x0F;
    // Transmitted inverted (G.711 section 3.4: all bits complemented).
    return static_cast<std::uint8_t>(~(sign | (segment << 4) | mantissa));
}

std::int16_t mulawToLinear(std::uint8_t code)
{
    const int inverted = ~code & 0xFF;
    const int segment = (inverted >> 4) & 0x07;
    const int mantissa = inverted & 0x0F;
    const int magnitude = (((mantissa << 3) + kMulawBias) << segment) - kMulawBias;
    return static_cast<std::int16_t>((inverted & 0x80) ? -magnitude : magnitude);
}

std::uint8_t linearToAlaw(std::int16_t sample)
{
    int value = sample;
    // A-law codes the 13 most significant bits; the sign bit is set for
    // positive values before the even bits are inverted.
    const int sign = value >= 0 ? 0x80 : 0;
    int magnitude = value >= 0 ? value : -value - 1;
    magnitude >>= 3;
    if (magnitude > 0x0FFF)
        magnitude = 0x0FFF;
    const int segment = magnitude < 32 ? 0 : segmentOf(magnitude, 31);
    const int mantissa = segment == 0 ? (magnitude >> 1) & 0x0F : (magnitude >> segment) & 0x0F;
    return static_cast<std::uint8_t>((sign | (segment << 4) | mantissa) ^ 0x55);
}

std::int16_t alawToLinear(std::uint8_t code)
{
    const int value = code ^ 0x55;
    const int segment = (value >> 4) & 0x07;
    const int mantissa = value & 0x0F;
    int magnitude = segment == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (segment - 1);
    return static_cast<std::int16_t>((value & 0x80) ? magnitude : -magnitude);
}

std::vector<std::uint8_t> encodeG711(G711Law law, const std::int16_t* samples, std::size_t count)
{
    std::vector<std::uint8_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = law == G711Law::mulaw ? linearToMulaw(samples[i]) : linearToAlaw(samples[i]);
    return out;
}

std::vector<std::int16_t> decodeG711(G711Law law, const std::uint8_t* codes, std::size_t count)
{
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = law == G711Law::mulaw ? mulawToLinear(codes[i]) : alawToLinear(codes[i]);
    return out;
}

} // namespace Orix::Utility

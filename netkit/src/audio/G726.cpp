#include <netkit/audio/G726.h>

#include <cstdlib>
#include <stdexcept>

// Block names in the comments (FMULT, ACCUM, ...) are those of the
// recommendation's functional description, so the code reads against it.
namespace Orix::Utility {

namespace {

// Per-rate tables of G.726: quantizer decision levels (Tables 1 to 4, in
// the log domain), the inverse quantizer output (IQUAN), the scale factor
// multiplier W(I) scaled by 32 as FILTD wants it, and F(I) of FUNCTF.
struct RateTables {
    std::vector<int> decision;
    std::vector<int> dqln;
    std::vector<int> wi;
    std::vector<int> fi;
};

const RateTables& tablesFor(int bits)
{
    static const RateTables k16{{261},
                                {116, 365, 365, 116},
                                {-704, 14048, 14048, -704},
                                {0, 0xE00, 0xE00, 0}};
    static const RateTables k24{{8, 218, 331},
                                {-2048, 135, 273, 373, 373, 273, 135, -2048},
                                {-128, 960, 4384, 18624, 18624, 4384, 960, -128},
                                {0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0}};
    static const RateTables k32{
        {-124, 80, 178, 246, 300, 349, 400},
        {-2048, 4, 135, 213, 273, 323, 373, 425, 425, 373, 323, 273, 213, 135, 4, -2048},
        {-384, 576, 1312, 2048, 3584, 6336, 11360, 35904, 35904, 11360, 6336, 3584, 2048, 1312, 576, -384},
        {0, 0, 0, 0x200, 0x200, 0x200, 0x600, 0xE00, 0xE00, 0x600, 0x200, 0x200, 0x200, 0, 0, 0}};
    static const RateTables k40{
        {-122, -16, 68, 139, 198, 250, 298, 339, 378, 413, 445, 475, 502, 528, 553},
        {-2048, -66, 28, 104, 169, 224, 274, 318, 358, 395, 429, 459, 488, 514, 539, 566,
         566, 539, 514, 488, 459, 429, 395, 358, 318, 274, 224, 169, 104, 28, -66, -2048},
        {448, 448, 768, 1248, 1280, 1312, 1856, 3200, 4512, 5728, 7008, 8960, 11456, 14080, 16928, 22272,
         22272, 16928, 14080, 11456, 8960, 7008, 5728, 4512, 3200, 1856, 1312, 1280, 1248, 768, 448, 448},
        {0, 0, 0, 0, 0, 0x200, 0x200, 0x200, 0x200, 0x200, 0x400, 0x600, 0x800, 0xA00, 0xC00, 0xC00,
         0xC00, 0xC00, 0xA00, 0x800, 0x600, 0x400, 0x200, 0x200, 0x200, 0x200, 0x200, 0, 0, 0, 0, 0}};
    switch (bits) {
    case 2:
        return k16;
    case 3:
        return k24;
    case 5:
        return k40;
    default:
        return k32;
    }
}

// Number of bits needed for a non-negative magnitude below 2^15.
int bitLength(int magnitude)
{
    int n = 0;
    while (n < 15 && magnitude >= (1 << n))
        ++n;
    return n;
}

// Floating format of the predictor's delay line: 4-bit exponent, 6-bit
// mantissa, sign as a negative offset (FLOAT A, FLOAT B).
std::int16_t toFloat(int magnitude, bool negative)
{
    if (magnitude == 0)
        return static_cast<std::int16_t>(negative ? -992 : 0x20); // 0xFC20 as a 16-bit word
    const int exponent = bitLength(magnitude);
    const int value = (exponent << 6) + ((magnitude << 6) >> exponent);
    return static_cast<std::int16_t>(negative ? value - 0x400 : value);
}

// FMULT: a predictor coefficient times a floating-format signal value.
int fmult(int coefficient, int signal)
{
    const int magnitude = coefficient > 0 ? coefficient : ((-coefficient) & 0x1FFF);
    const int exponent = bitLength(magnitude) - 6;
    const int mantissa = magnitude == 0 ? 32 : exponent >= 0 ? magnitude >> exponent : magnitude << -exponent;
    const int productExponent = exponent + ((signal >> 6) & 0x0F) - 13;
    const int productMantissa = (mantissa * (signal & 0x3F) + 0x30) >> 4;
    const int product = productExponent >= 0 ? (productMantissa << productExponent) & 0x7FFF
                                             : productMantissa >> -productExponent;
    return ((coefficient ^ signal) < 0) ? -product : product;
}

} // namespace

int g726BitsPerSample(std::uint32_t bitrate)
{
    switch (bitrate) {
    case 16000:
        return 2;
    case 24000:
        return 3;
    case 32000:
        return 4;
    case 40000:
        return 5;
    default:
        return 0;
    }
}

G726State::G726State(int bitsPerSample) : bits_(bitsPerSample)
{
    if (bits_ < 2 || bits_ > 5)
        throw std::invalid_argument("G.726 code words have 2 to 5 bits");
    dq_.fill(32);
    sr_.fill(32);
}

int G726State::predictorZero() const
{
    int sum = 0;
    for (std::size_t i = 0; i < b_.size(); ++i)
        sum += fmult(b_[i] >> 2, dq_[i]);
    return sum;
}

int G726State::predictorPole() const
{
    return fmult(a_[1] >> 2, sr_[1]) + fmult(a_[0] >> 2, sr_[0]);
}

// MIX: the scale factor between the fast and the slow one, weighted by the
// speed control.
int G726State::stepSize() const
{
    if (ap_ >= 256)
        return yu_;
    int y = yl_ >> 6;
    const int difference = yu_ - y;
    const int weight = ap_ >> 2;
    if (difference > 0)
        y += (difference * weight) >> 6;
    else if (difference < 0)
        y += (difference * weight + 0x3F) >> 6;
    return y;
}

G726State::Estimate G726State::estimate() const
{
    Estimate e;
    const int zero = predictorZero();
    e.sez = static_cast<std::int16_t>(zero) >> 1;
    e.se = static_cast<std::int16_t>(zero + predictorPole()) >> 1;
    e.y = stepSize();
    return e;
}

// LOG, SUBTB, QUAN: the code word of a prediction difference.
int G726State::quantize(int difference, int y) const
{
    const int magnitude = std::abs(difference);
    const int exponent = bitLength(magnitude >> 1);
    const int mantissa = ((magnitude << 7) >> exponent) & 0x7F;
    const int normalized = (exponent << 7) + mantissa - (y >> 2);
    const auto& decision = tablesFor(bits_).decision;
    int level = 0;
    while (level < static_cast<int>(decision.size()) && normalized >= decision[level])
        ++level;
    const int top = (1 << bits_) - 1;
    if (difference < 0)
        return top - level;
    // At 24, 32 and 40 kbit/s the positive zero region shares the code of
    // the negative one (all ones); at 16 kbit/s there is no zero level and
    // code 0 is the small positive step.
    if (level == 0 && bits_ != 2)
        return top;
    return level;
}

int G726State::reconstructAndUpdate(const Estimate& e, int code)
{
    const auto& tables = tablesFor(bits_);
    code &= (1 << bits_) - 1;
    const bool negative = (code & (1 << (bits_ - 1))) != 0;
    // ADDA, ANTILOG: the quantized difference in sign-magnitude form.
    const int log = tables.dqln[code] + (e.y >> 2);
    int dq;
    if (log < 0) {
        dq = negative ? -0x8000 : 0;
    } else {
        const int exponent = (log >> 7) & 0x0F;
        const int mantissa = 128 + (log & 0x7F);
        const int magnitude = (mantissa << 7) >> (14 - exponent);
        dq = negative ? magnitude - 0x8000 : magnitude;
    }
    // ADDB: reconstructed signal; ADDC: partial signal for the pole update.
    const int sr = dq < 0 ? e.se - (dq & 0x3FFF) : e.se + dq;
    const int dqsez = sr + e.sez - e.se;
    update(e.y, tables.wi[code], tables.fi[code], dq, sr, dqsez);
    return sr;
}

void G726State::update(int y, int wi, int fi, int dq, int sr, int dqsez)
{
    const int pk0 = dqsez < 0 ? 1 : 0;
    const int magnitude = dq & 0x7FFF;

    // TRANS: a transition in a tone-like signal resets the predictor.
    const int ylint = yl_ >> 15;
    const int ylfrac = (yl_ >> 10) & 0x1F;
    const int thr1 = (32 + ylfrac) << ylint;
    const int thr2 = ylint > 9 ? 31 << 10 : thr1;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    const bool transition = td_ && magnitude > dqthr;

    // FUNCTW, FILTD, LIMB: fast scale factor; FILTE: slow one.
    int yu = y + ((wi - y) >> 5);
    if (yu < 544)
        yu = 544;
    else if (yu > 5120)
        yu = 5120;
    yu_ = static_cast<std::int16_t>(yu);
    yl_ += yu + ((-yl_) >> 6);

    int a2p = 0;
    if (transition) {
        a_.fill(0);
        b_.fill(0);
    } else {
        const int pks1 = pk0 ^ pk_[0];
        // UPA2, LIMC: second pole coefficient.
        a2p = a_[1] - (a_[1] >> 7);
        if (dqsez != 0) {
            const int fa1 = pks1 ? a_[0] : -a_[0];
            if (fa1 < -8191)
                a2p -= 0x100;
            else if (fa1 > 8191)
                a2p += 0xFF;
            else
                a2p += fa1 >> 5;
            if (pk0 ^ pk_[1]) {
                if (a2p <= -12160)
                    a2p = -12288;
                else if (a2p >= 12416)
                    a2p = 12288;
                else
                    a2p -= 0x80;
            } else if (a2p <= -12416) {
                a2p = -12288;
            } else if (a2p >= 12160) {
                a2p = 12288;
            } else {
                a2p += 0x80;
            }
        }
        a_[1] = static_cast<std::int16_t>(a2p);
        // UPA1, LIMD: first pole coefficient.
        int a1 = a_[0] - (a_[0] >> 8);
        if (dqsez != 0)
            a1 += pks1 == 0 ? 192 : -192;
        const int limit = 15360 - a2p;
        if (a1 < -limit)
            a1 = -limit;
        else if (a1 > limit)
            a1 = limit;
        a_[0] = static_cast<std::int16_t>(a1);
        // UPB: zero coefficients, with a longer leak at 40 kbit/s.
        for (std::size_t i = 0; i < b_.size(); ++i) {
            int b = b_[i] - (b_[i] >> (bits_ == 5 ? 9 : 8));
            if (magnitude != 0)
                b += ((dq ^ dq_[i]) >= 0) ? 128 : -128;
            b_[i] = static_cast<std::int16_t>(b);
        }
    }

    // DELAY of the difference and the signal, in floating format.
    for (std::size_t i = dq_.size() - 1; i > 0; --i)
        dq_[i] = dq_[i - 1];
    dq_[0] = toFloat(magnitude, dq < 0);
    sr_[1] = sr_[0];
    if (sr <= -32768)
        sr_[0] = static_cast<std::int16_t>(-992);
    else
        sr_[0] = toFloat(std::abs(sr), sr < 0);
    pk_[1] = pk_[0];
    pk_[0] = static_cast<std::int16_t>(pk0);

    // TONE: a strongly negative second pole marks a partial-band signal.
    td_ = !transition && a2p < -11776;

    // FILTA, FILTB, SUBTC, FILTC: adaptation speed control.
    dms_ = static_cast<std::int16_t>(dms_ + ((fi - dms_) >> 5));
    dml_ = static_cast<std::int16_t>(dml_ + (((fi << 2) - dml_) >> 7));
    if (transition)
        ap_ = 256;
    else if (y < 1536 || td_ || std::abs((dms_ << 2) - dml_) >= (dml_ >> 3))
        ap_ = static_cast<std::int16_t>(ap_ + ((0x200 - ap_) >> 4));
    else
        ap_ = static_cast<std::int16_t>(ap_ + ((-ap_) >> 4));
}

int G726Encoder::encode(std::int16_t sample)
{
    const Estimate e = estimate();
    const int code = quantize((sample >> 2) - e.se, e.y);
    reconstructAndUpdate(e, code);
    return code;
}

std::int16_t G726Decoder::decode(int code)
{
    const Estimate e = estimate();
    int sr = reconstructAndUpdate(e, code);
    if (sr > 8191)
        sr = 8191;
    else if (sr < -8192)
        sr = -8192;
    return static_cast<std::int16_t>(sr * 4);
}

std::vector<std::uint8_t> packG726(const std::vector<std::uint8_t>& codes, int bits, G726Packing packing)
{
    std::vector<std::uint8_t> out;
    out.reserve((codes.size() * bits + 7) / 8);
    unsigned accumulator = 0;
    int filled = 0;
    const unsigned mask = (1u << bits) - 1;
    for (const std::uint8_t code : codes) {
        if (packing == G726Packing::rfc3551)
            accumulator |= (code & mask) << filled;
        else
            accumulator = (accumulator << bits) | (code & mask);
        filled += bits;
        while (filled >= 8) {
            filled -= 8;
            if (packing == G726Packing::rfc3551) {
                out.push_back(static_cast<std::uint8_t>(accumulator & 0xFF));
                accumulator >>= 8;
            } else {
                out.push_back(static_cast<std::uint8_t>((accumulator >> filled) & 0xFF));
                accumulator &= (1u << filled) - 1;
            }
        }
    }
    if (filled > 0) {
        out.push_back(static_cast<std::uint8_t>(
            packing == G726Packing::rfc3551 ? accumulator & 0xFF : (accumulator << (8 - filled)) & 0xFF));
    }
    return out;
}

std::vector<std::uint8_t> unpackG726(const std::uint8_t* data, std::size_t size, int bits, G726Packing packing)
{
    std::vector<std::uint8_t> codes;
    if (bits < 2 || bits > 5)
        return codes;
    codes.reserve(size * 8 / bits);
    unsigned accumulator = 0;
    int filled = 0;
    const unsigned mask = (1u << bits) - 1;
    for (std::size_t i = 0; i < size; ++i) {
        if (packing == G726Packing::rfc3551)
            accumulator |= unsigned(data[i]) << filled;
        else
            accumulator = (accumulator << 8) | data[i];
        filled += 8;
        while (filled >= bits) {
            filled -= bits;
            if (packing == G726Packing::rfc3551) {
                codes.push_back(static_cast<std::uint8_t>(accumulator & mask));
                accumulator >>= bits;
            } else {
                codes.push_back(static_cast<std::uint8_t>((accumulator >> filled) & mask));
                accumulator &= (1u << filled) - 1;
            }
        }
    }
    return codes;
}

G726StreamEncoder::G726StreamEncoder(std::uint32_t bitrate, G726Packing packing)
    : encoder_(g726BitsPerSample(bitrate)), packing_(packing)
{
}

std::vector<std::uint8_t> G726StreamEncoder::encode(const std::int16_t* samples, std::size_t count)
{
    std::vector<std::uint8_t> codes(count);
    for (std::size_t i = 0; i < count; ++i)
        codes[i] = static_cast<std::uint8_t>(encoder_.encode(samples[i]));
    return packG726(codes, encoder_.bitsPerSample(), packing_);
}

G726StreamDecoder::G726StreamDecoder(std::uint32_t bitrate, G726Packing packing)
    : decoder_(g726BitsPerSample(bitrate)), packing_(packing)
{
}

std::vector<std::int16_t> G726StreamDecoder::decode(const std::uint8_t* data, std::size_t size)
{
    const auto codes = unpackG726(data, size, decoder_.bitsPerSample(), packing_);
    std::vector<std::int16_t> samples(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        samples[i] = decoder_.decode(codes[i]);
    return samples;
}

} // namespace Orix::Utility

#pragma once
// ITU-T G.726 ADPCM at 16, 24, 32 and 40 kbit/s (2 to 5 bits per sample at
// 8 kHz), and the two ways code words are packed into octets.
//
// Packing: RTP "G726-16/24/32/40" (RFC 3551 section 4.5.4) puts the first
// code word in the least significant bits of the first octet; the ITU-T
// I.366.2 (AAL2) order, RTP "AAL2-G726-*", puts it in the most significant
// bits. Axis firmware signals "G726-32"/"G726-24" in its SDP and packs in the
// RFC 3551 order there and in the bodies of audio/receive.cgi and
// audio/transmit.cgi ("audio/G726-32", "audio/G726-24"), so that order is
// what this driver sends and what it assumes for HTTP streams.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orix::Utility {

enum class G726Packing { rfc3551, aal2 };

// Code word size for a bit rate: 2, 3, 4 or 5; 0 for any other rate.
int g726BitsPerSample(std::uint32_t bitrate);

// The adaptive state shared by the encoder and the decoder (G.726 section 4).
class G726State {
public:
    explicit G726State(int bitsPerSample);
    int bitsPerSample() const { return bits_; }

protected:
    // Signal estimate, step size; then the reconstruction of code word i
    // updates every adaptive block. Returns the reconstructed signal (14-bit).
    struct Estimate {
        int se = 0;  // signal estimate
        int sez = 0; // its zero-predictor part
        int y = 0;   // quantizer scale factor
    };
    Estimate estimate() const;
    int reconstructAndUpdate(const Estimate& e, int code);
    int quantize(int difference, int y) const;

private:
    int predictorZero() const;
    int predictorPole() const;
    int stepSize() const;
    void update(int y, int wi, int fi, int dq, int sr, int dqsez);

    int bits_;
    std::int32_t yl_ = 34816;   // slow scale factor
    std::int16_t yu_ = 544;     // fast scale factor
    std::int16_t dms_ = 0;      // short-term average of F[I]
    std::int16_t dml_ = 0;      // long-term average of F[I]
    std::int16_t ap_ = 0;       // speed control
    std::array<std::int16_t, 2> a_{};  // pole coefficients
    std::array<std::int16_t, 6> b_{};  // zero coefficients
    std::array<std::int16_t, 2> pk_{}; // signs of previous partial signals
    std::array<std::int16_t, 6> dq_{}; // past quantized differences, floating format
    std::array<std::int16_t, 2> sr_{}; // past reconstructed signals, floating format
    bool td_ = false;           // tone detected
};

class G726Encoder : public G726State {
public:
    explicit G726Encoder(int bitsPerSample) : G726State(bitsPerSample) {}
    // One 16-bit linear sample to one code word.
    int encode(std::int16_t sample);
};

class G726Decoder : public G726State {
public:
    explicit G726Decoder(int bitsPerSample) : G726State(bitsPerSample) {}
    // One code word (its low bitsPerSample bits) to a 16-bit linear sample.
    std::int16_t decode(int code);
};

// Packs code words of `bits` bits into octets; a last partial octet is
// padded with zero bits.
std::vector<std::uint8_t> packG726(const std::vector<std::uint8_t>& codes, int bits, G726Packing packing);
// Every whole code word in the octets, in order.
std::vector<std::uint8_t> unpackG726(const std::uint8_t* data, std::size_t size, int bits, G726Packing packing);

// Whole streams: samples to packed octets and back. The encoder and decoder
// keep their state across calls, so a stream may come in pieces; a piece
// should hold a whole number of octet groups (8 samples at 24 and 40 kbit/s).
class G726StreamEncoder {
public:
    G726StreamEncoder(std::uint32_t bitrate, G726Packing packing);
    std::vector<std::uint8_t> encode(const std::int16_t* samples, std::size_t count);
    int bitsPerSample() const { return encoder_.bitsPerSample(); }

private:
    G726Encoder encoder_;
    G726Packing packing_;
};

class G726StreamDecoder {
public:
    G726StreamDecoder(std::uint32_t bitrate, G726Packing packing);
    std::vector<std::int16_t> decode(const std::uint8_t* data, std::size_t size);
    int bitsPerSample() const { return decoder_.bitsPerSample(); }

private:
    G726Decoder decoder_;
    G726Packing packing_;
};

} // namespace Orix::Utility

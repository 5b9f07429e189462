#pragma once
// Tones for audio tests: a sine made here, and how closely received samples
// follow a sine of a known frequency.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace TestSupport {

// count samples of amplitude * full scale at frequency Hz.
std::vector<std::int16_t> sineTone(double frequency, std::uint32_t sampleRate, std::size_t count,
                                   double amplitude = 0.3);

// Signal-to-noise ratio in dB of samples against the sine of that frequency
// that fits them best (any phase and amplitude, least squares): a decoded
// tone scores high, silence, noise or the wrong frequency low.
double toneSnrDb(const std::vector<std::int16_t>& samples, double frequency, std::uint32_t sampleRate);

// Signal-to-noise ratio in dB of decoded samples against the original ones.
double snrDb(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded);

} // namespace TestSupport

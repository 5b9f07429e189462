#include "support/Tone.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TestSupport {

namespace {
constexpr double kPi = 3.14159265358979323846;

double decibels(double signal, double noise)
{
    if (noise <= 0)
        return std::numeric_limits<double>::infinity();
    if (signal <= 0)
        return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(signal / noise);
}
} // namespace

std::vector<std::int16_t> sineTone(double frequency, std::uint32_t sampleRate, std::size_t count, double amplitude)
{
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::int16_t>(std::lround(amplitude * 32767.0 * std::sin(2 * kPi * frequency * double(i) / sampleRate)));
    return out;
}

double toneSnrDb(const std::vector<std::int16_t>& samples, double frequency, std::uint32_t sampleRate)
{
    if (samples.empty())
        return -std::numeric_limits<double>::infinity();
    // Least squares of x[n] ~ a sin + b cos + c.
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0, s1 = 0, c1 = 0, x1 = 0;
    const double n = double(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double w = 2 * kPi * frequency * double(i) / sampleRate;
        const double s = std::sin(w), c = std::cos(w), x = samples[i];
        ss += s * s; cc += c * c; sc += s * c; xs += x * s; xc += x * c; s1 += s; c1 += c; x1 += x;
    }
    // Remove the mean first (the sums of sin and cos are small over many periods).
    const double mean = x1 / n;
    xs -= mean * s1;
    xc -= mean * c1;
    const double det = ss * cc - sc * sc;
    if (det == 0)
        return -std::numeric_limits<double>::infinity();
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double w = 2 * kPi * frequency * double(i) / sampleRate;
        const double fit = a * std::sin(w) + b * std::cos(w);
        signal += fit * fit;
        const double e = samples[i] - mean - fit;
        noise += e * e;
    }
    return decibels(signal, noise);
}

double snrDb(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded)
{
    const std::size_t n = std::min(original.size(), decoded.size());
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        signal += double(original[i]) * original[i];
        const double e = double(original[i]) - decoded[i];
        noise += e * e;
    }
    return decibels(signal, noise);
}

} // namespace TestSupport

#pragma once
// 16-bit PCM WAV (RIFF) files for the audio commands: the header written in
// front of samples whose count is not known yet, the sizes put right once it
// is, and a reader for the sound `vapixcam speak` sends.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VapixcamCli {

// A 44-byte header. dataBytes 0xFFFFFFFF marks a stream of unknown length
// (what ffmpeg writes to a pipe).
std::string wavHeader(std::uint32_t sampleRate, std::uint16_t channels, std::uint32_t dataBytes);

// Writes the RIFF and data sizes of a file written with an unknown length.
// False when the file cannot be updated.
bool patchWavSizes(const std::string& path, std::uint32_t dataBytes);

struct WavSound {
    std::uint32_t sampleRate = 0;
    std::vector<std::int16_t> samples; // mono: channels mixed down
};

// Reads a PCM WAV of 8 or 16 bits, 1 or 2 channels. Throws CliError (usage)
// for anything else, with what the file is instead.
WavSound readWav(const std::string& path);

// Linear interpolation to another rate (the speaker takes 8 kHz).
std::vector<std::int16_t> resample(const std::vector<std::int16_t>& samples, std::uint32_t from, std::uint32_t to);

} // namespace VapixcamCli

#pragma once
// vapixcam audio URL: receives the live sound of one audio input the way a
// host does (CreateAudioSource, transport through the source's adjuster,
// Start), decodes it to a 16-bit PCM WAV at the stream's own rate, and prints
// what arrived as one JSON object: codec, sampleRate, frames, seconds,
// lostFrames.
#include "Command.h"
#include "DeviceSession.h"

#include <cstdint>
#include <string>

namespace VapixcamCli {

struct AudioOptions {
    std::uint32_t channel = 0;
    std::string transport = "tcp"; // tcp, udp, http
    unsigned seconds = 10;         // after the first frame; 0 until Ctrl-C
    std::string outputPath;
};

class AudioCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    AudioOptions audio_;
};

} // namespace VapixcamCli

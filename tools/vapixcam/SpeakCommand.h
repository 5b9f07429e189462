#pragma once
// vapixcam speak URL FILE.wav: sends a WAV file to a camera's speaker the way
// a host does (CreateAudioDestination, Call, PushAudioFrame every 20 ms in
// real time, HangUp), encoded as G.711 mu-law or G.726 at 32 or 24 kbit/s,
// and prints the result code: {"result":N,"meaning":TEXT,...}. Exits 0 only
// when the result is 0.
#include "Command.h"
#include "DeviceSession.h"

#include <cstdint>
#include <string>

namespace VapixcamCli {

struct SpeakOptions {
    std::string wavPath;
    std::uint32_t channel = 0;
    std::string codec = "g711"; // g711, g726-32, g726-24
};

class SpeakCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    SpeakOptions speak_;
};

} // namespace VapixcamCli

#pragma once
// vapixcam live URL: connects to one camera through the module, opens one
// live video stream the way a host does (CreateVideoSource, transport through
// the source's adjuster, Start), receives it for a while, optionally writes
// the elementary stream to a file, and prints what arrived as one JSON object.
#include "Command.h"
#include "DeviceSession.h"

#include <cstdint>
#include <string>

namespace VapixcamCli {

struct LiveOptions {
    std::uint32_t channel = 0;
    std::uint32_t stream = 0;       // 0 main, 1 second stream
    std::string transport = "tcp";  // tcp, udp, multicast, rtspoverhttp
    bool transportGiven = false;    // false: the source may fall back from tcp to udp and the tunnel
    std::string codec;              // empty: the source's choice
    unsigned seconds = 10;          // after the first frame; 0 until Ctrl-C
    int signalLostSeconds = -1;     // below 0: the source's default
    std::string outputPath;
};

class LiveCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    LiveOptions live_;
    CLI::Option* transportOption_ = nullptr;
};

} // namespace VapixcamCli

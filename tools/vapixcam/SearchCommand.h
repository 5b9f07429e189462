#pragma once
// vapixcam search [--seconds N]: runs the module's device search for N
// seconds and prints one JSON line per camera found:
//   {"name":"AXIS P3245-LVE - ACCC8EB3494E","model":"P3245-LVE","mac":"ACCC8EB3494E",
//    "addresses":["192.168.0.90"],"port":80,"url":"http://192.168.0.90"}
// The module reports address, port and MAC; the instance name and the model
// come from a browser of the command's own that listens alongside.
#include "Command.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace VapixcamCli {

// What the search found about one camera; several answers (one per address)
// fold into one.
struct FoundCamera {
    std::string name;
    std::string model;
    std::string mac;
    std::vector<std::string> addresses;
    std::uint32_t port = 0;

    std::string url() const;
    std::string jsonLine() const;
};

// The model an instance name carries: "AXIS P3245-LVE - ACCC8EB3494E" ->
// "P3245-LVE"; empty when the name has no "AXIS " prefix.
std::string modelOfInstance(const std::string& instanceName);

class SearchCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    unsigned seconds_ = 3;
};

} // namespace VapixcamCli

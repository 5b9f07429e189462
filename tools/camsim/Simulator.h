#pragma once
// One running simulated camera: the model's state, the HTTP(S) servers with
// their CGIs and control routes, and the RTSP port, on one io_context run by
// a small pool of threads. New CGI families register on router() before
// start(), or in Simulator.cpp next to the existing ones.
#include "Authenticator.h"
#include "FaultInjector.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace Camsim {

class Camera;
class RequestLog;
class Router;

struct SimulatorConfig {
    std::string bindAddress = "127.0.0.1";
    unsigned short httpPort = 0;       // 0: any free port
    int rtspPort = 0;                  // 0: any free port, -1: no RTSP listener
    std::optional<unsigned short> httpsPort;
    std::string tlsCertFile;           // both empty: self-signed at start
    std::string tlsKeyFile;
    std::string model = "M1065-LW";
    std::string dataDir;               // holds models/ and common/
    std::string mediaDir;              // video clips for RTSP (empty: the build's clip directory)
    std::string user = "root";
    std::string password = "pass";
    AuthMode auth = AuthMode::DigestMd5;
    unsigned nonceLifetimeSeconds = 300; // then answers carry stale=true
    unsigned nonceUses = 10000;          // requests per nonce, likewise
    std::vector<std::pair<std::string, FaultSpec>> faults;
    std::vector<std::pair<std::string, std::string>> params; // set after the ports are known
    std::string requestLogFile;
    unsigned threads = 2;
    double rebootSeconds = 3.0;        // down time of a restart through firmwaremanagement.cgi
    bool refuseRtspTcp = false;        // SETUP with RTP over the RTSP connection gets 461, as some servers answer
    bool ptzQueuePage = false;         // ptzqueue.cgi grants control with a 200 page instead of a 302
    unsigned ptzMaxPresets = 100;      // server presets per PTZ camera, Home included
    bool mdns = false;                 // announce "_axis-video._tcp" by multicast DNS
    std::string mdnsInstance;          // empty: the model's Network.Bonjour.FriendlyName
    std::vector<std::string> applications{"vmd"}; // what applications/list.cgi lists
};

class Simulator {
public:
    explicit Simulator(SimulatorConfig config);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Loads the model, binds every port and starts the threads.
    bool start(std::string& error);
    void stop();

    unsigned short httpPort() const;
    std::optional<unsigned short> rtspPort() const;
    std::optional<unsigned short> httpsPort() const;
    // {"ready":true,"httpPort":N,"rtspPort":N|null,"httpsPort":N|null,"model":"..."}
    std::string readyLine() const;

    // Valid after start().
    Camera& camera();
    FaultInjector& faults();
    RequestLog& requestLog();
    boost::asio::io_context& io();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "Name=Value" -> pair; nullopt without '='.
std::optional<std::pair<std::string, std::string>> splitAssignment(const std::string& text);

} // namespace Camsim

// camsim: a simulated Axis network camera for demos, quick tries and tests.
// Prints one JSON line with its ports once it listens, runs until SIGINT or
// SIGTERM and exits 0.
#include "ModelLoader.h"
#include "Simulator.h"

#include <CLI/CLI.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <filesystem>
#include <iostream>

namespace {

// An installed camsim (PREFIX/bin/camsim) keeps its models and clips in
// PREFIX/share/vapixcam/camsim; one in the build tree uses the source
// tree's models and the build's clips.
void findInstalledData(Camsim::SimulatorConfig& config)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return;
    const fs::path share = self.parent_path().parent_path() / "share" / "vapixcam" / "camsim";
    if (!fs::is_directory(share / "models", ec))
        return;
    config.dataDir = share.string();
    config.mediaDir = (share / "media").string();
}

} // namespace

int main(int argc, char** argv)
{
    Camsim::SimulatorConfig config;
    config.dataDir = CAMSIM_DATA_DIR;
    findInstalledData(config);

    CLI::App app{"Simulated Axis network camera (VAPIX over HTTP, RTSP port)"};
    int httpPort = 0;
    int rtspPort = 0;
    int httpsPort = -1;
    std::string user = "root:pass";
    std::string auth = "digest-md5";
    std::vector<std::string> faults;
    std::vector<std::string> params;
    bool noRtsp = false;
    bool refuseRtspTcp = false;
    bool listModels = false;
    app.add_option("--http-port", httpPort, "HTTP port (0: any free port)")->check(CLI::Range(0, 65535));
    app.add_option("--rtsp-port", rtspPort, "RTSP port (0: any free port, -1: none)")->check(CLI::Range(-1, 65535));
    app.add_flag("--no-rtsp", noRtsp, "Open no RTSP port");
    app.add_flag("--refuse-rtsp-tcp", refuseRtspTcp,
                 "Answer 461 to a SETUP asking for RTP over the RTSP connection (the HTTP tunnel still works)");
    app.add_option("--https-port", httpsPort, "HTTPS port (0: any free port)")->check(CLI::Range(0, 65535));
    app.add_option("--tls-cert", config.tlsCertFile, "PEM certificate (default: self-signed at start)");
    app.add_option("--tls-key", config.tlsKeyFile, "PEM private key for --tls-cert");
    app.add_option("--model", config.model, "Camera model (see --list-models)");
    app.add_option("--user", user, "Account as NAME:PASSWORD");
    app.add_option("--auth", auth, "digest-md5 | digest-sha256 | basic | none");
    app.add_option("--nonce-lifetime", config.nonceLifetimeSeconds, "Seconds a digest nonce stays valid")
        ->check(CLI::Range(1, 86400));
    app.add_option("--nonce-uses", config.nonceUses, "Requests one digest nonce may authorise")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--fault", faults, "PATH=SPEC, e.g. /axis-cgi/param.cgi=status:503,count:2");
    app.add_option("--param", params, "Name=Value set after start, e.g. Network.RTSP.Port=554");
    app.add_option("--request-log", config.requestLogFile, "Append every request as a JSON line to FILE");
    app.add_option("--data-dir", config.dataDir, "Directory with models/ and common/");
    app.add_option("--media-dir", config.mediaDir, "Directory with the video clips for RTSP");
    app.add_option("--bind", config.bindAddress, "Address to listen on");
    app.add_option("--threads", config.threads, "I/O threads")->check(CLI::Range(1, 16));
    app.add_option("--reboot-seconds", config.rebootSeconds, "Seconds a reboot keeps the camera unreachable")
        ->check(CLI::Range(0.0, 600.0));
    app.add_flag("--ptz-queue-page", config.ptzQueuePage,
                 "ptzqueue.cgi grants control with a 200 page instead of a 302 redirect (both set the cookie)");
    app.add_option("--ptz-max-presets", config.ptzMaxPresets, "Server presets per PTZ camera, Home included")
        ->check(CLI::Range(1, 9999));
    app.add_flag("--mdns", config.mdns,
                 "Announce the camera as _axis-video._tcp by multicast DNS on the --bind address "
                 "(every interface for 0.0.0.0)");
    app.add_option("--mdns-name", config.mdnsInstance,
                   "mDNS instance name (default: the model's Network.Bonjour.FriendlyName)");
    std::string applications = "vmd";
    app.add_option("--apps", applications,
                   "Installed camera applications, comma-separated, running unless NAME:stopped")
        ->capture_default_str();
    app.add_flag("--list-models", listModels, "Print the available models and exit");
    CLI11_PARSE(app, argc, argv);

    if (listModels) {
        for (const auto& name : Camsim::ModelLoader::listModels(config.dataDir))
            std::cout << name << '\n';
        return 0;
    }

    auto fail = [](const std::string& message) {
        std::cerr << "camsim: " << message << std::endl;
        return 1;
    };
    const auto colon = user.find(':');
    if (colon == std::string::npos || colon == 0)
        return fail("--user takes NAME:PASSWORD");
    config.user = user.substr(0, colon);
    config.password = user.substr(colon + 1);
    const auto mode = Camsim::parseAuthMode(auth);
    if (!mode)
        return fail("--auth takes digest-md5, digest-sha256, basic or none");
    config.auth = *mode;
    config.httpPort = static_cast<unsigned short>(httpPort);
    config.rtspPort = noRtsp ? -1 : rtspPort;
    config.refuseRtspTcp = refuseRtspTcp;
    if (httpsPort >= 0)
        config.httpsPort = static_cast<unsigned short>(httpsPort);
    if (config.tlsCertFile.empty() != config.tlsKeyFile.empty())
        return fail("--tls-cert and --tls-key go together");
    if (!config.tlsCertFile.empty() && !config.httpsPort)
        return fail("--tls-cert needs --https-port");
    for (const auto& f : faults) {
        const auto a = Camsim::splitAssignment(f);
        if (!a || a->first[0] != '/')
            return fail("--fault takes PATH=SPEC, got '" + f + "'");
        std::string why;
        const auto spec = Camsim::parseFaultSpec(a->second, why);
        if (!spec)
            return fail("--fault " + f + ": " + why);
        config.faults.emplace_back(a->first, *spec);
    }
    for (const auto& p : params) {
        const auto a = Camsim::splitAssignment(p);
        if (!a)
            return fail("--param takes Name=Value, got '" + p + "'");
        config.params.push_back(*a);
    }

    config.applications.clear();
    for (std::size_t start = 0; start < applications.size();) {
        const auto comma = std::min(applications.find(',', start), applications.size());
        if (comma > start)
            config.applications.push_back(applications.substr(start, comma - start));
        start = comma + 1;
    }

    Camsim::Simulator simulator(config);
    std::string error;
    if (!simulator.start(error))
        return fail(error);

    boost::asio::io_context signals;
    boost::asio::signal_set set(signals, SIGINT, SIGTERM);
    set.async_wait([](const boost::system::error_code&, int) {});
    std::cout << simulator.readyLine() << std::endl;
    signals.run();
    simulator.stop();
    return 0;
}

#include "SimCommand.h"

#include "ChildProcess.h"
#include "CliError.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <json/json.h>
#include <memory>
#include <sys/wait.h>

#ifndef VAPIXCAM_CAMSIM_PATH
#define VAPIXCAM_CAMSIM_PATH "camsim"
#endif

namespace VapixcamCli {

namespace {

struct DefaultArgument {
    const char* option;
    const char* value;
};

constexpr DefaultArgument kDefaults[] = {
    {"--http-port", "0"},
    {"--rtsp-port", "0"},
    {"--model", "M1065-LW"},
    {"--user", "root:pass"},
};

bool hasOption(const std::vector<std::string>& arguments, const std::string& option)
{
    for (const std::string& a : arguments)
        if (a == option || a.compare(0, option.size() + 1, option + "=") == 0)
            return true;
    return false;
}

// The value of option in "--opt value" or "--opt=value" form; the last one wins.
std::string optionValue(const std::vector<std::string>& arguments, const std::string& option)
{
    std::string value;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == option && i + 1 < arguments.size())
            value = arguments[i + 1];
        else if (arguments[i].compare(0, option.size() + 1, option + "=") == 0)
            value = arguments[i].substr(option.size() + 1);
    }
    return value;
}

// Percent-encodes everything but RFC 3986 unreserved characters, which also
// leaves the URL safe to paste into a shell.
std::string encodeUserInfo(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

// camsim beside vapixcam (a build tree, or PREFIX/bin when installed), else
// the build's own.
std::string defaultCamsimPath()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && std::filesystem::exists(self.parent_path() / "camsim", ec))
        return (self.parent_path() / "camsim").string();
    return VAPIXCAM_CAMSIM_PATH;
}

Json::Value parseReadyLine(const std::string& line)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(line.data(), line.data() + line.size(), &root, &errors) ||
        !root.isObject() || !root["ready"].asBool() || !root["httpPort"].isUInt())
        throw CliError(kExitError, "camsim printed an unexpected ready line: " + line);
    return root;
}

std::string describeStatus(int status)
{
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

} // namespace

std::vector<std::string> SimCommand::camsimArguments(const std::vector<std::string>& given)
{
    std::vector<std::string> arguments = given;
    for (const DefaultArgument& d : kDefaults) {
        if (!hasOption(given, d.option)) {
            arguments.emplace_back(d.option);
            arguments.emplace_back(d.value);
        }
    }
    return arguments;
}

std::string SimCommand::camsimCredentials(const std::vector<std::string>& arguments)
{
    return optionValue(arguments, "--user");
}

CLI::App* SimCommand::attach(CLI::App& app)
{
    command_ = app.add_subcommand(
        "sim", "Run the simulated camera (camsim) until Ctrl-C; every option after the "
               "first unknown one goes to camsim (e.g. --model P5512 --auth basic "
               "--fault PATH=SPEC)");
    command_->prefix_command();
    camsimPath_ = defaultCamsimPath();
    command_->add_option("--camsim", camsimPath_, "The camsim program")->capture_default_str();
    command_
        ->add_option("--ready-timeout", readyTimeoutSeconds_,
                     "Seconds to wait for camsim to report that it is ready")
        ->check(CLI::Range(1u, 600u))
        ->capture_default_str();
    return command_;
}

int SimCommand::run()
{
    const std::vector<std::string> arguments = camsimArguments(command_->remaining());
    std::vector<std::string> argv{camsimPath_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    // Ctrl-C, kill and camsim's end are all awaited with sigwait; blocked
    // before the child exists so none is lost.
    sigset_t awaited;
    sigemptyset(&awaited);
    sigaddset(&awaited, SIGINT);
    sigaddset(&awaited, SIGTERM);
    sigaddset(&awaited, SIGHUP);
    sigaddset(&awaited, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &awaited, nullptr);

    ChildProcess camsim(argv);
    std::string line;
    if (!camsim.readLine(line, std::chrono::seconds(readyTimeoutSeconds_))) {
        int status = 0;
        if (camsim.reap(status))
            throw CliError(kExitError, "camsim " + describeStatus(status) + " before it was ready");
        throw CliError(kExitError, "camsim did not report ready within " +
                                       std::to_string(readyTimeoutSeconds_) + " s");
    }
    const Json::Value ready = parseReadyLine(line);

    std::string credentials = camsimCredentials(arguments);
    const std::string::size_type colon = credentials.find(':');
    const std::string user = encodeUserInfo(credentials.substr(0, colon));
    const std::string password =
        colon == std::string::npos ? std::string() : encodeUserInfo(credentials.substr(colon + 1));
    const std::string userInfo = user + (password.empty() ? "" : ":" + password) + "@";
    const std::string httpPort = std::to_string(ready["httpPort"].asUInt());

    std::cout << "camsim is running: model " << ready["model"].asString() << ", HTTP port "
              << httpPort << ", RTSP port "
              << (ready["rtspPort"].isUInt() ? std::to_string(ready["rtspPort"].asUInt()) : "none");
    if (ready["httpsPort"].isUInt())
        std::cout << ", HTTPS port " << ready["httpsPort"].asUInt();
    std::cout << "\nTry:\n  vapixcam info http://" << userInfo << "127.0.0.1:" << httpPort << "\n";
    if (ready["httpsPort"].isUInt())
        std::cout << "  vapixcam info 'https://" << userInfo << "127.0.0.1:"
                  << ready["httpsPort"].asUInt() << "/?tls-accept-self-signed=1'\n";
    std::cout << "Press Ctrl-C to stop." << std::endl;
    camsim.forwardOutput();

    for (;;) {
        int signal = 0;
        if (sigwait(&awaited, &signal) != 0)
            continue;
        int status = 0;
        if (signal == SIGCHLD) {
            if (camsim.reap(status))
                throw CliError(kExitError, "camsim " + describeStatus(status));
            continue;
        }
        camsim.stop();
        std::cout << "camsim stopped." << std::endl;
        return kExitOk;
    }
}

} // namespace VapixcamCli

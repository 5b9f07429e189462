#include "SearchCommand.h"

#include "CliError.h"
#include "JsonLine.h"
#include "Host.h"
#include "ModuleLoader.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <iostream>
#include <json/json.h>
#include <memory>
#include <netkit/discovery/NetworkInterfaces.h>
#include <netkit/discovery/ServiceBrowser.h>
#include <netkit/util/Contract.h>
#include <thread>

namespace VapixcamCli {

namespace {

// The host's search handler: collects the module's answers.
class SearchCollector final : public Orix::GDRV::IDeviceSearchHandler {
public:
    struct Answer {
        std::string address, mac;
        std::uint32_t port = 0;
    };

    Orix::IContract* QueryContract(const char* name) override
    {
        return const_cast<Orix::IContract*>(QueryConstContract(name));
    }
    const Orix::IContract* QueryConstContract(const char* name) const override
    {
        return Orix::Utility::queryContract<Orix::IContract, Orix::GDRV::IDeviceSearchHandler>(this, name);
    }
    void Finished(Orix::GDRV::IDeviceSearch*, std::uint32_t) override {}
    void Found(Orix::GDRV::IDeviceSearch*, const Orix::GDRV::IDeviceSearchResult* result) override
    {
        const auto* ip = static_cast<const Orix::GDRV::IIPDeviceSearchResult*>(
            const_cast<Orix::GDRV::IDeviceSearchResult*>(result)->QueryContract(
                Orix::contractName<Orix::GDRV::IIPDeviceSearchResult>()));
        if (ip == nullptr)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back({ip->GetAddress(), ip->GetMacAddress(), ip->GetPort()});
    }
    std::vector<Answer> answers() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return answers_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Answer> answers_;
};

// Instance names by (address, port), from a browser of our own.
class NameListener {
public:
    NameListener() : work_(io_.get_executor())
    {
        for (const auto& address : Orix::Utility::enumerateNetworkInterfaceAddresses()) {
            try {
                browsers_.push_back(std::make_unique<Orix::Utility::ServiceBrowser>(
                    io_, address, "_axis-video._tcp",
                    [this](const std::string& ip, std::uint16_t port,
                           const std::map<std::string, std::string>&, const std::string& instance) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        names_[ip + ":" + std::to_string(port)] = instance;
                    },
                    nullptr));
                browsers_.back()->query();
            } catch (const std::exception&) {
                // The module's search reports the same interfaces' problems.
            }
        }
        thread_ = std::thread([this] { io_.run(); });
    }
    ~NameListener()
    {
        for (auto& browser : browsers_)
            browser->stop();
        work_.reset();
        io_.stop();
        thread_.join();
    }
    std::string name(const std::string& address, std::uint32_t port) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = names_.find(address + ":" + std::to_string(port));
        if (it == names_.end())
            return {};
        // "AXIS P3245-LVE - ACCC8EB3494E._axis-video._tcp.local" -> the first label.
        const auto end = it->second.find("._axis-video._tcp");
        return it->second.substr(0, end);
    }

private:
    boost::asio::io_context io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
    std::vector<std::unique_ptr<Orix::Utility::ServiceBrowser>> browsers_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> names_;
};

} // namespace

std::string modelOfInstance(const std::string& instanceName)
{
    const std::string prefix = "AXIS ";
    if (instanceName.compare(0, prefix.size(), prefix) != 0)
        return {};
    const std::string rest = instanceName.substr(prefix.size());
    const auto cut = std::min(rest.find(" - "), rest.find(" ("));
    return rest.substr(0, cut);
}

std::string FoundCamera::url() const
{
    if (addresses.empty())
        return {};
    const std::string& a = addresses.front();
    const std::string host = a.find(':') != std::string::npos ? "[" + a + "]" : a;
    return "http://" + host + (port == 80 || port == 0 ? "" : ":" + std::to_string(port));
}

std::string FoundCamera::jsonLine() const
{
    Json::Value line(Json::objectValue);
    line["name"] = name;
    line["model"] = model;
    line["mac"] = mac;
    line["addresses"] = Json::Value(Json::arrayValue);
    for (const auto& a : addresses)
        line["addresses"].append(a);
    line["port"] = port;
    line["url"] = url();
    return compactJson(line);
}

CLI::App* SearchCommand::attach(CLI::App& app)
{
    CLI::App* command = app.add_subcommand(
        "search", "Find Axis cameras on the local networks (DNS-SD) and print one JSON line each");
    command->add_option("--seconds", seconds_, "How long to listen for answers")
        ->check(CLI::Range(1, 600))
        ->capture_default_str();
    module_.addTo(*command);
    return command;
}

int SearchCommand::run()
{
    Host host(module_.logLevel);
    ModuleLoader loader(module_.modulePath);
    Orix::GDRV::IModule& module = loader.init(host);

    SearchCollector collector;
    std::vector<SearchCollector::Answer> answers;
    std::map<std::string, std::string> names;
    {
        NameListener listener;
        Orix::GDRV::IDeviceSearch* search = module.CreateDeviceSearch(&collector);
        if (search == nullptr)
            throw CliError(kExitError, "the module offers no device search");
        search->Start();
        std::this_thread::sleep_for(std::chrono::seconds(seconds_));
        search->Stop();
        search->Destroy();
        answers = collector.answers();
        for (const auto& a : answers)
            names[a.address + ":" + std::to_string(a.port)] = listener.name(a.address, a.port);
    }
    loader.fini();

    // One camera per MAC address (per address and port without one), in
    // the order the first answer came.
    std::vector<FoundCamera> cameras;
    for (const auto& a : answers) {
        const std::string key = a.mac.empty() ? a.address + ":" + std::to_string(a.port) : a.mac;
        auto it = std::find_if(cameras.begin(), cameras.end(), [&](const FoundCamera& c) {
            return (c.mac.empty() ? c.addresses.front() + ":" + std::to_string(c.port) : c.mac) == key;
        });
        if (it == cameras.end()) {
            FoundCamera camera;
            camera.mac = a.mac;
            camera.port = a.port;
            cameras.push_back(camera);
            it = cameras.end() - 1;
        }
        if (std::find(it->addresses.begin(), it->addresses.end(), a.address) == it->addresses.end())
            it->addresses.push_back(a.address);
        const std::string& name = names[a.address + ":" + std::to_string(a.port)];
        if (it->name.empty() && !name.empty()) {
            it->name = name;
            it->model = modelOfInstance(name);
        }
    }
    for (const auto& camera : cameras)
        std::cout << camera.jsonLine() << '\n';
    std::cout.flush();
    return kExitOk;
}

} // namespace VapixcamCli

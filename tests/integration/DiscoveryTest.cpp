// Discovery against responders on loopback: camsim's own and one nobody here
// wrote (python3-zeroconf), and default properties against a two-channel
// camsim.
#include "Device.h"
#include "DeviceSearch.h"
#include "support/CamsimProcess.h"
#include "support/FakeHost.h"
#include "support/ProcessRunner.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>
#include <json/json.h>
#include <mutex>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Contract.h>
#include <thread>

using TestSupport::CamsimOptions;
using TestSupport::CamsimProcess;

namespace {

// Whether a datagram sent to the mDNS group on loopback comes back: some
// sandboxes and containers have no multicast on lo.
bool loopbackMulticastWorks()
{
    namespace ip = boost::asio::ip;
    try {
        boost::asio::io_context io;
        ip::udp::socket socket(io, ip::udp::v4());
        socket.set_option(ip::udp::socket::reuse_address(true));
        socket.bind(ip::udp::endpoint(ip::address_v4::any(), 0));
        const auto group = ip::make_address_v4("224.0.0.251");
        const auto lo = ip::make_address_v4("127.0.0.1");
        socket.set_option(ip::multicast::join_group(group, lo));
        socket.set_option(ip::multicast::outbound_interface(lo));
        socket.set_option(ip::multicast::enable_loopback(true));
        const unsigned short port = socket.local_endpoint().port();
        socket.send_to(boost::asio::buffer("probe", 5), ip::udp::endpoint(group, port));
        socket.non_blocking(true);
        char buffer[16];
        for (int i = 0; i < 40; ++i) {
            boost::system::error_code ec;
            if (socket.receive(boost::asio::buffer(buffer), 0, ec) == 5)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    } catch (const std::exception&) {
    }
    return false;
}

// Publishes two services with python3-zeroconf on loopback: an Axis camera
// and something else under the same service type. Prints "ready".
const char* const kZeroconfPublisher = R"(
import socket, sys, time
from zeroconf import Zeroconf, ServiceInfo
zc = Zeroconf(interfaces=['127.0.0.1'])
def publish(name, port, props, host):
    info = ServiceInfo('_axis-video._tcp.local.', name + '._axis-video._tcp.local.',
                       addresses=[socket.inet_aton('127.0.0.1')], port=port, properties=props, server=host)
    zc.register_service(info)
publish('AXIS M3058-PLVE - ACCC8E0CBE87', 8081, {'macaddress': 'ACCC8E0CBE87'}, 'axis-accc8e0cbe87.local.')
publish('Lobby recorder', 8082, {}, 'recorder.local.')
print('ready', flush=True)
time.sleep(600)
)";

class RecordingSearchHandler final : public Orix::GDRV::IDeviceSearchHandler {
public:
    struct Found {
        std::string vendor, model, address, mac;
        std::uint32_t port;
    };
    Orix::IContract* QueryContract(const char*) override { return nullptr; }
    const Orix::IContract* QueryConstContract(const char*) const override { return nullptr; }
    void Finished(Orix::GDRV::IDeviceSearch*, std::uint32_t) override {}
    void Found(Orix::GDRV::IDeviceSearch*, const Orix::GDRV::IDeviceSearchResult* result) override
    {
        const auto* ip = static_cast<const Orix::GDRV::IIPDeviceSearchResult*>(result);
        std::lock_guard<std::mutex> lock(mutex_);
        found_.push_back({ip->GetVendor(), ip->GetModel(), ip->GetAddress(), ip->GetMacAddress(), ip->GetPort()});
    }
    std::vector<struct Found> found() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return found_;
    }
    bool has(std::uint32_t port) const
    {
        for (const auto& f : found())
            if (f.port == port)
                return true;
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<struct Found> found_;
};

TEST(Discovery, SearchFindsCamsimAndAResponderNobodyHereWrote)
{
    if (!CamsimProcess::available())
        GTEST_SKIP() << "camsim is not built";
    if (!loopbackMulticastWorks())
        GTEST_SKIP() << "multicast on loopback is not possible on this machine";
    if (!TestSupport::runProcess({"/usr/bin/python3", "-c", "import zeroconf"}, std::chrono::seconds(20)).exited(0))
        GTEST_SKIP() << "python3-zeroconf is not installed (scripts/setup.sh installs it)";

    CamsimOptions options;
    options.model = "P3245-LVE";
    options.extraArguments = {"--mdns"};
    CamsimProcess camsim(options);
    TestSupport::ChildProcess zeroconf({"/usr/bin/python3", "-c", kZeroconfPublisher});
    std::string line;
    ASSERT_TRUE(zeroconf.readLine(line, std::chrono::seconds(30)) && line == "ready") << zeroconf.stderrText();

    RecordingSearchHandler handler;
    auto info = std::make_shared<Orix::GDRV::DriverInfo>();
    info->name = "Velto.Vapixcam";
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    auto* search = new Vapixcam::DeviceSearch(&handler, log, info);
    ASSERT_EQ(search->Start(), 0u);
    EXPECT_EQ(search->Start(), 3u);
    for (int i = 0; i < 200 && !(handler.has(camsim.httpPort()) && handler.has(8081)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(search->Stop(), 0u);
    const auto afterStop = handler.found().size();
    search->Destroy();

    bool camsimFound = false, zeroconfFound = false;
    for (const auto& f : handler.found()) {
        EXPECT_EQ(f.vendor, "Axis");
        EXPECT_EQ(f.model, "generic");
        EXPECT_NE(f.port, 8082u) << "a service without an AXIS instance name was reported";
        if (f.port == camsim.httpPort()) {
            camsimFound = true;
            EXPECT_EQ(f.address, "127.0.0.1");
            EXPECT_EQ(f.mac, "ACCC8EB3494E");
        }
        if (f.port == 8081) {
            zeroconfFound = true;
            EXPECT_EQ(f.address, "127.0.0.1");
            EXPECT_EQ(f.mac, "ACCC8E0CBE87");
        }
    }
    EXPECT_TRUE(camsimFound) << log->all();
    EXPECT_TRUE(zeroconfFound) << log->all();
    EXPECT_EQ(handler.found().size(), afterStop) << "a result arrived after Stop";

    // The command line folds the answers into one line per camera.
    const auto result = TestSupport::runProcess(
        {CamsimProcess::toolsDirectory() + "/vapixcam", "search", "--seconds", "3"}, std::chrono::seconds(60));
    ASSERT_TRUE(result.exited(0)) << result.summary();
    EXPECT_NE(result.out.find("{\"addresses\":[\"127.0.0.1\"],\"mac\":\"ACCC8E0CBE87\",\"model\":\"M3058-PLVE\","
                              "\"name\":\"AXIS M3058-PLVE - ACCC8E0CBE87\",\"port\":8081,"
                              "\"url\":\"http://127.0.0.1:8081\"}\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\"name\":\"AXIS P3245-LVE - ACCC8EB3494E\",\"port\":" +
                              std::to_string(camsim.httpPort())),
              std::string::npos)
        << result.out;
}

TEST(Discovery, DefaultsOnTwoChannelCameraWriteEveryChannelThenDescribe)
{
    if (!CamsimProcess::available())
        GTEST_SKIP() << "camsim is not built";
    Orix::http::clearAuthenticationCache();
    CamsimOptions options;
    options.model = "P7214";
    options.params = {"ImageSource.NbrOfSources=2"};
    CamsimProcess camsim(options);

    Orix::GDRV::DeviceDescription description;
    description.models.push_back({"Axis", "generic", {"auto"}});
    auto log = std::make_shared<TestSupport::CapturingLogger>(0);
    TestSupport::RecordingDeviceHandler deviceHandler;
    auto device = std::make_unique<Vapixcam::Device>(&deviceHandler, description, "generic", "",
                                                     std::make_shared<Orix::GDRV::DriverInfo>(), log);
    device->Connect(camsim.url().c_str());
    ASSERT_TRUE(deviceHandler.waitFor(Orix::GDRV::ConnectionState::Connected, 1, std::chrono::seconds(30)))
        << log->all();

    auto* setter = static_cast<Orix::IDefaultPropertiesSetter*>(
        device->QueryContract(Orix::contractName<Orix::IDefaultPropertiesSetter>()));
    ASSERT_NE(setter, nullptr);
    TestSupport::RecordingParametersHandler answer;
    setter->SetDefaultProperties(&answer);
    ASSERT_TRUE(answer.wait(std::chrono::seconds(60))) << log->all();
    ASSERT_EQ(answer.failure(), 0u) << log->all();
    EXPECT_EQ(answer.calls(), 1);

    Json::Value json;
    std::istringstream(answer.json()) >> json;
    EXPECT_EQ(json["videoSources"]["items"].size(), 2u);
    EXPECT_EQ(json["macaddress"].asString(), "00:40:8C:BE:B3:6A");

    // Answered requests, in the order camsim received them.
    std::vector<std::string> targets;
    for (const auto& r : camsim.requests())
        if (r.status == 200)
            targets.push_back(r.target);
    auto position = [&](const std::string& prefix) {
        for (std::size_t i = 0; i < targets.size(); ++i)
            if (targets[i].compare(0, prefix.size(), prefix) == 0)
                return static_cast<int>(i);
        return -1;
    };
    const int list = position("/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image.Resolution");
    const int main0 = position("/axis-cgi/operator/param.cgi?action=update&Image.I0.Appearance.Compression=30");
    const int main1 = position("/axis-cgi/operator/param.cgi?action=update&Image.I1.Appearance.Compression=30");
    const int profile0 = position("/axis-cgi/param.cgi?action=add&template=streamprofile&group=StreamProfile"
                                  "&StreamProfile.S.Name=Profile101");
    const int profile1 = position("/axis-cgi/param.cgi?action=add&template=streamprofile&group=StreamProfile"
                                  "&StreamProfile.S.Name=Profile201");
    const int describe = position("/axis-cgi/applications/list.cgi");
    ASSERT_GE(list, 0);
    ASSERT_TRUE(main0 > 0 && main1 > 0 && profile0 > 0 && profile1 > 0 && describe > 0) << ::testing::PrintToString(targets);
    EXPECT_LT(list, profile0);
    EXPECT_LT(list, profile1);
    for (int write : {main0, main1, profile0, profile1})
        EXPECT_LT(write, describe) << "the description was read before every default was written";

    device->Disconnect();
    device.reset();
}

} // namespace

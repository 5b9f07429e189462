#include <netkit/discovery/DnsMessage.h>
#include <netkit/discovery/ServiceBrowser.h>

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace Orix::Utility;
namespace ip = boost::asio::ip;

namespace {

// One record in wire form, names uncompressed.
std::string name(const std::vector<std::string>& labels)
{
    std::string out;
    for (const auto& l : labels)
        out += char(l.size()) + l;
    return out + '\0';
}
std::string u16(unsigned v) { return {char(v >> 8), char(v & 0xFF)}; }
std::string record(const std::string& owner, unsigned type, unsigned ttl, const std::string& data)
{
    return owner + u16(type) + u16(0x8001) + u16(ttl >> 16) + u16(ttl & 0xFFFF) + u16(data.size()) + data;
}
std::string response(const std::vector<std::string>& answers)
{
    std::string out = u16(0) + u16(0x8400) + u16(0) + u16(answers.size()) + u16(0) + u16(0);
    for (const auto& a : answers)
        out += a;
    return out;
}

const std::string kService = name({"_axis-video", "_tcp", "local"});
const std::string kInstance = name({"AXIS Q1615 - ACCC8E5E7F10", "_axis-video", "_tcp", "local"});
const std::string kHost = name({"axis-accc8e5e7f10", "local"});

// A responder that gives one record per answer, so the browser must ask for
// the SRV and TXT of the instance and then for the host's address, the way
// a responder behaves that sends no additional records.
class StingyResponder {
public:
    StingyResponder() : socket_(io_, ip::udp::v4())
    {
        socket_.set_option(ip::udp::socket::reuse_address(true));
        socket_.bind(ip::udp::endpoint(ip::address_v4::any(), 5353));
        socket_.set_option(ip::multicast::join_group(ip::make_address_v4("224.0.0.251"), lo_));
        socket_.set_option(ip::multicast::outbound_interface(lo_));
        socket_.set_option(ip::multicast::enable_loopback(true));
        socket_.non_blocking(true);
        thread_ = std::thread([this] { serve(); });
    }
    ~StingyResponder()
    {
        done_ = true;
        thread_.join();
    }
    std::vector<unsigned> askedTypes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }

private:
    void serve()
    {
        char buffer[9000];
        while (!done_) {
            ip::udp::endpoint from;
            boost::system::error_code ec;
            const std::size_t n = socket_.receive_from(boost::asio::buffer(buffer), from, 0, ec);
            if (ec) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            DnsMessage query;
            if (parseDnsMessage(reinterpret_cast<const std::uint8_t*>(buffer), n, query) || query.isResponse())
                continue;
            for (const auto& q : query.questions) {
                if (!sameDnsName(q.name, "_axis-video._tcp.local")) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    asked_.push_back(q.type);
                }
                std::string answer;
                if (q.type == 12 && sameDnsName(q.name, "_axis-video._tcp.local")) {
                    send("\xff\xff\x84"); // garbage first: dropped, the browser keeps listening
                    answer = record(kService, 12, 4500, kInstance);
                } else if (q.type == 33) {
                    answer = record(kInstance, 33, 120, u16(0) + u16(0) + u16(8080) + kHost);
                } else if (q.type == 16) {
                    answer = record(kInstance, 16, 4500, "\x17macaddress=ACCC8E5E7F10");
                } else if (q.type == 1) {
                    answer = record(kHost, 1, 120, std::string("\x7f\x00\x00\x01", 4));
                }
                if (!answer.empty())
                    send(response({answer}));
            }
        }
    }
    void send(const std::string& datagram)
    {
        boost::system::error_code ec;
        socket_.send_to(boost::asio::buffer(datagram), ip::udp::endpoint(ip::make_address_v4("224.0.0.251"), 5353),
                        0, ec);
    }

    boost::asio::io_context io_;
    ip::address_v4 lo_ = ip::make_address_v4("127.0.0.1");
    ip::udp::socket socket_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::vector<unsigned> asked_;
};

TEST(ServiceBrowser, FollowsInstanceToServiceTextAndAddress)
{
    std::unique_ptr<StingyResponder> responder;
    try {
        responder = std::make_unique<StingyResponder>();
    } catch (const std::exception& e) {
        GTEST_SKIP() << "no multicast on loopback: " << e.what();
    }
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    std::thread runner([&] { io.run(); });

    std::mutex mutex;
    std::vector<std::string> results; // other responders on this machine may answer too
    std::vector<std::string> errors;
    auto browser = std::make_unique<ServiceBrowser>(
        io, "127.0.0.1", "_axis-video._tcp",
        [&](const std::string& address, std::uint16_t port, const std::map<std::string, std::string>& txt,
            const std::string& instance) {
            std::lock_guard<std::mutex> lock(mutex);
            if (instance.find("Q1615") != std::string::npos)
                results.push_back(instance + " " + address + ":" + std::to_string(port) + " " + txt.at("macaddress"));
        },
        [&](const std::string& message) {
            std::lock_guard<std::mutex> lock(mutex);
            errors.push_back(message);
        });
    browser->query();
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!results.empty())
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    browser->stop();
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(results, std::vector<std::string>{
                               "AXIS Q1615 - ACCC8E5E7F10._axis-video._tcp.local 127.0.0.1:8080 ACCC8E5E7F10"});
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors[0].find("malformed"), std::string::npos) << errors[0];
    }
    const auto asked = responder->askedTypes();
    EXPECT_EQ(asked, (std::vector<unsigned>{33, 16, 1, 28})) << "SRV and TXT of the instance, then A and AAAA";

    // Nothing reaches the callbacks once stopped, even a new round.
    const auto before = results.size();
    browser->query();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    browser.reset();
    work.reset();
    runner.join();
    EXPECT_EQ(results.size(), before);
}

} // namespace

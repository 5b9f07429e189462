#include <netkit/discovery/ServiceBrowser.h>

#include <netkit/discovery/DnsMessage.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <set>
#include <vector>

namespace Orix::Utility {

namespace {

using boost::asio::ip::udp;

constexpr std::uint16_t kMdnsPort = 5353;
constexpr std::size_t kMaxInstances = 128;
constexpr std::size_t kMaxHosts = 128;
constexpr std::size_t kMaxAddressesPerHost = 8;

const boost::asio::ip::address_v4& mdnsGroup()
{
    static const auto group = boost::asio::ip::make_address_v4("224.0.0.251");
    return group;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

bool endsWithService(const std::string& lowerName, const std::string& lowerService)
{
    return lowerName.size() > lowerService.size() + 1 &&
           lowerName.compare(lowerName.size() - lowerService.size(), lowerService.size(),
                             lowerService) == 0 &&
           lowerName[lowerName.size() - lowerService.size() - 1] == '.';
}

} // namespace

struct ServiceBrowser::Impl : std::enable_shared_from_this<ServiceBrowser::Impl> {
    struct Service {
        std::string target; // lower case
        std::uint16_t port = 0;
    };

    Impl(boost::asio::io_context& io, std::string address, const std::string& serviceType,
         ResultCallback result, ErrorCallback error)
        : strand(boost::asio::make_strand(io)), socket(strand), interfaceAddress(std::move(address)),
          serviceName(serviceType + ".local"), serviceKey(lower(serviceName)),
          onResult(std::move(result)), onError(std::move(error))
    {
    }

    void open()
    {
        const auto local = boost::asio::ip::make_address_v4(interfaceAddress);
        socket.open(udp::v4());
        socket.set_option(udp::socket::reuse_address(true));
        boost::system::error_code ec;
        socket.bind(udp::endpoint(boost::asio::ip::address_v4::any(), kMdnsPort), ec);
        if (ec) {
            // Port 5353 is held exclusively by someone else: one-shot
            // queries from our own port still get unicast answers.
            socket.close();
            socket.open(udp::v4());
            socket.bind(udp::endpoint(local, 0));
        } else {
#if defined(IP_MULTICAST_ALL)
            // Only datagrams of the group joined here, on this interface;
            // the browsers of the other interfaces see their own.
            using MulticastAll = boost::asio::detail::socket_option::boolean<IPPROTO_IP, IP_MULTICAST_ALL>;
            socket.set_option(MulticastAll(false), ec);
#endif
            socket.set_option(boost::asio::ip::multicast::join_group(mdnsGroup(), local));
        }
        socket.set_option(boost::asio::ip::multicast::outbound_interface(local));
        socket.set_option(boost::asio::ip::multicast::enable_loopback(true));
        socket.set_option(boost::asio::ip::multicast::hops(255));
        port = socket.local_endpoint().port();
    }

    void startReceive()
    {
        auto self = shared_from_this();
        socket.async_receive_from(boost::asio::buffer(buffer), sender,
                                  [self](const boost::system::error_code& ec, std::size_t size) {
                                      self->handleReceive(ec, size);
                                  });
    }

    void handleReceive(const boost::system::error_code& ec, std::size_t size)
    {
        if (isStopped())
            return;
        if (ec) {
            if (ec != boost::asio::error::operation_aborted)
                reportError("receive failed on " + interfaceAddress + ": " + ec.message());
            if (ec == boost::asio::error::operation_aborted || ec == boost::asio::error::bad_descriptor)
                return;
            startReceive();
            return;
        }
        DnsMessage message;
        const auto parsed = parseDnsMessage(buffer.data(), size, message);
        if (parsed) {
            if (!malformedReported) {
                malformedReported = true;
                reportError("dropped a malformed mDNS datagram from " + sender.address().to_string() +
                            " on " + interfaceAddress + ": " + parsed.message());
            }
        } else if (message.isResponse()) {
            absorb(message);
            evaluate();
        }
        startReceive();
    }

    void absorb(const DnsMessage& message)
    {
        for (const auto* section : {&message.answers, &message.additionals}) {
            for (const DnsRecord& r : *section) {
                const std::string name = lower(r.name);
                switch (static_cast<DnsType>(r.type)) {
                case DnsType::PTR:
                    if (name == serviceKey && endsWithService(lower(r.target), serviceKey))
                        addInstance(r.target, r.ttl == 0);
                    break;
                case DnsType::SRV:
                    if (endsWithService(name, serviceKey) && services.size() < kMaxInstances)
                        services[name] = Service{lower(r.target), r.port};
                    break;
                case DnsType::TXT:
                    if (endsWithService(name, serviceKey) && texts.size() < kMaxInstances)
                        texts[name] = txtRecordMap(r.texts);
                    break;
                case DnsType::A:
                case DnsType::AAAA: {
                    if (hosts.size() >= kMaxHosts && hosts.count(name) == 0)
                        break;
                    auto& list = hosts[name];
                    const std::string text = dnsAddressText(r.address);
                    if (!text.empty() && list.size() < kMaxAddressesPerHost &&
                        std::find(list.begin(), list.end(), text) == list.end()) {
                        // IPv4 first: it is what a camera is added by.
                        if (r.address.size() == 4)
                            list.insert(list.begin(), text);
                        else
                            list.push_back(text);
                    }
                    break;
                }
                case DnsType::ANY:
                    break;
                }
            }
        }
    }

    void addInstance(const std::string& instance, bool goodbye)
    {
        const auto it = std::find_if(instances.begin(), instances.end(),
                                     [&](const std::string& known) { return sameDnsName(known, instance); });
        if (goodbye) {
            if (it != instances.end())
                instances.erase(it);
            return;
        }
        if (it == instances.end() && instances.size() < kMaxInstances)
            instances.push_back(instance);
    }

    void evaluate()
    {
        std::vector<DnsQuestion> questions;
        for (const std::string& instance : instances) {
            const std::string key = lower(instance);
            const auto service = services.find(key);
            const auto text = texts.find(key);
            if (service == services.end() || text == texts.end()) {
                if (asked.insert("srv " + key).second) {
                    questions.push_back({instance, std::uint16_t(DnsType::SRV)});
                    questions.push_back({instance, std::uint16_t(DnsType::TXT)});
                }
                continue;
            }
            const auto host = hosts.find(service->second.target);
            if (host == hosts.end() || host->second.empty()) {
                if (asked.insert("host " + service->second.target).second) {
                    questions.push_back({service->second.target, std::uint16_t(DnsType::A)});
                    questions.push_back({service->second.target, std::uint16_t(DnsType::AAAA)});
                }
                continue;
            }
            for (const std::string& address : host->second) {
                const std::string id = key + "|" + address + "|" + std::to_string(service->second.port);
                if (!reported.insert(id).second)
                    continue;
                deliver(address, service->second.port, text->second, instance);
            }
        }
        if (!questions.empty())
            send(buildDnsQuery(questions));
    }

    void deliver(const std::string& address, std::uint16_t servicePort,
                 const std::map<std::string, std::string>& txt, const std::string& instance)
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex);
        if (stopped || !onResult)
            return;
        try {
            onResult(address, servicePort, txt, instance);
        } catch (...) {
        }
    }

    void reportError(const std::string& message)
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex);
        if (stopped || !onError)
            return;
        try {
            onError(message);
        } catch (...) {
        }
    }

    void send(std::vector<std::uint8_t> datagram)
    {
        auto packet = std::make_shared<std::vector<std::uint8_t>>(std::move(datagram));
        auto self = shared_from_this();
        socket.async_send_to(boost::asio::buffer(*packet), udp::endpoint(mdnsGroup(), kMdnsPort),
                             [self, packet](const boost::system::error_code& ec, std::size_t) {
                                 if (ec && ec != boost::asio::error::operation_aborted)
                                     self->reportError("sending a query on " + self->interfaceAddress +
                                                       " failed: " + ec.message());
                             });
    }

    bool isStopped()
    {
        std::lock_guard<std::recursive_mutex> lock(callbackMutex);
        return stopped;
    }

    boost::asio::strand<boost::asio::io_context::executor_type> strand;
    udp::socket socket;
    std::string interfaceAddress;
    std::string serviceName;
    std::string serviceKey;
    ResultCallback onResult;
    ErrorCallback onError;
    std::uint16_t port = 0;

    std::recursive_mutex callbackMutex; // held while a callback runs
    bool stopped = false;

    // Touched only on the strand.
    std::array<std::uint8_t, kMaxDnsMessageBytes> buffer{};
    udp::endpoint sender;
    bool malformedReported = false;
    std::vector<std::string> instances;
    std::map<std::string, Service> services;
    std::map<std::string, std::map<std::string, std::string>> texts;
    std::map<std::string, std::vector<std::string>> hosts;
    std::set<std::string> asked;
    std::set<std::string> reported;
};

ServiceBrowser::ServiceBrowser(boost::asio::io_context& io, const std::string& interfaceAddress,
                               const std::string& serviceType, ResultCallback onResult,
                               ErrorCallback onError)
    : impl_(std::make_shared<Impl>(io, interfaceAddress, serviceType, std::move(onResult),
                                   std::move(onError)))
{
    impl_->open();
    auto impl = impl_;
    boost::asio::post(impl->strand, [impl] { impl->startReceive(); });
}

ServiceBrowser::~ServiceBrowser()
{
    stop();
}

void ServiceBrowser::query()
{
    auto impl = impl_;
    boost::asio::post(impl->strand, [impl] {
        if (impl->isStopped())
            return;
        impl->instances.clear();
        impl->services.clear();
        impl->texts.clear();
        impl->hosts.clear();
        impl->asked.clear();
        impl->reported.clear();
        impl->send(buildDnsQuery({{impl->serviceName, std::uint16_t(DnsType::PTR)}}));
    });
}

void ServiceBrowser::stop()
{
    {
        std::lock_guard<std::recursive_mutex> lock(impl_->callbackMutex);
        if (impl_->stopped)
            return;
        impl_->stopped = true;
    }
    auto impl = impl_;
    boost::asio::post(impl->strand, [impl] {
        boost::system::error_code ignored;
        impl->socket.close(ignored);
    });
}

const std::string& ServiceBrowser::interfaceAddress() const
{
    return impl_->interfaceAddress;
}

std::uint16_t ServiceBrowser::localPort() const
{
    return impl_->port;
}

} // namespace Orix::Utility

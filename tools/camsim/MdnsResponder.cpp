#include "MdnsResponder.h"

#include <boost/asio/ip/multicast.hpp>

#include <algorithm>
#include <array>
#include <cctype>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace Camsim {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

constexpr std::uint16_t kPtr = 12, kTxt = 16, kA = 1, kSrv = 33, kAny = 255;
constexpr std::uint32_t kHostTtl = 120, kServiceTtl = 4500; // RFC 6762 section 10

const asio::ip::address_v4 kGroup = asio::ip::make_address_v4("224.0.0.251");

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Writes a DNS message, names uncompressed.
class Writer {
public:
    void u16(std::uint16_t v)
    {
        out.push_back(std::uint8_t(v >> 8));
        out.push_back(std::uint8_t(v));
    }
    void u32(std::uint32_t v)
    {
        u16(std::uint16_t(v >> 16));
        u16(std::uint16_t(v));
    }
    // Labels given one by one, so an instance label may hold dots and spaces.
    void name(const std::vector<std::string>& labels)
    {
        for (const auto& l : labels) {
            out.push_back(std::uint8_t(std::min<std::size_t>(l.size(), 63)));
            out.insert(out.end(), l.begin(), l.begin() + std::min<std::size_t>(l.size(), 63));
        }
        out.push_back(0);
    }
    void record(const std::vector<std::string>& owner, std::uint16_t type, bool unique, std::uint32_t ttl,
                const std::vector<std::uint8_t>& data)
    {
        name(owner);
        u16(type);
        u16(std::uint16_t(1 | (unique ? 0x8000 : 0)));
        u32(ttl);
        u16(std::uint16_t(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    std::vector<std::uint8_t> out;
};

std::vector<std::string> split(const std::string& dotted)
{
    std::vector<std::string> labels;
    std::string current;
    for (char c : dotted) {
        if (c == '.') {
            labels.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        labels.push_back(current);
    return labels;
}

} // namespace

struct MdnsResponder::Endpoint {
    Endpoint(asio::io_context& io, asio::ip::address_v4 a) : socket(io), address(a) {}
    udp::socket socket;
    asio::ip::address_v4 address;
    std::array<std::uint8_t, 9000> buffer{};
    udp::endpoint sender;
};

bool readDnsQuestions(const std::vector<std::uint8_t>& d, std::uint16_t& id,
                      std::vector<std::pair<std::string, std::uint16_t>>& questions, bool& unicast)
{
    if (d.size() < 12)
        return false;
    id = std::uint16_t((d[0] << 8) | d[1]);
    if (d[2] & 0x80)
        return false; // a response
    const unsigned count = (d[4] << 8) | d[5];
    if (count > 64)
        return false;
    std::size_t pos = 12;
    unicast = false;
    for (unsigned q = 0; q < count; ++q) {
        std::string name;
        std::size_t cursor = pos;
        std::size_t limit = pos; // pointers must go backwards
        bool jumped = false;
        for (int steps = 0;; ++steps) {
            if (cursor >= d.size() || steps > 128)
                return false;
            const std::uint8_t len = d[cursor];
            if ((len & 0xC0) == 0xC0) {
                if (cursor + 1 >= d.size())
                    return false;
                const std::size_t target = ((len & 0x3F) << 8) | d[cursor + 1];
                if (target >= limit)
                    return false;
                if (!jumped)
                    pos = cursor + 2;
                jumped = true;
                limit = cursor = target;
                continue;
            }
            if (len & 0xC0)
                return false;
            if (len == 0) {
                if (!jumped)
                    pos = cursor + 1;
                break;
            }
            if (cursor + 1 + len > d.size() || name.size() + len > 255)
                return false;
            if (!name.empty())
                name += '.';
            name.append(reinterpret_cast<const char*>(&d[cursor + 1]), len);
            cursor += 1 + len;
        }
        if (pos + 4 > d.size())
            return false;
        const std::uint16_t type = std::uint16_t((d[pos] << 8) | d[pos + 1]);
        if (d[pos + 2] & 0x80)
            unicast = true;
        pos += 4;
        questions.emplace_back(lower(name), type);
    }
    return true;
}

std::vector<std::string> mdnsInterfaceAddresses(const std::string& bindAddress)
{
    if (bindAddress != "0.0.0.0")
        return {bindAddress};
    std::vector<std::string> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* e = list; e != nullptr; e = e->ifa_next) {
        if (e->ifa_addr == nullptr || e->ifa_addr->sa_family != AF_INET || !(e->ifa_flags & IFF_UP))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(e->ifa_addr)->sin_addr, text, sizeof text);
        if (std::find(result.begin(), result.end(), text) == result.end())
            result.emplace_back(text);
    }
    freeifaddrs(list);
    return result;
}

MdnsResponder::MdnsResponder(asio::io_context& io, MdnsService service) : io_(io), service_(std::move(service)) {}

MdnsResponder::~MdnsResponder()
{
    stop();
}

bool MdnsResponder::start(const std::vector<std::string>& interfaceAddresses, std::string& error)
{
    for (const auto& text : interfaceAddresses) {
        boost::system::error_code ec;
        const auto address = asio::ip::make_address_v4(text, ec);
        if (ec)
            continue;
        auto endpoint = std::make_shared<Endpoint>(io_, address);
        auto& s = endpoint->socket;
        s.open(udp::v4(), ec);
        if (!ec)
            s.set_option(udp::socket::reuse_address(true), ec);
        if (!ec)
            s.bind(udp::endpoint(asio::ip::address_v4::any(), 5353), ec);
#if defined(IP_MULTICAST_ALL)
        if (!ec)
            s.set_option(asio::detail::socket_option::boolean<IPPROTO_IP, IP_MULTICAST_ALL>(false), ec);
#endif
        if (!ec)
            s.set_option(asio::ip::multicast::join_group(kGroup, address), ec);
        if (!ec)
            s.set_option(asio::ip::multicast::outbound_interface(address), ec);
        if (!ec)
            s.set_option(asio::ip::multicast::enable_loopback(true), ec);
        if (!ec)
            s.set_option(asio::ip::multicast::hops(255), ec);
        if (ec) {
            error += (error.empty() ? "" : "; ") + text + ": " + ec.message();
            continue;
        }
        endpoints_.push_back(endpoint);
        receive(endpoint);
        // Unsolicited announcement (RFC 6762 section 8.3).
        auto packet = std::make_shared<std::vector<std::uint8_t>>(
            response(*endpoint, 0, {{lower(service_.serviceType + ".local"), kPtr}}, false, kServiceTtl));
        endpoint->socket.async_send_to(asio::buffer(*packet), udp::endpoint(kGroup, 5353),
                                       [packet](const boost::system::error_code&, std::size_t) {});
    }
    if (endpoints_.empty()) {
        if (error.empty())
            error = "no interface address to announce on";
        return false;
    }
    error.clear();
    return true;
}

void MdnsResponder::stop()
{
    for (const auto& endpoint : endpoints_) {
        boost::system::error_code ec;
        const auto goodbye = response(*endpoint, 0, {{lower(service_.serviceType + ".local"), kPtr}}, false, 0);
        endpoint->socket.send_to(asio::buffer(goodbye), udp::endpoint(kGroup, 5353), 0, ec);
        endpoint->socket.close(ec);
    }
    endpoints_.clear();
}

void MdnsResponder::receive(const std::shared_ptr<Endpoint>& endpoint)
{
    std::weak_ptr<Endpoint> weak = endpoint;
    endpoint->socket.async_receive_from(
        asio::buffer(endpoint->buffer), endpoint->sender,
        [this, weak](const boost::system::error_code& ec, std::size_t size) {
            const auto self = weak.lock();
            if (!self || ec == asio::error::operation_aborted || !self->socket.is_open())
                return;
            if (!ec)
                answer(self, std::vector<std::uint8_t>(self->buffer.begin(), self->buffer.begin() + size),
                       self->sender);
            receive(self);
        });
}

void MdnsResponder::answer(const std::shared_ptr<Endpoint>& endpoint, const std::vector<std::uint8_t>& query,
                           const udp::endpoint& from)
{
    std::uint16_t id = 0;
    std::vector<std::pair<std::string, std::uint16_t>> questions;
    bool unicast = false;
    if (!readDnsQuestions(query, id, questions, unicast))
        return;
    const bool legacy = from.port() != 5353; // RFC 6762 section 6.7
    auto packet = std::make_shared<std::vector<std::uint8_t>>(
        response(*endpoint, legacy ? id : 0, questions, legacy, legacy ? 10 : kServiceTtl));
    if (packet->empty())
        return;
    const udp::endpoint to = legacy || unicast ? from : udp::endpoint(kGroup, 5353);
    endpoint->socket.async_send_to(asio::buffer(*packet), to,
                                   [packet](const boost::system::error_code&, std::size_t) {});
}

std::vector<std::uint8_t> MdnsResponder::response(const Endpoint& endpoint, std::uint16_t id,
                                                  const std::vector<std::pair<std::string, std::uint16_t>>& questions,
                                                  bool echoQuestions, std::uint32_t ttl) const
{
    const std::vector<std::string> serviceName = split(service_.serviceType + ".local");
    std::vector<std::string> instanceName = {service_.instance};
    instanceName.insert(instanceName.end(), serviceName.begin(), serviceName.end());
    const std::vector<std::string> hostName = {service_.host, "local"};
    auto joined = [](const std::vector<std::string>& labels) {
        std::string s;
        for (const auto& l : labels)
            s += (s.empty() ? "" : ".") + l;
        return lower(s);
    };

    bool ptr = false, srv = false, txt = false, a = false;
    for (const auto& [name, type] : questions) {
        if (name == joined(serviceName) && (type == kPtr || type == kAny))
            ptr = true;
        if (name == joined(instanceName)) {
            srv = srv || type == kSrv || type == kAny;
            txt = txt || type == kTxt || type == kAny;
        }
        if (name == joined(hostName) && (type == kA || type == kAny))
            a = true;
    }
    if (!ptr && !srv && !txt && !a)
        return {};

    Writer ptrData, srvData, txtData;
    ptrData.name(instanceName);
    srvData.u16(0);
    srvData.u16(0);
    srvData.u16(service_.port);
    srvData.name(hostName);
    for (const auto& [key, value] : service_.txt) {
        const std::string entry = key + "=" + value;
        txtData.out.push_back(std::uint8_t(std::min<std::size_t>(entry.size(), 255)));
        txtData.out.insert(txtData.out.end(), entry.begin(), entry.begin() + std::min<std::size_t>(entry.size(), 255));
    }
    if (txtData.out.empty())
        txtData.out.push_back(0);
    const auto bytes = endpoint.address.to_bytes();
    const std::vector<std::uint8_t> aData(bytes.begin(), bytes.end());
    const std::uint32_t hostTtl = ttl == 0 ? 0 : std::min(ttl, kHostTtl);

    Writer answers, additionals;
    unsigned answerCount = 0, additionalCount = 0;
    if (ptr) {
        answers.record(serviceName, kPtr, false, ttl, ptrData.out);
        ++answerCount;
    }
    auto put = [&](bool asked, const std::vector<std::string>& owner, std::uint16_t type, std::uint32_t t,
                   const std::vector<std::uint8_t>& data) {
        Writer& w = asked ? answers : additionals;
        w.record(owner, type, true, t, data);
        ++(asked ? answerCount : additionalCount);
    };
    put(srv, instanceName, kSrv, hostTtl, srvData.out);
    put(txt, instanceName, kTxt, ttl, txtData.out);
    put(a, hostName, kA, hostTtl, aData);

    Writer message;
    message.u16(id);
    message.u16(0x8400); // response, authoritative
    message.u16(std::uint16_t(echoQuestions ? questions.size() : 0));
    message.u16(std::uint16_t(answerCount));
    message.u16(0);
    message.u16(std::uint16_t(additionalCount));
    if (echoQuestions) {
        for (const auto& [name, type] : questions) {
            message.name(split(name));
            message.u16(type);
            message.u16(1);
        }
    }
    message.out.insert(message.out.end(), answers.out.begin(), answers.out.end());
    message.out.insert(message.out.end(), additionals.out.begin(), additionals.out.end());
    return message.out;
}

} // namespace Camsim

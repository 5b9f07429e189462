#pragma once
// camsim's multicast DNS responder: announces the camera as a
// "_axis-video._tcp" service the way an Axis camera does (instance name
// "AXIS P3245-LVE - ACCC8EB3494E", host "axis-accc8eb3494e.local", TXT
// "macaddress=ACCC8EB3494E") and answers PTR, SRV, TXT, A and ANY questions
// on 224.0.0.251:5353, on every interface address it is given (loopback
// included, so tests need no network). Queries from a port other than 5353,
// and questions with the unicast-response bit, are answered by unicast.
//
// It has its own small DNS reader and writer: camsim shares no code with the
// driver's browser.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Camsim {

struct MdnsService {
    std::string instance;                 // "AXIS P3245-LVE - ACCC8EB3494E"
    std::string serviceType = "_axis-video._tcp";
    std::string host;                     // "axis-accc8eb3494e" (".local" is added)
    unsigned short port = 80;
    std::vector<std::pair<std::string, std::string>> txt; // {"macaddress", "ACCC8EB3494E"}
};

class MdnsResponder {
public:
    MdnsResponder(boost::asio::io_context& io, MdnsService service);
    ~MdnsResponder();

    // Joins the group on each address (IPv4) and announces the service.
    // False with a reason when no address could be used.
    bool start(const std::vector<std::string>& interfaceAddresses, std::string& error);
    // Sends goodbyes (TTL 0) and closes the sockets.
    void stop();

    const MdnsService& service() const { return service_; }

private:
    struct Endpoint;
    void receive(const std::shared_ptr<Endpoint>& endpoint);
    void answer(const std::shared_ptr<Endpoint>& endpoint, const std::vector<std::uint8_t>& query,
                const boost::asio::ip::udp::endpoint& from);
    std::vector<std::uint8_t> response(const Endpoint& endpoint, std::uint16_t id,
                                       const std::vector<std::pair<std::string, std::uint16_t>>& questions,
                                       bool echoQuestions, std::uint32_t ttl) const;

    boost::asio::io_context& io_;
    MdnsService service_;
    std::vector<std::shared_ptr<Endpoint>> endpoints_;
};

// The interface addresses (IPv4) a responder bound to bindAddress announces
// on: every one for "0.0.0.0", else bindAddress itself.
std::vector<std::string> mdnsInterfaceAddresses(const std::string& bindAddress);

// Reads the questions (name, type) of a DNS query; false when the datagram
// is not a well-formed query. Names come back lower case, without the
// trailing dot.
bool readDnsQuestions(const std::vector<std::uint8_t>& datagram, std::uint16_t& id,
                      std::vector<std::pair<std::string, std::uint16_t>>& questions, bool& unicast);

} // namespace Camsim

#pragma once
// A DNS-SD browser for one service type on one local interface (multicast
// DNS, RFC 6762 and RFC 6763, no daemon needed).
//
// The browser joins 224.0.0.251 on the interface's address, bound to port
// 5353 beside any other responder or browser on the machine; when that port
// cannot be shared it sends one-shot queries from a port of its own, which
// responders answer by unicast (RFC 6762 section 5.1). query() asks for the
// PTR records of "<serviceType>.local"; the browser follows each instance to
// its SRV and TXT records and the SRV target to its A and AAAA records,
// taking them from the same answer when the responder sent them along and
// asking for what is missing otherwise. Each (instance, address, port) is
// reported once per query() round, when its TXT record is known too.
// Malformed or hostile datagrams are dropped (see DnsMessage.h); every cache
// is bounded.
//
// Threading: callbacks run on the io_context given, one at a time. query()
// and stop() may be called from any thread, also from inside a callback.
// After stop() returns no callback is running or will start. The browser's
// asynchronous work holds a shared handle on its own state, never on the
// ServiceBrowser object, so destroying the object at any time is safe.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace boost::asio {
class io_context;
}

namespace Orix::Utility {

class ServiceBrowser {
public:
    using ResultCallback =
        std::function<void(const std::string& address, std::uint16_t port,
                           const std::map<std::string, std::string>& txt, const std::string& instanceName)>;
    using ErrorCallback = std::function<void(const std::string& message)>;

    // serviceType: "_axis-video._tcp". Throws boost::system::system_error
    // when no socket can be opened on interfaceAddress (an IPv4 address of
    // this machine).
    ServiceBrowser(boost::asio::io_context& io, const std::string& interfaceAddress,
                   const std::string& serviceType, ResultCallback onResult, ErrorCallback onError);
    ~ServiceBrowser(); // stop()
    ServiceBrowser(const ServiceBrowser&) = delete;
    ServiceBrowser& operator=(const ServiceBrowser&) = delete;

    // Starts a new round: forgets what was reported and sends the PTR query.
    void query();
    // Closes the socket; idempotent.
    void stop();

    const std::string& interfaceAddress() const;
    // The local port the browser receives on: 5353, or its own port when
    // 5353 could not be shared.
    std::uint16_t localPort() const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace Orix::Utility

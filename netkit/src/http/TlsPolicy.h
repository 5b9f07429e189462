#pragma once
// Server certificate checks for one TLS connection: the system trust store
// with host name verification by default, or what the connection info
// relaxes (any certificate, or exactly the pinned one).
#include <netkit/asio/ConnectionInfo.h>

#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/verify_context.hpp>
#include <boost/system/error_code.hpp>

#include <memory>
#include <string>

namespace Orix::http::detail {

// One client context for the process: loading the system store costs far
// more than a request.
boost::asio::ssl::context& sharedTlsContext();

// Lower-case hex SHA-256 of a certificate's DER encoding.
std::string certificateFingerprint(X509* certificate);

class TlsPolicy {
public:
    explicit TlsPolicy(const asio::ConnectionInfo& info);

    // Prepares a connection before its handshake: SNI and the name the
    // certificate must carry.
    bool prepare(SSL* ssl) const;
    // The verification callback.
    bool verify(bool preverified, boost::asio::ssl::verify_context& context);
    // What a failed handshake means, given what verification saw.
    boost::system::error_code handshakeError() const;

private:
    std::string host_;
    bool acceptAny_ = false;
    std::string fingerprint_;
    bool rejected_ = false;
    bool mismatch_ = false;
};

} // namespace Orix::http::detail

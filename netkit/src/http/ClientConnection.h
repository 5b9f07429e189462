#pragma once
// The transport under one HTTP exchange of the client (a request, a
// long-lived stream, a streamed POST): resolve the camera's address, connect,
// and for https make the handshake under the connection's TLS policy. The
// stream is then plain TCP or TLS over it.
//
// Completions run on the executor given at construction. The connection is
// a member of its exchange and keeps no handle on it: the exchange keeps
// itself alive in the completion it passes to open(), which also keeps this
// object alive while its own operations are pending.
#include "http/TlsPolicy.h"

#include <netkit/asio/ConnectionInfo.h>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>

#include <functional>
#include <optional>

namespace Orix::http::detail {

class ClientConnection {
public:
    using Done = std::function<void(const boost::system::error_code&)>;
    using Tcp = boost::asio::ip::tcp;
    using TlsStream = boost::asio::ssl::stream<Tcp::socket>;

    explicit ClientConnection(boost::asio::any_io_executor executor);

    // Opens a new connection, closing the one before; the address is looked
    // up once and reused by later opens (a second connection that answers a
    // challenge). A failed handshake ends with the policy's error.
    void open(const asio::ConnectionInfo& info, Done done);
    // Closes without destroying: a pending operation still refers to the
    // stream and ends with operation_aborted. No TLS close_notify: the
    // exchange is over, and waiting for the peer's shutdown could hang.
    void close();
    // close() and a pending look-up cancelled.
    void cancel();

    template <class F>
    void withStream(F&& f)
    {
        if (tls_)
            f(*tls_);
        else
            f(*socket_);
    }

private:
    void connect(const asio::ConnectionInfo& info, Done done);
    void handshake(const asio::ConnectionInfo& info, Done done);

    boost::asio::any_io_executor executor_;
    Tcp::resolver resolver_;
    Tcp::resolver::results_type endpoints_;
    std::optional<Tcp::socket> socket_;
    std::optional<TlsStream> tls_;
    std::optional<TlsPolicy> tlsPolicy_;
    bool cancelled_ = false; // a completion queued before cancel() goes no further
};

} // namespace Orix::http::detail

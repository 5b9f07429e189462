#include "http/ClientConnection.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/error.hpp>
#include <netkit/http/HttpError.h>

#include <string>

namespace Orix::http::detail {

ClientConnection::ClientConnection(boost::asio::any_io_executor executor)
    : executor_(std::move(executor)), resolver_(executor_)
{
}

void ClientConnection::open(const asio::ConnectionInfo& info, Done done)
{
    cancelled_ = false;
    if (!endpoints_.empty()) {
        connect(info, std::move(done));
        return;
    }
    const auto& endpoint = info.endpoint;
    const std::string host = endpoint.address.empty() ? info.host : endpoint.address;
    const std::uint16_t port = endpoint.port != 0 ? endpoint.port : info.port;
    // info is the exchange's, which done keeps alive.
    resolver_.async_resolve(host, std::to_string(port),
                            [this, &info, done = std::move(done)](const boost::system::error_code& ec,
                                                                   Tcp::resolver::results_type results) mutable {
                                if (ec || cancelled_) {
                                    done(ec ? ec : boost::asio::error::operation_aborted);
                                    return;
                                }
                                endpoints_ = std::move(results);
                                connect(info, std::move(done));
                            });
}

void ClientConnection::connect(const asio::ConnectionInfo& info, Done done)
{
    // Only reached between operations: nothing refers to the old
    // connection any more.
    close();
    tls_.reset();
    socket_.reset();
    socket_.emplace(executor_);
    boost::asio::async_connect(*socket_, endpoints_,
                               [this, &info, done = std::move(done)](const boost::system::error_code& ec,
                                                                      const Tcp::endpoint&) mutable {
                                   if (ec || cancelled_) {
                                       done(ec ? ec : boost::asio::error::operation_aborted);
                                       return;
                                   }
                                   boost::system::error_code ignored;
                                   socket_->set_option(Tcp::no_delay(true), ignored);
                                   if (info.secure())
                                       handshake(info, std::move(done));
                                   else
                                       done({});
                               });
}

void ClientConnection::handshake(const asio::ConnectionInfo& info, Done done)
{
    tls_.emplace(std::move(*socket_), sharedTlsContext());
    socket_.reset();
    tlsPolicy_.emplace(info);
    if (!tlsPolicy_->prepare(tls_->native_handle())) {
        done(error::tlsHandshakeFailed);
        return;
    }
    auto* policy = &*tlsPolicy_;
    tls_->set_verify_callback([policy](bool preverified, boost::asio::ssl::verify_context& context) {
        return policy->verify(preverified, context);
    });
    tls_->async_handshake(boost::asio::ssl::stream_base::client,
                          [this, done = std::move(done)](const boost::system::error_code& ec) {
                              done(ec ? tlsPolicy_->handshakeError() : ec);
                          });
}

void ClientConnection::close()
{
    boost::system::error_code ignored;
    if (tls_)
        tls_->next_layer().close(ignored);
    if (socket_)
        socket_->close(ignored);
}

void ClientConnection::cancel()
{
    cancelled_ = true;
    resolver_.cancel();
    close();
}

} // namespace Orix::http::detail

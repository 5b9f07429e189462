#include <netkit/asio/TcpProbe.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <memory>

namespace Orix::asio {
namespace {

using tcp = boost::asio::ip::tcp;

class TcpProbe : public std::enable_shared_from_this<TcpProbe> {
public:
    TcpProbe(boost::asio::io_context& io, Endpoint endpoint,
             std::function<void(const boost::system::error_code&)> completion)
        : strand_(boost::asio::make_strand(io)),
          resolver_(strand_),
          socket_(strand_),
          timer_(strand_),
          endpoint_(std::move(endpoint)),
          completion_(std::move(completion))
    {
    }

    void start(std::chrono::milliseconds timeout)
    {
        boost::asio::post(strand_, [self = shared_from_this(), timeout] {
            self->timer_.expires_after(timeout);
            self->timer_.async_wait([self](const boost::system::error_code& ec) {
                if (!ec)
                    self->finish(boost::asio::error::timed_out);
            });
            self->doResolve();
        });
    }

private:
    void doResolve()
    {
        if (endpoint_.address.empty() || endpoint_.port == 0) {
            finish(boost::asio::error::invalid_argument);
            return;
        }
        resolver_.async_resolve(endpoint_.address, std::to_string(endpoint_.port),
                                [self = shared_from_this()](const boost::system::error_code& ec,
                                                            tcp::resolver::results_type results) {
                                    self->handleResolve(ec, std::move(results));
                                });
    }

    void handleResolve(const boost::system::error_code& ec, tcp::resolver::results_type results)
    {
        if (done_)
            return;
        if (ec) {
            finish(ec);
            return;
        }
        boost::asio::async_connect(socket_, results,
                                   [self = shared_from_this()](const boost::system::error_code& ec,
                                                               const tcp::endpoint&) {
                                       self->finish(ec);
                                   });
    }

    void finish(const boost::system::error_code& ec)
    {
        if (done_)
            return;
        done_ = true;
        boost::system::error_code ignored;
        timer_.cancel();
        resolver_.cancel();
        socket_.close(ignored);
        auto completion = std::move(completion_);
        if (completion)
            completion(ec);
    }

    boost::asio::strand<boost::asio::io_context::executor_type> strand_;
    tcp::resolver resolver_;
    tcp::socket socket_;
    boost::asio::steady_timer timer_;
    Endpoint endpoint_;
    std::function<void(const boost::system::error_code&)> completion_;
    bool done_ = false;
};

} // namespace

void asyncTcpProbe(boost::asio::io_context& io, const Endpoint& endpoint,
                   std::chrono::milliseconds timeout,
                   std::function<void(const boost::system::error_code&)> completion)
{
    std::make_shared<TcpProbe>(io, endpoint, std::move(completion))->start(timeout);
}

} // namespace Orix::asio

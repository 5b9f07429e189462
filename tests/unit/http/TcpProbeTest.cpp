#include <netkit/asio/TcpProbe.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tcp = boost::asio::ip::tcp;

namespace {

// A loopback port that nobody listens on: bound, read, released.
std::uint16_t closedPort()
{
    boost::asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    return acceptor.local_endpoint().port();
}

} // namespace

TEST(TcpProbe, TellsWhetherThePortAnswers)
{
    boost::asio::io_context serverIo;
    tcp::acceptor listening(serverIo, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    const std::uint16_t open = listening.local_endpoint().port();
    const std::uint16_t closed = closedPort();

    struct Case {
        const char* name;
        Orix::asio::Endpoint endpoint;
        boost::system::error_code expected;
    };
    const Case cases[] = {
        {"listening address", {"127.0.0.1", open}, {}},
        {"listening, by name", {"localhost", open}, {}},
        {"nobody listening", {"127.0.0.1", closed}, boost::asio::error::connection_refused},
        {"no port", {"127.0.0.1", 0}, boost::asio::error::invalid_argument},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boost::asio::io_context io;
        int calls = 0;
        boost::system::error_code result;
        Orix::asio::asyncTcpProbe(io, c.endpoint, 5000ms, [&](const boost::system::error_code& ec) {
            ++calls;
            result = ec;
        });
        EXPECT_EQ(calls, 0);
        io.run();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(result, c.expected);
    }
}

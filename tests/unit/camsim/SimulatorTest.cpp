// What a client reads on the wire from the simulated camera when it is
// refused: the 401 answer of a 9.x camera and the pages of a 5.x (Boa) one.
#include "Simulator.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <gtest/gtest.h>

namespace asio = boost::asio;

namespace {

std::unique_ptr<Camsim::Simulator> startSimulator(const std::string& model, Camsim::AuthMode auth)
{
    Camsim::SimulatorConfig config;
    config.dataDir = CAMSIM_DATA_DIR;
    config.model = model;
    config.auth = auth;
    config.rtspPort = -1;
    auto sim = std::make_unique<Camsim::Simulator>(config);
    std::string error;
    EXPECT_TRUE(sim->start(error)) << error;
    return sim;
}

// One GET on its own connection; everything the camera writes until it closes.
std::string get(unsigned short port, const std::string& target)
{
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(socket, asio::buffer("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
    std::string out;
    boost::system::error_code ec;
    char buf[4096];
    while (!ec)
        out.append(buf, socket.read_some(asio::buffer(buf), ec));
    return out;
}

} // namespace

TEST(Simulator, RefusalsLookLikeTheFirmware)
{
    const auto m1065 = startSimulator("M1065-LW", Camsim::AuthMode::DigestMd5);
    const auto p5512 = startSimulator("P5512", Camsim::AuthMode::None);
    const struct {
        const char* name;
        unsigned short port;
        const char* target;
        std::vector<std::string> parts; // in this order
    } cases[] = {
        {"digest challenge", m1065->httpPort(), "/axis-cgi/param.cgi?action=list&group=Brand.ProdNbr",
         {"HTTP/1.1 401 Unauthorized\r\n", "WWW-Authenticate: Digest realm=\"AXIS_ACCC12345678\", nonce=\"",
          "\", algorithm=MD5, qop=\"auth\"\r\n", "<title>401 Unauthorized</title>"}},
        // AXIS P5512 5.51.7, body as captured.
        {"no such CGI on 5.x", p5512->httpPort(), "/axis-cgi/apidiscovery.cgi",
         {"HTTP/1.1 404 Not Found\r\n", "Content-Type: text/html; charset=ISO-8859-1\r\n",
          "\r\n\r\n<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\n"
          "<BODY><H1>404 Not Found</H1>\n"
          "The requested URL /axis-cgi/apidiscovery.cgi was not found on this server.\n"
          "</BODY></HTML>\n"}},
        // The topology request on 5.51: no VirtualInput group there.
        {"topology on 5.x", p5512->httpPort(),
         "/axis-cgi/param.cgi?action=list&group=Brand.ProdNbr,Properties.VirtualInput,PTZ.Various.V1.CtlQueueing",
         {"HTTP/1.1 200 OK\r\n", "\r\n\r\nroot.Brand.ProdNbr=P5512\n"
                                 "# Error: Error -1 getting param in group 'Properties.VirtualInput'\n"
                                 "root.PTZ.Various.V1.CtlQueueing=true\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string answer = get(c.port, c.target);
        std::size_t at = 0;
        for (const auto& part : c.parts) {
            at = answer.find(part, at);
            ASSERT_NE(at, std::string::npos) << part << "\nin\n" << answer;
        }
    }
}

// The simulator over real loopback sockets: authentication round trips,
// limits, faults, control routes, HTTPS and the RTSP port.
#include "Simulator.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <json/reader.h>
#include <openssl/evp.h>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <thread>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

std::unique_ptr<Camsim::Simulator> startSimulator(Camsim::SimulatorConfig config)
{
    config.dataDir = CAMSIM_DATA_DIR;
    auto sim = std::make_unique<Camsim::Simulator>(config);
    std::string error;
    EXPECT_TRUE(sim->start(error)) << error;
    return sim;
}

Camsim::SimulatorConfig openCamera(const std::string& model = "M1065-LW")
{
    Camsim::SimulatorConfig c;
    c.model = model;
    c.auth = Camsim::AuthMode::None;
    return c;
}

// A blocking loopback connection that gives up reading after 10 s, so a
// server that never answers fails the test instead of hanging it.
struct Connection {
    explicit Connection(unsigned short port) : socket(io)
    {
        socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        timeval tv{10, 0};
        setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }

    void send(const std::string& bytes) { asio::write(socket, asio::buffer(bytes)); }

    // Everything until the server closes.
    std::string readAll()
    {
        std::string out;
        boost::system::error_code ec;
        char buf[4096];
        for (;;) {
            const auto n = socket.read_some(asio::buffer(buf), ec);
            out.append(buf, n);
            if (ec)
                break;
        }
        return out;
    }

    http::response<http::string_body> read()
    {
        http::response<http::string_body> res;
        http::read(socket, buffer, res);
        return res;
    }

    asio::io_context io;
    tcp::socket socket;
    beast::flat_buffer buffer;
};

std::string roundTrip(unsigned short port, const std::string& request)
{
    Connection c(port);
    c.send(request);
    return c.readAll();
}

std::string get(const std::string& target, const std::string& extra = "")
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "Connection: close\r\n\r\n";
}

std::string statusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

std::string body(const std::string& response)
{
    const auto end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

Json::Value parseJson(const std::string& text)
{
    Json::Value v;
    Json::CharReaderBuilder b;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errors)) << text;
    return v;
}

// Written from RFC 7616 §3.4.1 with OpenSSL directly, apart from the
// simulator's own digest code.
std::string md5Hex(const std::string& text)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(text.data(), text.size(), md, &size, EVP_md5(), nullptr);
    std::string out;
    char hex[3];
    for (unsigned i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", md[i]);
        out += hex;
    }
    return out;
}

std::string digestAuthorization(const std::string& realm, const std::string& nonce, const std::string& uri,
                                const std::string& nc, const std::string& password = "pass")
{
    const std::string cnonce = "0a4f113b";
    const std::string response = md5Hex(md5Hex("root:" + realm + ":" + password) + ":" + nonce + ":" + nc + ":" +
                                        cnonce + ":auth:" + md5Hex("GET:" + uri));
    return "Digest username=\"root\", realm=\"" + realm + "\", nonce=\"" + nonce + "\", uri=\"" + uri +
           "\", algorithm=MD5, response=\"" + response + "\", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + "\"";
}

} // namespace

TEST(Simulator, ReadyLineNamesTheListeningPorts)
{
    auto config = openCamera();
    config.rtspPort = -1;
    auto sim = startSimulator(config);
    EXPECT_NE(sim->httpPort(), 0);
    EXPECT_EQ(sim->readyLine(), "{\"ready\":true,\"httpPort\":" + std::to_string(sim->httpPort()) +
                                    ",\"rtspPort\":null,\"httpsPort\":null,\"model\":\"M1065-LW\"}");
}

TEST(Simulator, StartRefusesBadSettings)
{
    const struct {
        const char* name;
        std::function<void(Camsim::SimulatorConfig&)> change;
        const char* error;
    } cases[] = {
        {"unknown model", [](auto& c) { c.model = "Q9999"; }, "unknown model 'Q9999'"},
        {"unknown parameter", [](auto& c) { c.params = {{"Network.RTSP.Nope", "1"}}; }, "--param: no parameter"},
        {"invalid value", [](auto& c) { c.params = {{"Network.RTSP.Port", "70000"}}; }, "--param: '70000'"},
        {"missing certificate", [](auto& c) { c.httpsPort = 0; c.tlsCertFile = "/nonexistent.pem"; c.tlsKeyFile = "/nonexistent.key"; },
         "cannot read /nonexistent.pem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto config = openCamera();
        config.dataDir = CAMSIM_DATA_DIR;
        c.change(config);
        Camsim::Simulator sim(config);
        std::string error;
        EXPECT_FALSE(sim.start(error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(Simulator, DigestRoundTripLikeARealCamera)
{
    Camsim::SimulatorConfig config;
    config.model = "M1065-LW";
    auto sim = startSimulator(config);
    const std::string uri = "/axis-cgi/param.cgi?action=list&group=Brand.ProdNbr";

    const std::string refused = roundTrip(sim->httpPort(), get(uri));
    EXPECT_EQ(statusLine(refused), "HTTP/1.1 401 Unauthorized");
    EXPECT_NE(body(refused).find("<title>401 Unauthorized</title>"), std::string::npos);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(refused, m,
                                  std::regex("WWW-Authenticate: Digest realm=\"(AXIS_ACCC12345678)\", "
                                             "nonce=\"([^\"]+)\", algorithm=MD5, qop=\"auth\"\r\n")))
        << refused;
    const std::string realm = m[1];
    const std::string nonce = m[2];

    // Two requests on one kept-alive connection with nc 1 and 2, then a replay.
    Connection c(sim->httpPort());
    for (const char* nc : {"00000001", "00000002"}) {
        SCOPED_TRACE(nc);
        c.send("GET " + uri + " HTTP/1.1\r\nHost: x\r\nAuthorization: " + digestAuthorization(realm, nonce, uri, nc) +
               "\r\n\r\n");
        const auto res = c.read();
        EXPECT_EQ(res.result_int(), 200);
        EXPECT_EQ(res.body(), "root.Brand.ProdNbr=M1065-LW\n");
        EXPECT_EQ(res[http::field::content_type], "text/plain");
    }
    c.send("GET " + uri + " HTTP/1.1\r\nHost: x\r\nAuthorization: " +
           digestAuthorization(realm, nonce, uri, "00000002") + "\r\n\r\n");
    EXPECT_EQ(c.read().result_int(), 401);

    const std::string wrong = roundTrip(
        sim->httpPort(), get(uri, "Authorization: " + digestAuthorization(realm, nonce, uri, "00000003", "nope") + "\r\n"));
    EXPECT_EQ(statusLine(wrong), "HTTP/1.1 401 Unauthorized");

    // The log knows who sent credentials, never what they were.
    const std::string log = body(roundTrip(sim->httpPort(), get("/camsim/requests")));
    const Json::Value entries = parseJson(log);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_FALSE(entries[0]["authorization"].asBool());
    EXPECT_EQ(entries[0]["status"].asInt(), 401);
    EXPECT_TRUE(entries[1]["authorization"].asBool());
    EXPECT_EQ(entries[1]["status"].asInt(), 200);
    EXPECT_EQ(entries[1]["target"].asString(), uri);
    EXPECT_EQ(entries[3]["status"].asInt(), 401);
    EXPECT_EQ(log.find("Digest"), std::string::npos);
    EXPECT_EQ(log.find(nonce), std::string::npos);
}

TEST(Simulator, HttpLimitsAndProtocolVersions)
{
    auto sim = startSimulator(openCamera());
    const unsigned short port = sim->httpPort();
    const std::string list = "/axis-cgi/param.cgi?action=list&group=Brand.Brand";
    const struct {
        const char* name;
        std::string request;
        const char* status;
        const char* body; // nullptr: not checked
    } cases[] = {
        {"HTTP/1.0", "GET " + list + " HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK", "root.Brand.Brand=AXIS\n"},
        {"POST form", "POST /axis-cgi/param.cgi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 31\r\n\r\n"
                      "action=list&group=Brand.ProdNbr",
         "HTTP/1.1 200 OK", "root.Brand.ProdNbr=M1065-LW\n"},
        {"HEAD has no body", "HEAD " + list + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "HTTP/1.1 200 OK", ""},
        {"unknown path", get("/index.html"), "HTTP/1.1 404 Not Found", nullptr},
        {"CGI this model lacks", get("/axis-cgi/opticssetup.cgi?monitor=poll&source=1"), "HTTP/1.1 404 Not Found",
         nullptr},
        {"header over 8 KiB", get(list, "X-Filler: " + std::string(9000, 'a') + "\r\n"),
         "HTTP/1.1 431 Request Header Fields Too Large", nullptr},
        {"body over 1 MiB", "POST /axis-cgi/param.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: 1048577\r\n\r\n",
         "HTTP/1.1 413 Request Entity Too Large", nullptr},
        {"not HTTP", "HELLO\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
        {"malformed escape", get("/axis-cgi/param.cgi?action=list&group=%ZZ"), "HTTP/1.1 400 Bad Request", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string response = roundTrip(port, c.request);
        EXPECT_EQ(statusLine(response), c.status);
        if (c.body) {
            EXPECT_EQ(body(response), c.body);
        }
    }
    const std::string head = roundTrip(port, "HEAD " + list + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_NE(head.find("Content-Length: 22\r\n"), std::string::npos) << head;
}

TEST(Simulator, FaultsArmedAtStartAndThroughTheControlRoute)
{
    auto config = openCamera();
    std::string error;
    config.faults = {{"/axis-cgi/param.cgi", *Camsim::parseFaultSpec("status:503,count:1", error)}};
    auto sim = startSimulator(config);
    const unsigned short port = sim->httpPort();
    const std::string list = get("/axis-cgi/param.cgi?action=list&group=Brand.Brand");
    auto arm = [port](const std::string& json) {
        return roundTrip(port, "POST /camsim/faults HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: " +
                                  std::to_string(json.size()) + "\r\n\r\n" + json);
    };

    std::string r = roundTrip(port, list);
    EXPECT_EQ(statusLine(r), "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(body(r), "503 Service Unavailable\n");
    EXPECT_EQ(statusLine(roundTrip(port, list)), "HTTP/1.1 200 OK");

    EXPECT_EQ(statusLine(arm(R"({"path":"/axis-cgi/param.cgi","fault":"close","count":1})")), "HTTP/1.1 200 OK");
    EXPECT_EQ(roundTrip(port, list), "");

    arm(R"({"path":"/axis-cgi/param.cgi","fault":"garbage","count":1})");
    r = roundTrip(port, list);
    EXPECT_FALSE(r.empty());
    EXPECT_NE(r.rfind("HTTP/", 0), 0u);

    arm(R"({"path":"/axis-cgi/param.cgi","fault":"empty","count":1})");
    r = roundTrip(port, list);
    EXPECT_EQ(statusLine(r), "HTTP/1.1 200 OK");
    EXPECT_NE(r.find("Content-Length: 0\r\n"), std::string::npos);
    EXPECT_EQ(body(r), "");

    arm(R"({"path":"/axis-cgi/param.cgi","fault":"delay:20","count":1})");
    EXPECT_EQ(body(roundTrip(port, list)), "root.Brand.Brand=AXIS\n");

    // A fault on another path leaves this one alone; DELETE clears all.
    arm(R"({"path":"/axis-cgi/io/port.cgi","fault":"status:500"})");
    EXPECT_EQ(statusLine(roundTrip(port, list)), "HTTP/1.1 200 OK");
    EXPECT_EQ(body(roundTrip(port, get("/camsim/faults"))),
              "[{\"count\":null,\"fault\":\"status:500\",\"path\":\"/axis-cgi/io/port.cgi\"}]\n");
    roundTrip(port, "DELETE /camsim/faults HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(body(roundTrip(port, get("/camsim/faults"))), "[]\n");

    const struct {
        const char* json;
        const char* error;
    } refusals[] = {
        {"not json", "{\"error\":\"body must be a JSON object\"}\n"},
        {R"({"path":"param.cgi","fault":"close"})", "{\"error\":\"\\\"path\\\" must be a string starting with /\"}\n"},
        {R"({"path":"/x","fault":"explode"})",
         "{\"error\":\"unknown fault 'explode' (status:CODE, delay:MS, close, empty, garbage, end:SECONDS, stall, refuse)\"}\n"},
        {R"({"path":"/x","fault":"close","count":0})", "{\"error\":\"\\\"count\\\" must be a positive integer\"}\n"},
        {R"({"path":"/camsim/state","fault":"close"})", "{\"error\":\"control paths cannot be faulted\"}\n"},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.json);
        r = arm(c.json);
        EXPECT_EQ(statusLine(r), "HTTP/1.1 400 Bad Request");
        EXPECT_EQ(body(r), c.error);
    }
}

TEST(Simulator, StateAndParamsFollowTheRealPorts)
{
    auto config = openCamera("P3245-LVE");
    config.params = {{"Image.I0.Text.String", "Gate 1"}};
    auto sim = startSimulator(config);
    const unsigned short port = sim->httpPort();
    ASSERT_TRUE(sim->rtspPort());
    EXPECT_EQ(body(roundTrip(port, get("/axis-cgi/param.cgi?action=list&group=Network.RTSP.Port,Image.I0.Text.String"))),
              "root.Network.RTSP.Port=" + std::to_string(*sim->rtspPort()) + "\nroot.Image.I0.Text.String=Gate 1\n");

    // P3245-LVE has a motorised lens.
    EXPECT_EQ(body(roundTrip(port, get("/axis-cgi/opticssetup.cgi?monitor=poll&source=1"))), "ok");
    EXPECT_EQ(body(roundTrip(port, get("/axis-cgi/opticssetup.cgi?azoom=0.55&source=1"))), "ok");
    EXPECT_EQ(body(roundTrip(port, get("/axis-cgi/opticssetup.cgi?azoom=1.5&source=1"))),
              "Error: azoom must be 0..1, got '1.5'\n");
    const Json::Value state = parseJson(body(roundTrip(port, get("/camsim/state"))));
    EXPECT_EQ(state["model"].asString(), "P3245-LVE");
    EXPECT_EQ(state["realm"].asString(), "AXIS_ACCC8EB3494E");
    EXPECT_DOUBLE_EQ(state["optics"]["zoom"].asDouble(), 0.55);
    EXPECT_EQ(state["params"]["root.Brand.ProdNbr"].asString(), "P3245-LVE");
    EXPECT_EQ(state["params"]["root.Network.RTSP.ProtViewer"].asString(), "******");

    config = openCamera("P3245-LVE");
    config.params = {{"Network.RTSP.Port", "554"}};
    auto fixed = startSimulator(config);
    EXPECT_EQ(body(roundTrip(fixed->httpPort(), get("/axis-cgi/param.cgi?action=list&group=Network.RTSP.Port"))),
              "root.Network.RTSP.Port=554\n");
}

TEST(Simulator, RequestLogFileHasOneJsonObjectPerLine)
{
    char path[] = "/tmp/camsim-log-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        auto config = openCamera();
        config.requestLogFile = path;
        auto sim = startSimulator(config);
        roundTrip(sim->httpPort(), get("/axis-cgi/pwdgrp.cgi?action=update&user=root&pwd=topsecret"));
        roundTrip(sim->httpPort(), get("/axis-cgi/param.cgi?action=list&group=Brand"));
        roundTrip(sim->httpPort(), "DELETE /camsim/requests HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(body(roundTrip(sim->httpPort(), get("/camsim/requests"))), "[]\n");
    }
    std::ifstream in(path);
    std::vector<Json::Value> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(parseJson(line));
    std::remove(path);
    // Control calls are not camera traffic and stay out of the log.
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["target"].asString(), "/axis-cgi/pwdgrp.cgi?action=update&user=root&pwd=****");
    EXPECT_EQ(lines[0]["status"].asInt(), 404);
    EXPECT_EQ(lines[1]["method"].asString(), "GET");
    EXPECT_EQ(lines[1]["status"].asInt(), 200);
    EXPECT_TRUE(std::regex_match(lines[1]["time"].asString(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
}

TEST(Simulator, HttpsServesTheSameRoutes)
{
    auto config = openCamera();
    config.httpsPort = 0;
    config.auth = Camsim::AuthMode::Basic;
    auto sim = startSimulator(config);
    ASSERT_TRUE(sim->httpsPort());
    EXPECT_EQ(parseJson(sim->readyLine())["httpsCertSha256"].asString().size(), 64u);

    asio::io_context io;
    asio::ssl::context ctx(asio::ssl::context::tls_client);
    ctx.set_verify_mode(asio::ssl::verify_none);
    beast::ssl_stream<tcp::socket> stream(io, ctx);
    stream.next_layer().connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), *sim->httpsPort()));
    timeval tv{10, 0};
    setsockopt(stream.next_layer().native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    stream.handshake(asio::ssl::stream_base::client);

    http::request<http::empty_body> req{http::verb::get, "/axis-cgi/param.cgi?action=list&group=Brand.ProdNbr", 11};
    req.set(http::field::host, "127.0.0.1");
    req.set(http::field::authorization, "Basic cm9vdDpwYXNz"); // root:pass
    http::write(stream, req);
    beast::flat_buffer buffer;
    http::response<http::string_body> res;
    http::read(stream, buffer, res);
    EXPECT_EQ(res.result_int(), 200);
    EXPECT_EQ(res.body(), "root.Brand.ProdNbr=M1065-LW\n");

    req.set(http::field::authorization, "Basic cm9vdDp3cm9uZw=="); // root:wrong
    http::write(stream, req);
    http::response<http::string_body> refused;
    http::read(stream, buffer, refused);
    EXPECT_EQ(refused.result_int(), 401);
    EXPECT_EQ(refused[http::field::www_authenticate], "Basic realm=\"AXIS_ACCC12345678\"");
}

TEST(Simulator, Boa5xCameraPages)
{
    auto config = openCamera("P5512");
    config.auth = Camsim::AuthMode::DigestMd5;
    auto sim = startSimulator(config);
    const std::string r = roundTrip(sim->httpPort(), get("/axis-cgi/apidiscovery.cgi"));
    EXPECT_EQ(statusLine(r), "HTTP/1.1 401 Unauthorized");
    EXPECT_NE(r.find("Digest realm=\"AXIS_00408C923E54\""), std::string::npos);

    auto plain = startSimulator(openCamera("P5512"));
    const std::string nf = roundTrip(plain->httpPort(), get("/axis-cgi/apidiscovery.cgi"));
    EXPECT_EQ(statusLine(nf), "HTTP/1.1 404 Not Found");
    EXPECT_NE(nf.find("Content-Type: text/html; charset=ISO-8859-1\r\n"), std::string::npos);
    // AXIS P5512 5.51.7, body as captured.
    EXPECT_EQ(body(nf), "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\n"
                        "<BODY><H1>404 Not Found</H1>\n"
                        "The requested URL /axis-cgi/apidiscovery.cgi was not found on this server.\n"
                        "</BODY></HTML>\n");
    // The topology request on 5.51: no VirtualInput group there.
    const std::string topology = body(roundTrip(plain->httpPort(), get("/axis-cgi/param.cgi?action=list&group="
                                                                      "Brand.ProdNbr,Properties.VirtualInput,PTZ.Various.V1.CtlQueueing")));
    EXPECT_EQ(topology, "root.Brand.ProdNbr=P5512\n"
                        "# Error: Error -1 getting param in group 'Properties.VirtualInput'\n"
                        "root.PTZ.Various.V1.CtlQueueing=true\n");
}

TEST(Simulator, RebootDropsConnectionsRefusesThenComesBackWithTheNewMode)
{
    auto config = openCamera("P3245-LVE");
    config.rtspPort = -1;
    config.rebootSeconds = 1.0;
    auto sim = startSimulator(config);
    const unsigned short port = sim->httpPort();
    Connection keptAlive(port);
    keptAlive.send("GET /axis-cgi/param.cgi?action=list&group=Brand.ProdNbr HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(keptAlive.read().result_int(), 200);
    EXPECT_EQ(body(roundTrip(port, get("/axis-cgi/param.cgi?action=update&ImageSource.I0.Sensor.CaptureMode=3"))), "OK\n");
    const std::string reboot = R"({"apiVersion":"1.0","context":"c","method":"reboot","params":{}})";
    const std::string answer = roundTrip(port, "POST /axis-cgi/firmwaremanagement.cgi HTTP/1.1\r\nHost: x\r\n"
                                               "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                                                   std::to_string(reboot.size()) + "\r\n\r\n" + reboot);
    EXPECT_EQ(statusLine(answer), "HTTP/1.1 200 OK");
    EXPECT_EQ(parseJson(body(answer))["method"].asString(), "reboot");

    // The idle keep-alive connection is closed by the camera, not by a time-out.
    char byte = 0;
    boost::system::error_code ec;
    keptAlive.socket.read_some(asio::buffer(&byte, 1), ec);
    EXPECT_EQ(ec, asio::error::eof) << ec.message();

    // Down: connections are refused; then up again on the same port.
    auto connects = [port] {
        asio::io_context io;
        tcp::socket s(io);
        boost::system::error_code e;
        s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), e);
        return !e;
    };
    bool refused = false;
    for (int i = 0; i < 500 && !(refused = !connects()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(refused);
    bool back = false;
    for (int i = 0; i < 1000 && !(back = connects()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(back);
    EXPECT_EQ(body(roundTrip(port, get("/axis-cgi/param.cgi?action=list&group=ImageSource.I0.Sensor.CaptureMode,"
                                       "Image.I0.Appearance.Resolution"))),
              "root.ImageSource.I0.Sensor.CaptureMode=3\nroot.Image.I0.Appearance.Resolution=1280x720\n");
}

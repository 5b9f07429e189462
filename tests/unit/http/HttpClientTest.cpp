#include <netkit/http/HttpClient.h>
#include <netkit/http/HttpStream.h>

#include "support/HttpTestServer.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>
#include <map>
#include <regex>
#include <thread>

using namespace Orix;
using namespace TestSupport;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    int calls = 0;
    boost::system::error_code error;
    std::string body;
    http::HttpResponse response;
};

std::shared_ptr<asio::ConnectionInfo> cameraAt(const std::string& address, std::uint16_t port,
                                               const std::string& user = "root",
                                               const std::string& password = "pass")
{
    auto info = std::make_shared<asio::ConnectionInfo>();
    info->host = address;
    info->port = port;
    info->user = user;
    info->password = password;
    info->endpoint = {address, port};
    return info;
}

// Records the completion of a request.
struct Recorder {
    Outcome* outcome;
    void operator()(const boost::system::error_code& ec, const std::string& body, const http::HttpResponse& response) const
    {
        ++outcome->calls;
        outcome->error = ec;
        outcome->body = body;
        outcome->response = response;
    }
};

// Runs one request to its end on a private io_context.
Outcome runGet(asio::ConnectionInfoPtr info, http::HttpRequest request, http::Timeout timeout = 5000ms)
{
    boost::asio::io_context io;
    Outcome outcome;
    http::asyncGetEx(std::move(info), std::move(request), io, timeout, Recorder{&outcome});
    EXPECT_EQ(outcome.calls, 0); // never inside the starting call
    io.run();
    EXPECT_EQ(outcome.calls, 1);
    return outcome;
}

http::HttpRequest get(const std::string& target, std::size_t maxResponseBytes = http::kDefaultMaxResponseBytes,
                      http::Headers headers = {})
{
    http::HttpRequest request;
    request.target = target;
    request.maxResponseBytes = maxResponseBytes;
    request.headers = std::move(headers);
    return request;
}

Outcome runGet(asio::ConnectionInfoPtr info, const std::string& target, http::Timeout timeout = 5000ms)
{
    return runGet(std::move(info), get(target), timeout);
}

std::string hashHex(const std::string& algorithm, const std::string& text)
{
    const EVP_MD* md = algorithm == "SHA-256" ? EVP_sha256() : EVP_md5();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(text.data(), text.size(), out, &size, md, nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        hex += digits[out[i] >> 4];
        hex += digits[out[i] & 15];
    }
    return hex;
}

std::map<std::string, std::string> authParams(const std::string& header)
{
    std::map<std::string, std::string> params;
    static const std::regex param(R"re(([A-Za-z-]+)=("((?:[^"\\]|\\.)*)"|[^,\s]*))re");
    for (auto it = std::sregex_iterator(header.begin(), header.end(), param);
         it != std::sregex_iterator(); ++it)
        params[(*it)[1]] = (*it)[3].matched ? std::string((*it)[3]) : std::string((*it)[2]);
    return params;
}

// A camera that protects everything with Digest, checking each answer with
// hashing of its own. Realm and nonce as an Axis camera with an Apache-style
// digest module sends them.
class DigestCamera {
public:
    std::string user = "root";
    std::string password = "pass";
    std::string realm = "AXIS_ACCC8EB3494E";
    std::string algorithm = "MD5";
    bool qop = true;
    std::vector<std::string> extraChallenges; // further WWW-Authenticate lines
    bool hangUpAfterChallenge = false;        // close after a 401 without saying so
    std::string body = "root.Brand.ProdNbr=P1435-LE\n";

    ServerScript script()
    {
        return [this](const RecordedRequest& request) { return answer(request); };
    }

    // The next challenge carries a new nonce; the old one is answered stale.
    void rotateNonce()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        previousNonce_ = nonce_;
        nonce_ = "PNHWZB6nBQA=4a1c2f0d9b7e6a5c4b3a29180716253443526170";
    }

    int unauthorizedCount() const { return unauthorized_; }

private:
    ScriptedReply answer(const RecordedRequest& request)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string header = request.header("Authorization");
        if (header.rfind("Digest ", 0) != 0)
            return challenge(false);
        auto p = authParams(header);
        if (p["username"] != user || p["realm"] != realm || p["uri"] != request.target)
            return challenge(false);
        if (p["nonce"] != nonce_)
            return challenge(p["nonce"] == previousNonce_);
        const std::string ha1 = hashHex(algorithm, user + ":" + realm + ":" + password);
        const std::string ha2 = hashHex(algorithm, request.method + ":" + request.target);
        const std::string expected =
            qop ? hashHex(algorithm, ha1 + ":" + nonce_ + ":" + p["nc"] + ":" + p["cnonce"] + ":auth:" + ha2)
                : hashHex(algorithm, ha1 + ":" + nonce_ + ":" + ha2);
        if (p["response"] != expected || (qop && p["qop"] != "auth"))
            return challenge(false);
        return ScriptedReply::raw(httpAnswer(200, "OK", {"Content-Type: text/plain"}, body));
    }

    ScriptedReply challenge(bool stale)
    {
        ++unauthorized_;
        std::vector<std::string> lines;
        std::string line = "WWW-Authenticate: Digest realm=\"" + realm + "\", nonce=\"" + nonce_ +
                           "\", algorithm=" + algorithm;
        if (qop)
            line += ", qop=\"auth\"";
        if (stale)
            line += ", stale=true";
        lines.push_back(line);
        for (const auto& extra : extraChallenges)
            lines.push_back("WWW-Authenticate: " + extra);
        return ScriptedReply::raw(httpAnswer(401, "Unauthorized", lines, "401 Unauthorized"),
                                  hangUpAfterChallenge);
    }

    std::mutex mutex_;
    std::string nonce_ = "PNHWZB6nBQA=316099a140230c2db387fc75ee1c8ae838a750d8";
    std::string previousNonce_;
    std::atomic<int> unauthorized_{0};
};

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override { http::clearAuthenticationCache(); }
    void TearDown() override { http::clearAuthenticationCache(); }
};

} // namespace

TEST_F(HttpClientTest, AuthenticationVariantsReachTheCamera)
{
    const struct {
        const char* name;
        std::string algorithm;
        bool qop;
        std::vector<std::string> extra;
        bool hangUp; // the camera closes after its challenge without saying so
    } cases[] = {
        {"MD5 with qop", "MD5", true, {}, false},
        {"MD5 without qop, as RTSP servers answer", "MD5", false, {"Basic realm=\"AXIS_ACCC8EB3494E\""}, false},
        {"SHA-256 with qop", "SHA-256", true, {}, false},
        {"camera hanging up after the challenge is reached again", "MD5", true, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        http::clearAuthenticationCache();
        DigestCamera camera;
        camera.algorithm = c.algorithm;
        camera.qop = c.qop;
        camera.extraChallenges = c.extra;
        camera.hangUpAfterChallenge = c.hangUp;
        HttpTestServer server(camera.script());
        auto outcome = runGet(cameraAt("127.0.0.1", server.port()), "/axis-cgi/basicdeviceinfo.cgi");
        EXPECT_FALSE(outcome.error) << outcome.error.message();
        EXPECT_EQ(outcome.response.status, 200u);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u);
        if (c.hangUp) {
            EXPECT_NE(requests[0].connection, requests[1].connection);
        }
    }
}

TEST_F(HttpClientTest, StrongestOfferedSchemeIsAnswered)
{
    // MD5 first, SHA-256 second, Basic last, in two header lines.
    HttpTestServer strongest([](const RecordedRequest& request) {
        if (!request.hasHeader("Authorization"))
            return ScriptedReply::raw(httpAnswer(401, "Unauthorized",
                                                 {"WWW-Authenticate: Digest realm=\"r\", nonce=\"md5nonce\", algorithm=MD5, qop=\"auth\", "
                                                  "Digest realm=\"r\", nonce=\"shanonce\", algorithm=SHA-256, qop=\"auth\"",
                                                  "WWW-Authenticate: Basic realm=\"r\""},
                                                 ""));
        return ScriptedReply::raw(httpAnswer(200, "OK", {}, "ok"));
    });
    EXPECT_FALSE(runGet(cameraAt("127.0.0.1", strongest.port()), "/").error);
    const auto requests = strongest.requests();
    ASSERT_EQ(requests.size(), 2u);
    auto p = authParams(requests[1].header("Authorization"));
    EXPECT_EQ(p["algorithm"], "SHA-256");
    EXPECT_EQ(p["nonce"], "shanonce");

    // Basic when the camera offers only Basic, sent at once the second time.
    HttpTestServer basic([](const RecordedRequest& request) {
        // RFC 7617 section 2.
        if (request.header("Authorization") != "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==")
            return ScriptedReply::raw(httpAnswer(401, "Unauthorized", {"WWW-Authenticate: Basic realm=\"WallyWorld\""}, ""));
        return ScriptedReply::raw(httpAnswer(200, "OK", {}, "ok"));
    });
    auto info = cameraAt("127.0.0.1", basic.port(), "Aladdin", "open sesame");
    EXPECT_FALSE(runGet(info, "/").error);
    EXPECT_FALSE(runGet(info, "/").error);
    EXPECT_EQ(basic.requestCount(), 3u);
}

TEST_F(HttpClientTest, StaleNonceIsRetriedWithTheNewOne)
{
    DigestCamera camera;
    HttpTestServer server(camera.script());
    auto info = cameraAt("127.0.0.1", server.port());
    ASSERT_FALSE(runGet(info, "/axis-cgi/io/port.cgi?check=1").error);
    camera.rotateNonce();
    auto outcome = runGet(info, "/axis-cgi/io/port.cgi?check=1");
    EXPECT_FALSE(outcome.error) << outcome.error.message();
    EXPECT_EQ(outcome.response.status, 200u);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u); // 401, 200, stale 401, 200
    auto retried = authParams(requests[3].header("Authorization"));
    EXPECT_EQ(retried["nonce"], "PNHWZB6nBQA=4a1c2f0d9b7e6a5c4b3a29180716253443526170");
    EXPECT_EQ(retried["nc"], "00000001");
}

TEST_F(HttpClientTest, NoCredentialsOrNoUsableSchemeEndsAtTheFirst401)
{
    const struct {
        const char* name;
        std::string user, challenge;
        http::error expected;
    } cases[] = {
        {"no user", "", "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"", http::error::unauthorized},
        {"no challenge header", "root", "X-Reason: none", http::error::unauthorized},
        {"only Negotiate", "root", "WWW-Authenticate: Negotiate", http::error::unsupportedAuthScheme},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const RecordedRequest&) { return ScriptedReply::raw(httpAnswer(401, "Unauthorized", {c.challenge}, "denied")); });
        auto outcome = runGet(cameraAt("127.0.0.1", server.port(), c.user), "/");
        EXPECT_EQ(outcome.error, c.expected);
        EXPECT_EQ(outcome.response.status, 401u);
        EXPECT_EQ(server.requestCount(), 1u);
    }
}

TEST_F(HttpClientTest, StatusesReachTheCaller)
{
    // The 404 page is the one AXIS P5512 firmware 5.51.7 answers.
    const std::string page404 = "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\n"
                                "<BODY><H1>404 Not Found</H1>\n"
                                "The requested URL /axis-cgi/apidiscovery.cgi was not found on this server.\n"
                                "</BODY></HTML>\n";
    const struct {
        const char* name;
        std::string answer;
        boost::system::error_code error;
        unsigned status;
        std::string reason, body;
    } cases[] = {
        {"404 with its page", "HTTP/1.0 404 Not Found\r\nContent-Type: text/html; charset=ISO-8859-1\r\n\r\n" + page404,
         http::error::notFound, 404, "Not Found", page404},
        {"500 is left to the caller", httpAnswer(500, "Internal Server Error", {}, "boom"), {}, 500, "Internal Server Error", "boom"},
        {"302 is not followed", httpAnswer(302, "Found", {"Location: /index.html"}, ""), {}, 302, "Found", ""},
        {"chunked 200", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", {}, 200,
         "OK", "hello world"},
        {"100 Continue before the answer", "HTTP/1.1 100 Continue\r\n\r\n" + httpAnswer(200, "OK", {}, "ok"), {}, 200, "OK", "ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool closeAfter = c.answer.rfind("HTTP/1.0", 0) == 0;
        HttpTestServer server([&](const RecordedRequest&) { return ScriptedReply::raw(c.answer, closeAfter); });
        auto outcome = runGet(cameraAt("127.0.0.1", server.port(), ""), "/axis-cgi/apidiscovery.cgi");
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.response.status, c.status);
        EXPECT_EQ(outcome.response.reason, c.reason);
        EXPECT_EQ(outcome.body, c.body);
    }
}

TEST_F(HttpClientTest, BrokenOrMissingAnswersEndWithAClearError)
{
    const std::string big(2000, 'x');
    const std::size_t standard = http::kDefaultMaxResponseBytes;
    const struct {
        const char* name;
        ScriptedReply reply;
        std::size_t maxResponseBytes;
        boost::system::error_code expected;
        http::Timeout timeout = 5000ms;
    } cases[] = {
        {"body above the bound", ScriptedReply::raw(httpAnswer(200, "OK", {}, big)), 1000, http::error::responseTooLarge},
        {"body up to the close above the bound", ScriptedReply::raw("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + big, true),
         1000, http::error::responseTooLarge},
        {"chunked body above the bound",
         ScriptedReply::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7d0\r\n" + big + "\r\n0\r\n\r\n"), 1000,
         http::error::responseTooLarge},
        {"header above the bound", ScriptedReply::raw("HTTP/1.1 200 OK\r\nX-Filler: " + std::string(100000, 'y') + "\r\n\r\n"),
         standard, http::error::responseTooLarge},
        {"not HTTP at all", ScriptedReply::raw("SSH-2.0-OpenSSH_8.4p1 Debian-5\r\n", true), standard, http::error::malformedResponse},
        {"broken chunk size",
         ScriptedReply::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n", true), standard,
         http::error::malformedResponse},
        {"bad status line", ScriptedReply::raw("HTTP/1.1 2x0 OK\r\n\r\n", true), standard, http::error::malformedResponse},
        {"closed without an answer", ScriptedReply::close(), standard, boost::asio::error::eof},
        {"closed in the middle of the body",
         ScriptedReply::raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", true), standard, boost::asio::error::eof},
        {"silent camera times out", ScriptedReply::silent(), standard, http::error::timeout, 200ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const RecordedRequest&) { return c.reply; });
        auto outcome = runGet(cameraAt("127.0.0.1", server.port(), ""), get("/axis-cgi/param.cgi?action=list", c.maxResponseBytes), c.timeout);
        EXPECT_EQ(outcome.error, c.expected) << outcome.error.message();
    }
}

TEST_F(HttpClientTest, CancelFromAnotherThreadEndsOnce)
{
    HttpTestServer server([](const RecordedRequest&) { return ScriptedReply::silent(); });
    boost::asio::io_context io;
    std::atomic<int> calls{0};
    boost::system::error_code error;
    std::thread::id completionThread;
    auto handle = http::asyncGetEx(cameraAt("127.0.0.1", server.port(), ""), "/axis-cgi/record/list.cgi", io, 30000ms,
                                   [&](const boost::system::error_code& ec, const std::string&, const http::HttpResponse&) {
                                       ++calls;
                                       error = ec;
                                       completionThread = std::this_thread::get_id();
                                   });
    std::thread runner([&] { io.run(); });
    const auto runnerId = runner.get_id();
    ASSERT_TRUE(server.waitForRequests(1, 10s));
    handle->cancel();
    handle->cancel();
    runner.join();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(error, http::error::cancelled);
    EXPECT_EQ(completionThread, runnerId);
    handle->cancel(); // after the end: nothing more happens
    io.restart();
    io.run();
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(HttpClientTest, InvalidRequestsAndRefusalsCompleteLater)
{
    HttpTestServer server([](const RecordedRequest&) { return ScriptedReply::raw(httpAnswer(200, "OK", {}, "ok")); });
    const struct {
        const char* name;
        asio::ConnectionInfoPtr info;
        http::HttpRequest request;
        boost::system::error_code expected;
    } cases[] = {
        {"no connection info", nullptr, get("/"), http::error::invalidRequest},
        {"no host", cameraAt("", 80, ""), get("/"), http::error::invalidRequest},
        {"target with a line break", cameraAt("127.0.0.1", 80, ""), get("/a\r\nX-Injected: 1"), http::error::invalidRequest},
        {"relative target", cameraAt("127.0.0.1", 80, ""), get("axis-cgi/param.cgi"), http::error::invalidRequest},
        {"header with a line break", cameraAt("127.0.0.1", server.port(), ""),
         get("/", http::kDefaultMaxResponseBytes, {{"X-Note", "a\r\nAuthorization: Basic Zm9v"}}), http::error::invalidRequest},
        {"refused port", cameraAt("127.0.0.1", 1, ""), get("/"), boost::asio::error::connection_refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runGet(c.info, c.request).error, c.expected); // runGet checks that it completes once, later
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpClientTest, PostCarriesBodyAndHeaders)
{
    HttpTestServer server([](const RecordedRequest&) {
        return ScriptedReply::raw(httpAnswer(200, "OK", {"Content-Type: application/json"}, R"({"apiVersion":"1.0","data":{}})"));
    });
    boost::asio::io_context io;
    Outcome outcome;
    const std::string json = R"({"apiVersion":"1.0","method":"getLightInformation"})";
    http::asyncPostEx(cameraAt("127.0.0.1", server.port(), ""), "/axis-cgi/lightcontrol.cgi", json, io, 5000ms, Recorder{&outcome},
                      {{"Content-Type", "application/json"}});
    io.run();
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.body, R"({"apiVersion":"1.0","data":{}})");
    ASSERT_NE(outcome.response.find("content-type"), nullptr);
    EXPECT_EQ(*outcome.response.find("CONTENT-TYPE"), "application/json");
    EXPECT_EQ(outcome.response.find("X-Absent"), nullptr);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, json);
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].header("Content-Length"), std::to_string(json.size()));
}

TEST_F(HttpClientTest, Ipv6CameraGetsABracketedHost)
{
    if (!ipv6LoopbackAvailable())
        GTEST_SKIP() << "no IPv6 loopback";
    DigestCamera camera;
    HttpTestServer server(camera.script(), "::1");
    auto outcome = runGet(cameraAt("::1", server.port()), "/axis-cgi/param.cgi?action=list");
    EXPECT_FALSE(outcome.error) << outcome.error.message();
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].header("Host"), "[::1]:" + std::to_string(server.port()));
}

TEST_F(HttpClientTest, SyncGetChecksTheStatus)
{
    HttpTestServer server([](const RecordedRequest& request) {
        if (request.target == "/ok")
            return ScriptedReply::raw(httpAnswer(200, "OK", {}, "Pan=0\n"));
        if (request.target == "/missing")
            return ScriptedReply::raw(httpAnswer(404, "Not Found", {}, "nope"));
        return ScriptedReply::raw(httpAnswer(503, "Service Unavailable", {}, "busy"));
    });
    auto info = cameraAt("127.0.0.1", server.port(), "");
    const struct {
        const char* target;
        bool checkStatus;
        boost::system::error_code expected;
        const char* body;
    } cases[] = {
        {"/ok", true, {}, "Pan=0\n"},
        {"/missing", true, http::error::notFound, "nope"},
        {"/busy", true, http::error::malformedResponse, "busy"},
        {"/busy", false, {}, "busy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        std::string body;
        EXPECT_EQ(http::syncHttpGet(info, c.target, nullptr, body, {}, c.checkStatus), c.expected);
        EXPECT_EQ(body, c.body);
    }
}

// The long-lived GET of the IO monitors: body bytes as they arrive, one end.
TEST_F(HttpClientTest, StreamDeliversTheBodyAsItArrivesAndEndsOnce)
{
    DigestCamera camera;
    camera.body = "--ioboundary\r\nContent-Type: text/plain\r\n\r\n1I:H\r\n";
    const std::string multipartHead =
        "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=ioboundary\r\n\r\n";
    const struct {
        const char* name;
        ServerScript script;
        unsigned status;
        std::string data;
        boost::system::error_code end;
        std::size_t requests;
    } cases[] = {
        {"refusal ends without body",
         [](const RecordedRequest&) { return ScriptedReply::raw(httpAnswer(503, "Busy", {}, "busy")); }, 503, "", {},
         1},
        {"digest challenge answered on a new connection", camera.script(), 200, camera.body, {}, 2},
        {"HTTP/1.0 body read until the camera closes",
         [&](const RecordedRequest&) { return ScriptedReply::raw(multipartHead + "--ioboundary\r\n", true); }, 200,
         "--ioboundary\r\n", {}, 1},
        {"chunked body",
         [](const RecordedRequest&) {
             return ScriptedReply::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n1O:/\r\n0\r\n\r\n");
         },
         200, "1O:/", {}, 1},
        {"stall after the first bytes",
         [&](const RecordedRequest&) { return ScriptedReply::raw(multipartHead + "--ioboundary\r\n"); }, 200,
         "--ioboundary\r\n", http::error::timeout, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        http::clearAuthenticationCache();
        HttpTestServer server(c.script);
        boost::asio::io_context io;
        std::vector<unsigned> statuses;
        std::string data;
        int ends = 0;
        boost::system::error_code end;
        http::HttpStreamHandlers handlers;
        handlers.onResponse = [&](const http::HttpResponse& r) { statuses.push_back(r.status); };
        handlers.onData = [&](const char* bytes, std::size_t size) { data.append(bytes, size); };
        handlers.onEnd = [&](const boost::system::error_code& e, const http::HttpResponse&) {
            ++ends;
            end = e;
        };
        http::HttpStreamTimeouts timeouts;
        timeouts.header = 20s;
        timeouts.stall = 300ms;
        http::HttpRequest request;
        request.target = "/axis-cgi/io/port.cgi?monitor=1";
        http::openHttpStream(cameraAt("127.0.0.1", server.port()), request, io, timeouts, handlers);
        EXPECT_EQ(ends, 0);
        io.run();
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(end, c.end) << end.message();
        EXPECT_EQ(statuses, std::vector<unsigned>{c.status});
        EXPECT_EQ(data, c.data);
        EXPECT_EQ(server.requestCount(), c.requests);
    }
}

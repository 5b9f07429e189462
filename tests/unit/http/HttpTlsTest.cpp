#include <netkit/http/HttpClient.h>

#include "support/HttpTestServer.h"
#include "support/ProcessRunner.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace Orix;
using namespace TestSupport;
using namespace std::chrono_literals;

namespace {

const char* const kOpenssl = "/usr/bin/openssl";

// Runs the openssl command; its stdout, or empty when it failed.
std::string openssl(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), kOpenssl);
    const auto result = runProcess(arguments, 60s);
    return result.exited(0) ? result.out : std::string();
}

// "sha256 Fingerprint=AB:CD:..." as the openssl command prints it.
std::string opensslFingerprint(const std::string& certificate)
{
    const std::string line = openssl({"x509", "-noout", "-fingerprint", "-sha256", "-in", certificate});
    const auto equals = line.find('=');
    if (equals == std::string::npos)
        return {};
    std::string hex;
    for (char c : line.substr(equals + 1)) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return hex;
}

// Certificates made with the openssl command for this run: a private CA with
// a leaf for 127.0.0.1 and localhost, and a self-signed certificate as an
// Axis camera ships by default.
struct Certificates {
    std::filesystem::path dir;
    std::string caFile, leafFile, leafKey, selfFile, selfKey;
    std::string selfFingerprint, leafFingerprint;
    bool ok = false;

    Certificates()
    {
        char pattern[] = "/tmp/netkit-tls-XXXXXX";
        if (!mkdtemp(pattern))
            return;
        dir = pattern;
        const std::string d = dir.string();
        caFile = d + "/ca.pem";
        leafFile = d + "/leaf.pem";
        leafKey = d + "/leaf.key";
        selfFile = d + "/self.pem";
        selfKey = d + "/self.key";
        std::ofstream(d + "/leaf.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n";
        const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        auto request = [&ec](std::vector<std::string> arguments) {
            arguments.insert(arguments.begin() + 1, ec.begin(), ec.end());
            return arguments;
        };
        openssl(request({"req", "-x509", "-keyout", d + "/ca.key", "-out", caFile, "-days", "2", "-subj",
                         "/CN=NetKit Test CA"}));
        openssl(request({"req", "-keyout", leafKey, "-out", d + "/leaf.csr", "-subj", "/CN=localhost"}));
        openssl({"x509", "-req", "-in", d + "/leaf.csr", "-CA", caFile, "-CAkey", d + "/ca.key", "-CAcreateserial",
                 "-days", "2", "-extfile", d + "/leaf.ext", "-out", leafFile});
        openssl(request({"req", "-x509", "-keyout", selfKey, "-out", selfFile, "-days", "2", "-subj",
                         "/CN=AXIS_ACCC8EB3494E"}));
        selfFingerprint = opensslFingerprint(selfFile);
        leafFingerprint = opensslFingerprint(leafFile);
        ok = selfFingerprint.size() == 64 && leafFingerprint.size() == 64;
    }
    ~Certificates()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

class HttpTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        certificates_ = new Certificates;
        // The system store is read from here when the client's TLS context is
        // first made, which happens in this suite only.
        if (certificates_->ok)
            setenv("SSL_CERT_FILE", certificates_->caFile.c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        delete certificates_;
        certificates_ = nullptr;
    }
    void SetUp() override
    {
        if (!certificates_->ok)
            GTEST_SKIP() << "the openssl command could not make certificates";
    }

    static Certificates* certificates_;
};

Certificates* HttpTlsTest::certificates_ = nullptr;

ScriptedReply answerOk(const RecordedRequest&)
{
    return ScriptedReply::raw(httpAnswer(200, "OK", {"Content-Type: text/plain"}, "HTTPS.Enabled=yes\n"));
}

boost::system::error_code fetch(std::uint16_t port, const std::string& host, bool acceptSelfSigned,
                                const std::string& fingerprint)
{
    auto info = std::make_shared<asio::ConnectionInfo>();
    info->scheme = "https";
    info->host = host;
    info->port = port;
    info->acceptSelfSigned = acceptSelfSigned;
    info->certificateFingerprint = fingerprint;
    info->endpoint = {"127.0.0.1", port};
    boost::asio::io_context io;
    boost::system::error_code result = http::error::invalidRequest;
    std::string body;
    int calls = 0;
    http::asyncGetEx(info, "/axis-cgi/param.cgi?action=list&group=HTTPS", io, 10000ms,
                     [&](const boost::system::error_code& ec, const std::string& b, const http::HttpResponse&) {
                         ++calls;
                         result = ec;
                         body = b;
                     });
    io.run();
    EXPECT_EQ(calls, 1);
    if (!result) {
        EXPECT_EQ(body, "HTTPS.Enabled=yes\n");
    }
    return result;
}

} // namespace

TEST_F(HttpTlsTest, CertificatesAreCheckedUnlessPinnedOrRelaxed)
{
    const Certificates& certs = *certificates_;
    HttpTestServer self(answerOk, "127.0.0.1", HttpTestServer::Tls{certs.selfFile, certs.selfKey}); // as Axis ships
    HttpTestServer leaf(answerOk, "127.0.0.1", HttpTestServer::Tls{certs.leafFile, certs.leafKey}); // from the private CA
    HttpTestServer plain(answerOk);
    const std::string right = certs.selfFingerprint;
    std::string wrong = right;
    wrong[0] = wrong[0] == '0' ? '1' : '0';
    std::string uppercaseWithColons;
    for (std::size_t i = 0; i < right.size(); i += 2)
        uppercaseWithColons += (i ? ":" : "") + std::string{char(std::toupper(right[i])), char(std::toupper(right[i + 1]))};
    const struct {
        const char* name;
        const HttpTestServer& server;
        std::string host;
        bool acceptSelfSigned;
        std::string fingerprint;
        boost::system::error_code expected;
    } cases[] = {
        {"self-signed, verified by default: rejected", self, "127.0.0.1", false, "", http::error::certificateRejected},
        {"self-signed accepted when allowed", self, "127.0.0.1", true, "", {}},
        {"self-signed accepted with its fingerprint", self, "127.0.0.1", false, right, {}},
        {"fingerprint as openssl prints it", self, "127.0.0.1", false, uppercaseWithColons, {}},
        {"another fingerprint: mismatch", self, "127.0.0.1", false, wrong, http::error::fingerprintMismatch},
        {"pin wins over accept-self-signed", self, "127.0.0.1", true, wrong, http::error::fingerprintMismatch},
        {"address in the certificate", leaf, "127.0.0.1", false, "", {}},
        {"name in the certificate", leaf, "localhost", false, "", {}},
        {"name not in the certificate", leaf, "camera.example", false, "", http::error::certificateRejected},
        {"name mismatch accepted when relaxed", leaf, "camera.example", true, "", {}},
        {"pinned to another certificate", leaf, "127.0.0.1", false, certs.selfFingerprint, http::error::fingerprintMismatch},
        {"pinned to this one", leaf, "camera.example", false, certs.leafFingerprint, {}},
        {"plain server on the HTTPS port", plain, "127.0.0.1", true, "", http::error::tlsHandshakeFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fetch(c.server.port(), c.host, c.acceptSelfSigned, c.fingerprint), c.expected);
    }
    EXPECT_EQ(self.requestCount(), 3u) << "nothing may be sent over a rejected connection";
    const auto requests = leaf.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].header("Host"), "127.0.0.1:" + std::to_string(leaf.port()));
}

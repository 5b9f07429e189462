// The HTTP client against Debian's Apache httpd with mod_auth_digest: a
// Digest implementation nobody here wrote, and the one whose nonce format
// newer Axis firmware shares.
#include <netkit/http/HttpClient.h>

#include "support/ProcessRunner.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace Orix;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const char* const kApache = "/usr/sbin/apache2";
const char* const kModules = "/usr/lib/apache2/modules";
const char* const kRealm = "AXIS_ACCC8EB3494E";
const char* const kUser = "root";
const char* const kPassword = "Pa55:w0rd";
const char* const kBrandAnswer = "root.Brand.Brand=AXIS\nroot.Brand.ProdNbr=P1435-LE\n";
const char* const kPageAnswer = "<html><body>protected</body></html>\n";

std::string md5Hex(const std::string& text)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(text.data(), text.size(), out, &size, EVP_md5(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        hex += digits[out[i] >> 4];
        hex += digits[out[i] & 15];
    }
    return hex;
}

std::uint16_t freeLoopbackPort()
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(
        io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    return acceptor.local_endpoint().port();
}

bool accepts(std::uint16_t port)
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    boost::system::error_code ec;
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port}, ec);
    return !ec;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One foreground apache2 in a temporary server root.
class ApacheServer {
public:
    bool start()
    {
        char pattern[] = "/tmp/netkit-apache-XXXXXX";
        if (!mkdtemp(pattern))
            return false;
        root_ = pattern;
        // As root, apache drops to nobody before serving: the tree must be
        // readable by everyone.
        chmod(pattern, 0755);
        fs::create_directories(root_ / "htdocs/protected");
        std::ofstream(root_ / "htdocs/protected/index.html") << kPageAnswer;
        std::ofstream(root_ / "param.txt") << kBrandAnswer;
        std::ofstream(root_ / "htdigest")
            << kUser << ":" << kRealm << ":" << md5Hex(std::string(kUser) + ":" + kRealm + ":" + kPassword) << "\n";
        port_ = freeLoopbackPort();
        writeConfig();

        const std::string config = (root_ / "httpd.conf").string();
        process_ = std::make_unique<TestSupport::ChildProcess>(
            std::vector<std::string>{kApache, "-X", "-d", root_.string(), "-f", config});
        for (int i = 0; i < 200 && process_->running(); ++i) {
            if (accepts(port_))
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    ~ApacheServer()
    {
        process_.reset();
        if (!root_.empty()) {
            std::error_code ignored;
            fs::remove_all(root_, ignored);
        }
    }

    std::uint16_t port() const { return port_; }
    std::string errorLog() const
    {
        return (process_ ? process_->stderrText() : std::string()) + readFile(root_ / "error.log");
    }
    // "<status> <method> <uri> <Authorization>" per request. Apache logs a
    // request after answering it, so the lines expected are waited for.
    std::vector<std::string> accessLog(std::size_t expected) const
    {
        std::vector<std::string> lines;
        for (int attempt = 0; attempt < 200; ++attempt) {
            lines.clear();
            std::istringstream in(readFile(root_ / "access.log"));
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            if (lines.size() >= expected)
                break;
            std::this_thread::sleep_for(50ms);
        }
        return lines;
    }

private:
    void writeConfig()
    {
        const std::string r = root_.string();
        const std::string auth = std::string("  AuthType Digest\n  AuthName \"") + kRealm +
                                 "\"\n  AuthDigestProvider file\n  AuthUserFile " + r +
                                 "/htdigest\n  Require valid-user\n";
        std::ofstream conf(root_ / "httpd.conf");
        conf << "ServerRoot " << r << "\n"
             << "ServerName 127.0.0.1\n"
             << "Listen 127.0.0.1:" << port_ << "\n"
             << "PidFile " << r << "/httpd.pid\n"
             << "DefaultRuntimeDir " << r << "\n"
             << "ErrorLog " << r << "/error.log\n"
             << "LogLevel warn\n";
        for (const char* module : {"mpm_prefork", "authn_core", "authn_file", "authz_core", "authz_user",
                                   "auth_digest", "mime", "alias", "dir"})
            conf << "LoadModule " << module << "_module " << kModules << "/mod_" << module << ".so\n";
        if (geteuid() == 0)
            conf << "User nobody\nGroup nogroup\n";
        conf << "TypesConfig /dev/null\n"
             << "DocumentRoot " << r << "/htdocs\n"
             << "DirectoryIndex index.html\n"
             << "LogFormat \"%>s %m %U%q %{Authorization}i\" peer\n"
             << "CustomLog " << r << "/access.log peer\n"
             << "<Directory " << r << "/htdocs/protected>\n" << auth << "</Directory>\n"
             << "Alias /axis-cgi/param.cgi " << r << "/param.txt\n"
             << "<Location /axis-cgi/>\n" << auth << "</Location>\n"
             << "<Directory " << r << ">\n  Require all granted\n</Directory>\n";
    }

    fs::path root_;
    std::uint16_t port_ = 0;
    std::unique_ptr<TestSupport::ChildProcess> process_;
};

struct Answer {
    boost::system::error_code error;
    unsigned status = 0;
    std::string body;
};

Answer get(std::uint16_t port, const std::string& user, const std::string& password, const std::string& target)
{
    auto info = std::make_shared<asio::ConnectionInfo>();
    info->host = "127.0.0.1";
    info->port = port;
    info->user = user;
    info->password = password;
    info->endpoint = {"127.0.0.1", port};
    boost::asio::io_context io;
    Answer answer;
    http::asyncGetEx(info, target, io, 10000ms,
                     [&](const boost::system::error_code& ec, const std::string& body, const http::HttpResponse& r) {
                         answer.error = ec;
                         answer.status = r.status;
                         answer.body = body;
                     });
    io.run();
    return answer;
}

std::string field(const std::string& line, const std::string& name)
{
    // Apache writes the header's quotes as \".
    const std::regex pattern(R"re((?:^|[ ,]))re" + name + R"re(=(?:\\?")?([^"\\,]*))re");
    std::smatch m;
    return std::regex_search(line, m, pattern) ? std::string(m[1]) : std::string();
}

class ApacheDigestPeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access(kApache, X_OK) != 0)
            GTEST_SKIP() << kApache << " is not installed";
        http::clearAuthenticationCache();
        ASSERT_TRUE(apache_.start()) << "apache2 did not start:\n" << apache_.errorLog();
    }
    void TearDown() override { http::clearAuthenticationCache(); }

    ApacheServer apache_;
};

} // namespace

TEST_F(ApacheDigestPeerTest, RightPasswordReadsProtectedFilesWithOneChallenge)
{
    const std::string param = "/axis-cgi/param.cgi?action=list&group=root.Brand";
    const Answer first = get(apache_.port(), kUser, kPassword, "/protected/index.html");
    EXPECT_FALSE(first.error) << first.error.message();
    EXPECT_EQ(first.status, 200u);
    EXPECT_EQ(first.body, kPageAnswer);

    const Answer second = get(apache_.port(), kUser, kPassword, param);
    EXPECT_FALSE(second.error) << second.error.message();
    EXPECT_EQ(second.body, kBrandAnswer);

    const Answer third = get(apache_.port(), kUser, kPassword, "/protected/");
    EXPECT_FALSE(third.error) << third.error.message();
    EXPECT_EQ(third.body, kPageAnswer);

    const auto log = apache_.accessLog(4);
    ASSERT_EQ(log.size(), 4u) << apache_.errorLog();
    EXPECT_EQ(log[0].substr(0, 4), "401 ");
    EXPECT_EQ(log[1].substr(0, 4), "200 ");
    EXPECT_EQ(log[2].substr(0, 4), "200 ");
    EXPECT_EQ(log[3].substr(0, 4), "200 ");
    // One nonce for all three answers, counted up.
    const std::string nonce = field(log[1], "nonce");
    EXPECT_FALSE(nonce.empty());
    EXPECT_EQ(field(log[2], "nonce"), nonce);
    EXPECT_EQ(field(log[3], "nonce"), nonce);
    EXPECT_EQ(field(log[1], "nc"), "00000001");
    EXPECT_EQ(field(log[2], "nc"), "00000002");
    EXPECT_EQ(field(log[3], "nc"), "00000003");
    EXPECT_EQ(field(log[2], "uri"), param);
    for (const auto& line : log)
        EXPECT_EQ(line.find(kPassword), std::string::npos);
}

TEST_F(ApacheDigestPeerTest, WrongCredentialsEndUnauthorized)
{
    struct Case {
        const char* name;
        const char* user;
        const char* password;
    };
    const Case cases[] = {
        {"wrong password", kUser, "Pa55:w0rD"},
        {"unknown user", "operator", kPassword},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer answer = get(apache_.port(), c.user, c.password, "/protected/index.html");
        EXPECT_EQ(answer.error, http::error::unauthorized);
        EXPECT_EQ(answer.status, 401u);
    }
    // Each attempt: one unauthenticated request, one answer to the challenge.
    EXPECT_EQ(apache_.accessLog(4).size(), 4u);

    // The right password still works afterwards.
    EXPECT_FALSE(get(apache_.port(), kUser, kPassword, "/protected/index.html").error);
}

#include <netkit/discovery/DnsMessage.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Orix::Utility;

namespace {

std::vector<std::uint8_t> hex(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// python3-zeroconf 0.47.3 answering a PTR query on loopback for a service it
// publishes: compressed names, TXT and SRV before A, an NSEC record last.
const char* const kZeroconfAnswer =
    "0000840000000001000000040b5f617869732d766964656f045f746370056c6f63616c00000c0001000011940021"
    "1e41584953204d333035382d504c5645202d20414343433845304342453837c00cc02e0010800100001194001817"
    "6d6163616464726573733d41434343384530434245383711617869732d616363633865306362653837c01d002f80"
    "0100001194000ac0730000000400000008c073000180010000007800047f000001c02e00218001000000780008000000"
    "001f91c073";

// camsim answering a PTR query by multicast (names not compressed).
const char* const kCamsimAnswer =
    "0000840000000001000000030b5f617869732d766964656f045f746370056c6f63616c00000c00010000119400361d41"
    "5849532050333234352d4c5645202d204143434338454233343934450b5f617869732d766964656f045f746370056c6f"
    "63616c001d415849532050333234352d4c5645202d204143434338454233343934450b5f617869732d766964656f045f"
    "746370056c6f63616c000021800100000078001f00000000a60d11617869732d616363633865623334393465056c6f63"
    "616c001d415849532050333234352d4c5645202d204143434338454233343934450b5f617869732d766964656f045f74"
    "6370056c6f63616c0000108001000011940018176d6163616464726573733d4143434338454233343934451161786973"
    "2d616363633865623334393465056c6f63616c00000180010000007800047f000001";

// The header of a response with the counts given (questions, answers, additionals).
std::string header(int questions, int answers, int additionals)
{
    char text[25];
    std::snprintf(text, sizeof text, "00008400%04x%04x0000%04x", questions, answers, additionals);
    return text;
}

const std::string kServiceName = "0b5f617869732d766964656f045f746370056c6f63616c00"; // _axis-video._tcp.local

TEST(DnsMessage, RealAnswersYieldTheService)
{
    const struct {
        const char* name;
        const char* packet;
        std::string instance, host, mac, address;
        std::uint16_t port;
    } cases[] = {
        {"python3-zeroconf, compressed", kZeroconfAnswer, "AXIS M3058-PLVE - ACCC8E0CBE87._axis-video._tcp.local",
         "axis-accc8e0cbe87.local", "ACCC8E0CBE87", "127.0.0.1", 8081},
        {"camsim", kCamsimAnswer, "AXIS P3245-LVE - ACCC8EB3494E._axis-video._tcp.local",
         "axis-accc8eb3494e.local", "ACCC8EB3494E", "127.0.0.1", 42509},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = hex(c.packet);
        DnsMessage m;
        ASSERT_FALSE(parseDnsMessage(bytes.data(), bytes.size(), m));
        ASSERT_TRUE(m.isResponse());
        ASSERT_EQ(m.answers.size(), 1u);
        EXPECT_EQ(m.answers[0].type, std::uint16_t(DnsType::PTR));
        EXPECT_TRUE(sameDnsName(m.answers[0].name, "_axis-video._tcp.local."));
        EXPECT_EQ(m.answers[0].target, c.instance);
        bool srv = false, txt = false, a = false;
        for (const DnsRecord& r : m.additionals) {
            if (r.type == std::uint16_t(DnsType::SRV)) {
                srv = true;
                EXPECT_EQ(r.target, c.host);
                EXPECT_EQ(r.port, c.port);
                EXPECT_TRUE(r.cacheFlush);
            } else if (r.type == std::uint16_t(DnsType::TXT)) {
                txt = true;
                EXPECT_EQ(txtRecordMap(r.texts).at("macaddress"), c.mac);
            } else if (r.type == std::uint16_t(DnsType::A)) {
                a = true;
                EXPECT_EQ(dnsAddressText(r.address), c.address);
                EXPECT_EQ(r.ttl, 120u);
            }
        }
        EXPECT_TRUE(srv && txt && a);
    }
}

// Every hostile packet is dropped as a whole, with the reason.
TEST(DnsMessage, HostilePacketsAreRejected)
{
    const std::string ptrTail = "000c000100000078"; // type PTR, class IN, TTL 120
    const struct {
        const char* name;
        std::string packet;
        dns_error expected;
    } cases[] = {
        {"shorter than the header", "00008400000000", dns_error::truncated},
        {"count larger than the packet", header(0, 200, 0) + kServiceName + ptrTail + "0002c00c",
         dns_error::countTooLarge},
        {"count past the record bound", header(0, 300, 0) + std::string(300 * 24, '0'), dns_error::countTooLarge},
        {"pointer to itself", header(0, 1, 0) + "c00c" + ptrTail + "0002c00c", dns_error::badPointer},
        {"pointer forward", header(0, 1, 0) + "c020" + ptrTail + "0002c00c" + std::string(40, '0'),
         dns_error::badPointer},
        {"pointer past the end", header(0, 1, 0) + kServiceName + ptrTail + "0002fff0", dns_error::badPointer},
        {"loop through two pointers",
         header(1, 1, 0) + "01610000010001" + "01" "62" "c01d" + ptrTail + "0002c00c", dns_error::badPointer},
        {"reserved label type", header(0, 1, 0) + "4061" + ptrTail + "0000", dns_error::badLabel},
        {"name over 255 bytes", header(1, 0, 0) + [] {
             std::string name;
             for (int i = 0; i < 5; ++i)
                 name += "3f" + std::string(126, '6') ;
             return name + "00" + "000c0001";
         }(), dns_error::nameTooLong},
        {"A record of five bytes", header(0, 1, 0) + "016100" "0001000100000078" "0005" "7f00000101",
         dns_error::badRecordData},
        {"TXT string past its data", header(0, 1, 0) + "016100" "0010000100000078" "0003" "056162",
         dns_error::badRecordData},
        {"SRV target past its data", header(0, 1, 0) + "016100" "0021000100000078" "0008" "0000000000500361",
         dns_error::badRecordData},
        {"record data past the packet", header(0, 1, 0) + "016100" "0001000100000078" "0004" "7f00",
         dns_error::truncated},
        {"label running past the packet", header(1, 0, 0) + "0a6162636465", dns_error::truncated},
        {"larger than an mDNS datagram", header(0, 0, 0) + std::string(2 * 9000, '0'), dns_error::messageTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = hex(c.packet);
        DnsMessage m;
        const auto error = parseDnsMessage(bytes.data(), bytes.size(), m);
        EXPECT_EQ(error, make_error_code(c.expected)) << error.message();
        EXPECT_TRUE(m.answers.empty() && m.questions.empty() && m.additionals.empty());
    }
}

// Every prefix of a real answer is rejected, never read past its end.
TEST(DnsMessage, EveryTruncationOfARealAnswerIsRejected)
{
    const auto full = hex(kZeroconfAnswer);
    for (std::size_t size = 0; size < full.size(); ++size) {
        const std::vector<std::uint8_t> cut(full.begin(), full.begin() + size);
        DnsMessage m;
        EXPECT_TRUE(parseDnsMessage(cut.data(), cut.size(), m)) << size;
    }
}

TEST(DnsMessage, TxtRecordsFollowDnsSdKeyRules)
{
    const auto map = txtRecordMap({"MacAddress=ACCC8E0CBE87", "macaddress=second", "=novalue", "flag", "empty="});
    EXPECT_EQ(map, (std::map<std::string, std::string>{
                       {"macaddress", "ACCC8E0CBE87"}, {"flag", ""}, {"empty", ""}}));
}

TEST(DnsMessage, QueryNamesKeepDotsInsideAnInstanceLabel)
{
    const auto query = buildDnsQuery({{"Cam\\.Lobby._axis-video._tcp.local", std::uint16_t(DnsType::SRV)}});
    EXPECT_EQ(query, hex("000000000001000000000000" "0943616d2e4c6f626279" + kServiceName + "00210001"));
    DnsMessage m;
    ASSERT_FALSE(parseDnsMessage(query.data(), query.size(), m));
    EXPECT_EQ(m.questions.at(0).name, "Cam\\.Lobby._axis-video._tcp.local");
}

} // namespace

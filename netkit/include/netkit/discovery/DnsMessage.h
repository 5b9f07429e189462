#pragma once
// DNS messages as multicast DNS carries them (RFC 1035 section 4, RFC 6762):
// a bounded parser for what arrives from the network and a builder for the
// queries a browser sends. No Asio, no logger: usable and fuzzable alone.
//
// The parser never reads past the end of the buffer and rejects, with an
// error code and no partial result:
//   - a buffer longer than kMaxDnsMessageBytes or shorter than the header;
//   - counts that the remaining bytes cannot hold (each question needs at
//     least 5 bytes, each record 11) or that exceed kMaxDnsRecords together;
//   - compression pointers that point past the end or not strictly before
//     the name they belong to (so loops are impossible), more than
//     kMaxDnsPointerJumps jumps, label types 01 and 10, names longer than
//     255 bytes in wire form;
//   - record data whose length disagrees with its type (A not 4 bytes,
//     AAAA not 16, SRV or PTR names running beyond their data).
// Names are kept in presentation form, labels joined with '.', a '.' or '\'
// inside a label escaped with '\' (RFC 6763 section 4.3). Compare them with
// sameDnsName, which ignores ASCII case as DNS does.
#include <array>
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Orix::Utility {

inline constexpr std::size_t kMaxDnsMessageBytes = 9000; // RFC 6762 section 17
inline constexpr std::size_t kMaxDnsRecords = 256;
inline constexpr std::size_t kMaxDnsPointerJumps = 32;
inline constexpr std::size_t kMaxDnsNameWireBytes = 255;
inline constexpr std::size_t kMaxTxtStrings = 64;

enum class DnsType : std::uint16_t { A = 1, PTR = 12, TXT = 16, AAAA = 28, SRV = 33, ANY = 255 };

enum class dns_error {
    messageTooLarge = 1,
    truncated,          // a field runs past the end of the message
    countTooLarge,      // the header counts more entries than the message can hold
    badLabel,           // reserved label type or an empty label inside a name
    nameTooLong,
    badPointer,         // a compression pointer past the end or not backwards
    tooManyPointers,
    badRecordData,      // record data inconsistent with its type or length
};

const boost::system::error_category& dnsCategory();
boost::system::error_code make_error_code(dns_error e);

struct DnsQuestion {
    std::string name;
    std::uint16_t type = 0;
    std::uint16_t klass = 1;
    bool unicastResponse = false; // the QU bit (RFC 6762 section 5.4)
};

struct DnsRecord {
    std::string name;
    std::uint16_t type = 0;
    std::uint16_t klass = 1;
    bool cacheFlush = false;     // top bit of the class (RFC 6762 section 10.2)
    std::uint32_t ttl = 0;
    // PTR: the instance name; SRV: the target host.
    std::string target;
    std::uint16_t priority = 0, weight = 0, port = 0; // SRV
    std::vector<std::string> texts;                    // TXT character strings
    std::vector<std::uint8_t> address;                 // A: 4 bytes, AAAA: 16
};

struct DnsMessage {
    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::vector<DnsQuestion> questions;
    std::vector<DnsRecord> answers;
    std::vector<DnsRecord> authorities;
    std::vector<DnsRecord> additionals;

    bool isResponse() const { return (flags & 0x8000) != 0; }
};

// Parses one datagram into message (left empty on error).
boost::system::error_code parseDnsMessage(const std::uint8_t* data, std::size_t size,
                                          DnsMessage& message);

// A standard query (id 0, no flags, no compression) for the questions given.
std::vector<std::uint8_t> buildDnsQuery(const std::vector<DnsQuestion>& questions);

// A name in presentation form to wire labels; empty when a label is empty
// or longer than 63 bytes or the name longer than 255 bytes in wire form.
std::vector<std::string> splitDnsName(const std::string& name);

bool sameDnsName(const std::string& a, const std::string& b);

// TXT strings "key=value" into a map (RFC 6763 section 6.3/6.4): keys are
// compared without case and stored lower case, the first occurrence wins,
// a string without '=' is a key with an empty value, an empty key is skipped.
std::map<std::string, std::string> txtRecordMap(const std::vector<std::string>& texts);

// The address of an A or AAAA record as text ("192.168.0.90", "fe80::1");
// empty for any other size.
std::string dnsAddressText(const std::vector<std::uint8_t>& address);

} // namespace Orix::Utility

namespace boost::system {
template <>
struct is_error_code_enum<Orix::Utility::dns_error> : std::true_type {};
} // namespace boost::system

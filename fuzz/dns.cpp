// One multicast DNS datagram as a service browser receives it from anyone on
// the local network.
//
// Checks: a parsed message stays within the bounds (records, names, TXT
// strings), A and AAAA records carry addresses of their size that print, and
// every question name the parser gives back is one the query builder
// writes again and the parser reads back unchanged.
#include "FuzzSupport.h"

#include <netkit/discovery/DnsMessage.h>

using namespace Orix::Utility;

namespace {

void checkRecord(const DnsRecord& r)
{
    FUZZ_CHECK(r.name.size() <= 2 * kMaxDnsNameWireBytes);
    FUZZ_CHECK(r.target.size() <= 2 * kMaxDnsNameWireBytes);
    FUZZ_CHECK(r.texts.size() <= kMaxTxtStrings);
    if (r.type == std::uint16_t(DnsType::A))
        FUZZ_CHECK(r.address.size() == 4 && !dnsAddressText(r.address).empty());
    if (r.type == std::uint16_t(DnsType::AAAA))
        FUZZ_CHECK(r.address.size() == 16 && !dnsAddressText(r.address).empty());
    for (const auto& [key, value] : txtRecordMap(r.texts))
        FUZZ_CHECK(!key.empty() && key.find('=') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DnsMessage message;
    if (parseDnsMessage(data, size, message)) {
        FUZZ_CHECK(message.questions.empty() && message.answers.empty() && message.additionals.empty());
        return 0;
    }
    FUZZ_CHECK(size <= kMaxDnsMessageBytes);
    FUZZ_CHECK(message.questions.size() + message.answers.size() + message.authorities.size() +
                   message.additionals.size() <= kMaxDnsRecords);
    for (const auto* section : {&message.answers, &message.authorities, &message.additionals})
        for (const auto& r : *section)
            checkRecord(r);
    for (const auto& q : message.questions) {
        if (splitDnsName(q.name).empty())
            continue; // the root name or an empty label: nothing a browser asks
        const auto query = buildDnsQuery({q});
        DnsMessage again;
        FUZZ_CHECK(!parseDnsMessage(query.data(), query.size(), again));
        FUZZ_CHECK(again.questions.size() == 1);
        FUZZ_CHECK(sameDnsName(again.questions[0].name, q.name));
        FUZZ_CHECK(again.questions[0].type == q.type);
    }
    return 0;
}

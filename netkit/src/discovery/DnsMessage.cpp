#include <netkit/discovery/DnsMessage.h>

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/address_v6.hpp>

#include <algorithm>
#include <cctype>

namespace Orix::Utility {

namespace {

class DnsCategory : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.dns"; }
    std::string message(int value) const override
    {
        switch (static_cast<dns_error>(value)) {
        case dns_error::messageTooLarge: return "DNS message larger than the bound";
        case dns_error::truncated: return "DNS message truncated";
        case dns_error::countTooLarge: return "DNS counts exceed the message";
        case dns_error::badLabel: return "bad DNS label";
        case dns_error::nameTooLong: return "DNS name too long";
        case dns_error::badPointer: return "bad DNS compression pointer";
        case dns_error::tooManyPointers: return "too many DNS compression pointers";
        case dns_error::badRecordData: return "DNS record data inconsistent with its type";
        }
        return "unknown DNS error " + std::to_string(value);
    }
};

// Reads a message front to back; every read is checked against the end.
class DnsReader {
public:
    DnsReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t offset() const { return offset_; }
    std::size_t remaining() const { return size_ - offset_; }

    bool u16(std::uint16_t& value)
    {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint16_t>((data_[offset_] << 8) | data_[offset_ + 1]);
        offset_ += 2;
        return true;
    }
    bool u32(std::uint32_t& value)
    {
        std::uint16_t high = 0, low = 0;
        if (!u16(high) || !u16(low))
            return false;
        value = (std::uint32_t(high) << 16) | low;
        return true;
    }
    bool skip(std::size_t n)
    {
        if (remaining() < n)
            return false;
        offset_ += n;
        return true;
    }

    // A possibly compressed name starting at the current offset; the offset
    // moves past the name's bytes in place (not past what pointers reach).
    dns_error name(std::string& out) { return nameAt(offset_, out, true); }
    // The same for a name inside record data that must end by limit.
    dns_error nameWithin(std::size_t limit, std::string& out)
    {
        const auto saved = size_;
        size_ = limit;
        const dns_error e = name(out);
        size_ = saved;
        return e;
    }
    const std::uint8_t* at(std::size_t pos) const { return data_ + pos; }
    std::size_t fullSize() const { return size_; }

private:
    dns_error nameAt(std::size_t& cursor, std::string& out, bool advance)
    {
        out.clear();
        std::size_t pos = cursor;
        std::size_t wireBytes = 1; // the final zero octet
        std::size_t jumps = 0;
        std::size_t lowest = pos;  // a pointer must point strictly before this
        bool jumped = false;
        for (;;) {
            if (pos >= size_)
                return dns_error::truncated;
            const std::uint8_t length = data_[pos];
            if ((length & 0xC0) == 0xC0) {
                if (pos + 1 >= size_)
                    return dns_error::truncated;
                const std::size_t target = (std::size_t(length & 0x3F) << 8) | data_[pos + 1];
                if (target >= lowest)
                    return dns_error::badPointer;
                if (++jumps > kMaxDnsPointerJumps)
                    return dns_error::tooManyPointers;
                if (!jumped && advance)
                    cursor = pos + 2;
                jumped = true;
                lowest = target;
                pos = target;
                continue;
            }
            if ((length & 0xC0) != 0)
                return dns_error::badLabel;
            if (length == 0) {
                if (!jumped && advance)
                    cursor = pos + 1;
                return {};
            }
            if (pos + 1 + length > size_)
                return dns_error::truncated;
            wireBytes += 1 + length;
            if (wireBytes > kMaxDnsNameWireBytes)
                return dns_error::nameTooLong;
            if (!out.empty())
                out += '.';
            for (std::size_t i = 0; i < length; ++i) {
                const char c = static_cast<char>(data_[pos + 1 + i]);
                if (c == '.' || c == '\\')
                    out += '\\';
                out += c;
            }
            pos += 1 + length;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

dns_error readRecordData(DnsReader& reader, std::size_t length, DnsRecord& record)
{
    const std::size_t start = reader.offset();
    const std::size_t end = start + length;
    switch (static_cast<DnsType>(record.type)) {
    case DnsType::A:
    case DnsType::AAAA: {
        const std::size_t expected = record.type == std::uint16_t(DnsType::A) ? 4 : 16;
        if (length != expected)
            return dns_error::badRecordData;
        record.address.assign(reader.at(start), reader.at(start) + length);
        break;
    }
    case DnsType::PTR: {
        const dns_error e = reader.nameWithin(end, record.target);
        if (e != dns_error{})
            return e == dns_error::truncated ? dns_error::badRecordData : e;
        break;
    }
    case DnsType::SRV: {
        if (!reader.u16(record.priority) || !reader.u16(record.weight) || !reader.u16(record.port) ||
            reader.offset() > end)
            return dns_error::badRecordData;
        const dns_error e = reader.nameWithin(end, record.target);
        if (e != dns_error{})
            return e == dns_error::truncated ? dns_error::badRecordData : e;
        break;
    }
    case DnsType::TXT: {
        std::size_t pos = start;
        while (pos < end) {
            const std::size_t n = *reader.at(pos);
            if (pos + 1 + n > end)
                return dns_error::badRecordData;
            if (record.texts.size() == kMaxTxtStrings)
                return dns_error::badRecordData;
            record.texts.emplace_back(reinterpret_cast<const char*>(reader.at(pos + 1)), n);
            pos += 1 + n;
        }
        break;
    }
    case DnsType::ANY:
        break;
    }
    // Whatever the type, the next record starts after the declared length.
    const std::size_t used = reader.offset() - start;
    reader.skip(length - std::min(used, length));
    return {};
}

dns_error readRecord(DnsReader& reader, DnsRecord& record)
{
    if (const dns_error e = reader.name(record.name); e != dns_error{})
        return e;
    std::uint16_t klass = 0, length = 0;
    if (!reader.u16(record.type) || !reader.u16(klass) || !reader.u32(record.ttl) || !reader.u16(length))
        return dns_error::truncated;
    record.cacheFlush = (klass & 0x8000) != 0;
    record.klass = klass & 0x7FFF;
    if (reader.remaining() < length)
        return dns_error::truncated;
    return readRecordData(reader, length, record);
}

} // namespace

const boost::system::error_category& dnsCategory()
{
    static const DnsCategory category;
    return category;
}

boost::system::error_code make_error_code(dns_error e)
{
    return {static_cast<int>(e), dnsCategory()};
}

boost::system::error_code parseDnsMessage(const std::uint8_t* data, std::size_t size,
                                          DnsMessage& message)
{
    message = DnsMessage{};
    if (size > kMaxDnsMessageBytes)
        return dns_error::messageTooLarge;
    DnsReader reader(data, size);
    std::uint16_t counts[4] = {};
    if (!reader.u16(message.id) || !reader.u16(message.flags) || !reader.u16(counts[0]) ||
        !reader.u16(counts[1]) || !reader.u16(counts[2]) || !reader.u16(counts[3]))
        return dns_error::truncated;
    const std::size_t records = std::size_t(counts[1]) + counts[2] + counts[3];
    if (counts[0] + records > kMaxDnsRecords ||
        std::size_t(counts[0]) * 5 + records * 11 > reader.remaining())
        return dns_error::countTooLarge;

    DnsMessage parsed;
    parsed.id = message.id;
    parsed.flags = message.flags;
    for (unsigned i = 0; i < counts[0]; ++i) {
        DnsQuestion q;
        if (const dns_error e = reader.name(q.name); e != dns_error{})
            return e;
        std::uint16_t klass = 0;
        if (!reader.u16(q.type) || !reader.u16(klass))
            return dns_error::truncated;
        q.unicastResponse = (klass & 0x8000) != 0;
        q.klass = klass & 0x7FFF;
        parsed.questions.push_back(std::move(q));
    }
    std::vector<DnsRecord>* sections[3] = {&parsed.answers, &parsed.authorities, &parsed.additionals};
    for (int s = 0; s < 3; ++s) {
        for (unsigned i = 0; i < counts[s + 1]; ++i) {
            DnsRecord record;
            if (const dns_error e = readRecord(reader, record); e != dns_error{})
                return e;
            sections[s]->push_back(std::move(record));
        }
    }
    message = std::move(parsed);
    return {};
}

std::vector<std::string> splitDnsName(const std::string& name)
{
    std::vector<std::string> labels(1);
    std::size_t wire = 1;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '\\' && i + 1 < name.size()) {
            labels.back() += name[++i];
        } else if (c == '.') {
            if (labels.back().empty())
                return {};
            labels.emplace_back();
        } else {
            labels.back() += c;
        }
    }
    if (labels.back().empty())
        labels.pop_back(); // a trailing dot names the root
    for (const auto& label : labels) {
        if (label.empty() || label.size() > 63)
            return {};
        wire += 1 + label.size();
    }
    if (labels.empty() || wire > kMaxDnsNameWireBytes)
        return {};
    return labels;
}

std::vector<std::uint8_t> buildDnsQuery(const std::vector<DnsQuestion>& questions)
{
    std::vector<std::uint8_t> out(12, 0);
    std::uint16_t count = 0;
    for (const auto& q : questions) {
        const auto labels = splitDnsName(q.name);
        if (labels.empty())
            continue;
        for (const auto& label : labels) {
            out.push_back(static_cast<std::uint8_t>(label.size()));
            out.insert(out.end(), label.begin(), label.end());
        }
        out.push_back(0);
        const std::uint16_t klass = static_cast<std::uint16_t>(q.klass | (q.unicastResponse ? 0x8000 : 0));
        out.push_back(static_cast<std::uint8_t>(q.type >> 8));
        out.push_back(static_cast<std::uint8_t>(q.type));
        out.push_back(static_cast<std::uint8_t>(klass >> 8));
        out.push_back(static_cast<std::uint8_t>(klass));
        ++count;
    }
    out[4] = static_cast<std::uint8_t>(count >> 8);
    out[5] = static_cast<std::uint8_t>(count);
    return out;
}

bool sameDnsName(const std::string& a, const std::string& b)
{
    auto trim = [](const std::string& s) {
        return !s.empty() && s.back() == '.' && (s.size() < 2 || s[s.size() - 2] != '\\')
                   ? s.substr(0, s.size() - 1)
                   : s;
    };
    const std::string x = trim(a), y = trim(b);
    return x.size() == y.size() &&
           std::equal(x.begin(), x.end(), y.begin(), [](char l, char r) {
               return std::tolower(static_cast<unsigned char>(l)) ==
                      std::tolower(static_cast<unsigned char>(r));
           });
}

std::map<std::string, std::string> txtRecordMap(const std::vector<std::string>& texts)
{
    std::map<std::string, std::string> map;
    for (const auto& text : texts) {
        const auto eq = text.find('=');
        std::string key = text.substr(0, eq);
        if (key.empty())
            continue;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        map.emplace(std::move(key), eq == std::string::npos ? std::string() : text.substr(eq + 1));
    }
    return map;
}

std::string dnsAddressText(const std::vector<std::uint8_t>& address)
{
    if (address.size() == 4) {
        boost::asio::ip::address_v4::bytes_type bytes;
        std::copy(address.begin(), address.end(), bytes.begin());
        return boost::asio::ip::address_v4(bytes).to_string();
    }
    if (address.size() == 16) {
        boost::asio::ip::address_v6::bytes_type bytes;
        std::copy(address.begin(), address.end(), bytes.begin());
        return boost::asio::ip::address_v6(bytes).to_string();
    }
    return {};
}

} // namespace Orix::Utility

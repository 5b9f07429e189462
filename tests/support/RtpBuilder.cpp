#include "support/RtpBuilder.h"

#include <netkit/rtp/RtpPacket.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace TestSupport {

Bytes rtp(std::uint16_t sequence, std::uint32_t timestamp, bool marker, const Bytes& payload,
          std::uint8_t payloadType)
{
    Bytes out(12 + payload.size());
    out[0] = 0x80;
    out[1] = std::uint8_t((marker ? 0x80 : 0) | payloadType);
    out[2] = std::uint8_t(sequence >> 8);
    out[3] = std::uint8_t(sequence);
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = std::uint8_t(timestamp >> (24 - 8 * i));
        out[8 + i] = std::uint8_t(kTestSsrc >> (24 - 8 * i));
    }
    std::copy(payload.begin(), payload.end(), out.begin() + 12);
    return out;
}

Bytes rtp(std::uint16_t sequence, std::uint32_t timestamp, bool marker, const std::string& payload,
          std::uint8_t payloadType)
{
    return rtp(sequence, timestamp, marker, toBytes(payload), payloadType);
}

Bytes toBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string toString(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string hex(const Bytes& b, std::size_t max)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < b.size() && i < max; ++i) {
        if (i)
            out += ' ';
        out += digits[b[i] >> 4];
        out += digits[b[i] & 15];
    }
    if (b.size() > max)
        out += " ... (" + std::to_string(b.size()) + " bytes)";
    return out;
}

Bytes fromHex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(std::uint8_t(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd hex digit count: " + text);
    return out;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string dataPath(const std::string& relative)
{
    return std::string(VAPIXCAM_TEST_DATA) + "/" + relative;
}

std::vector<Bytes> readCapture(const std::string& path)
{
    const std::string content = readFile(path);
    std::vector<Bytes> packets;
    std::size_t pos = 0;
    while (pos + 2 <= content.size()) {
        const std::size_t length =
            std::size_t(std::uint8_t(content[pos])) << 8 | std::uint8_t(content[pos + 1]);
        pos += 2;
        if (pos + length > content.size())
            throw std::runtime_error("truncated capture " + path);
        packets.emplace_back(content.begin() + std::ptrdiff_t(pos),
                             content.begin() + std::ptrdiff_t(pos + length));
        pos += length;
    }
    return packets;
}

Replay replay(Orix::Utility::Depacketizer& depacketizer, const std::vector<Bytes>& packets)
{
    using namespace Orix::Utility;
    Replay result;
    SequenceTracker tracker;
    for (const auto& bytes : packets) {
        RtpPacket packet;
        if (const auto ec = RtpPacket::parse(ByteSpan(bytes.data(), bytes.size()), packet)) {
            result.errors.push_back(ec);
            continue;
        }
        const auto seen = tracker.observe(packet.sequence);
        if (seen.verdict != SequenceTracker::Verdict::deliver)
            continue;
        depacketizer.lost(seen.lostBefore);
        if (const auto ec = depacketizer.push(packet))
            result.errors.push_back(ec);
    }
    while (auto frame = depacketizer.pull())
        result.frames.push_back(std::move(*frame));
    return result;
}

std::vector<Bytes> splitAnnexB(const Bytes& s)
{
    std::vector<Bytes> nals;
    std::size_t i = 0, start = std::string::npos;
    while (i + 3 <= s.size()) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            if (start != std::string::npos) {
                std::size_t end = i;
                while (end > start && s[end - 1] == 0)
                    --end; // a 4-byte start code's zero_byte, or trailing_zero_8bits
                nals.emplace_back(s.begin() + std::ptrdiff_t(start), s.begin() + std::ptrdiff_t(end));
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != std::string::npos) {
        std::size_t end = s.size();
        while (end > start && s[end - 1] == 0)
            --end; // trailing_zero_8bits (H.264 / H.265 Annex B)
        nals.emplace_back(s.begin() + std::ptrdiff_t(start), s.begin() + std::ptrdiff_t(end));
    }
    return nals;
}

} // namespace TestSupport

// What an RTSP server sends on its TCP connection: messages interleaved with
// '$' frames, split across reads anywhere.
//
// Input: one byte that chooses how the rest is cut into reads and whether the
// first message is a tunnel's header-only answer, then the stream itself.
//
// Checks: the reader reports the same messages, frames and final error
// whether the stream arrives in one read or in many; messages and frames stay
// within the reader's limits; a server request survives
// RtspRequest::serialize and a second read unchanged; the header helpers
// (CSeq, Session, Public, Transport, Content-Base) accept whatever a message
// holds.
#include "FuzzSupport.h"

#include <netkit/rtsp/RtspStreamReader.h>
#include <netkit/rtsp/RtspTransportHeader.h>
#include <netkit/rtsp/RtspUrl.h>

#include <string>
#include <vector>

using namespace Orix::Utility::rtsp;

namespace {

constexpr std::size_t kMaxHeaderBytes = 2048; // small, so the fuzzer reaches the limit
constexpr std::size_t kMaxBodyBytes = 4096;

struct Event {
    bool frame = false;
    std::uint8_t channel = 0;
    std::string bytes; // frame payload, or the message written out
    bool operator==(const Event& other) const
    {
        return frame == other.frame && channel == other.channel && bytes == other.bytes;
    }
};

std::string describe(const RtspMessage& m)
{
    std::string out = m.isRequest ? m.method + " " + m.uri + " " + m.protocol
                                  : m.protocol + " " + std::to_string(m.status) + " " + m.reason;
    out += '\n';
    for (const auto& h : m.headers)
        out += h.name + ": " + h.value + "\n";
    out += "\n" + m.body;
    return out;
}

void exerciseHeaders(const RtspMessage& m)
{
    (void)m.cseq();
    if (const std::string* session = m.find("Session")) {
        SessionHeader parsed;
        if (parseSessionHeader(*session, parsed)) {
            FUZZ_CHECK(!parsed.id.empty());
            FUZZ_CHECK(parsed.timeout.count() > 0);
        }
    }
    if (const std::string* methods = m.find("Public")) {
        for (const auto& method : parsePublicHeader(*methods))
            FUZZ_CHECK(!method.empty() && method.size() <= methods->size());
    }
    for (const auto& transport : m.findAll("Transport")) {
        TransportSpec spec;
        (void)parseTransportHeader(transport, spec);
    }
    (void)describeBaseUrl(m, "rtsp://192.168.0.90/axis-media/media.amp");
}

// A request the server sent, written out again by the client's serialiser,
// must read back as the same request.
void checkRequestRoundTrip(const RtspMessage& m)
{
    RtspRequest request;
    request.method = m.method;
    request.uri = m.uri;
    request.cseq = m.cseq().value_or(0);
    for (const auto& h : m.headers) {
        if (!iequals(h.name, "CSeq") && !iequals(h.name, "Content-Length"))
            request.headers.push_back(h);
    }
    request.body = m.body;
    const std::string text = request.serialize();

    struct Collector : RtspStreamReader::Visitor {
        std::vector<RtspMessage> messages;
        bool onMessage(RtspMessage&& message) override
        {
            messages.push_back(std::move(message));
            return true;
        }
        bool onInterleaved(std::uint8_t, const std::uint8_t*, std::size_t) override { return true; }
    } collector;
    RtspStreamReader reader;
    const auto ec = reader.feed(text.data(), text.size(), collector);
    FUZZ_CHECK(!ec);
    FUZZ_CHECK(collector.messages.size() == 1);
    const RtspMessage& again = collector.messages.front();
    FUZZ_CHECK(again.isRequest);
    FUZZ_CHECK(again.method == m.method);
    FUZZ_CHECK(again.uri == m.uri);
    FUZZ_CHECK(again.body == m.body);
    FUZZ_CHECK(again.cseq() == request.cseq);
    std::vector<HeaderField> kept;
    for (const auto& h : again.headers) {
        if (!iequals(h.name, "CSeq") && !iequals(h.name, "Content-Length"))
            kept.push_back(h);
    }
    FUZZ_CHECK(kept.size() == request.headers.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        FUZZ_CHECK(kept[i].name == request.headers[i].name);
        FUZZ_CHECK(kept[i].value == request.headers[i].value);
    }
}

struct Recorder : RtspStreamReader::Visitor {
    std::vector<Event> events;
    std::vector<RtspMessage> messages;

    bool onMessage(RtspMessage&& message) override
    {
        std::size_t headerBytes = 0;
        for (const auto& h : message.headers)
            headerBytes += h.name.size() + h.value.size();
        FUZZ_CHECK(headerBytes <= kMaxHeaderBytes);
        FUZZ_CHECK(message.body.size() <= kMaxBodyBytes);
        FUZZ_CHECK(message.isRequest ? !message.method.empty() : message.status >= 100 && message.status <= 999);
        events.push_back({false, 0, describe(message)});
        messages.push_back(std::move(message));
        return true;
    }
    bool onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override
    {
        FUZZ_CHECK(size <= 65535);
        FUZZ_CHECK(size == 0 || data != nullptr);
        events.push_back({true, channel, std::string(reinterpret_cast<const char*>(data), size)});
        return true;
    }
};

RtspStreamReader makeReader(bool headerOnly)
{
    RtspStreamReader::Limits limits;
    limits.maxHeaderBytes = kMaxHeaderBytes;
    limits.maxBodyBytes = kMaxBodyBytes;
    RtspStreamReader reader(limits);
    if (headerOnly)
        reader.expectHeaderOnlyMessage();
    return reader;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::uint8_t mode = input.byte();
    const bool headerOnly = (mode & 0x80) != 0;
    const std::string_view stream = input.rest();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());

    Recorder whole;
    auto reader = makeReader(headerOnly);
    const auto wholeError = reader.feed(bytes, stream.size(), whole);
    FUZZ_CHECK(static_cast<bool>(wholeError) == reader.failed());

    // The same bytes in reads of 1..16 bytes, the sizes following the mode byte.
    Recorder pieces;
    auto split = makeReader(headerOnly);
    boost::system::error_code splitError;
    std::uint32_t state = mode | 1u;
    for (std::size_t at = 0; at < stream.size();) {
        state = state * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(1 + (state >> 16) % 16, stream.size() - at);
        splitError = split.feed(bytes + at, n, pieces);
        at += n;
    }
    FUZZ_CHECK(splitError == wholeError);
    FUZZ_CHECK(pieces.events == whole.events);
    FUZZ_CHECK(split.idle() == reader.idle());

    for (std::size_t i = 0; i < whole.messages.size(); ++i) {
        const RtspMessage& m = whole.messages[i];
        exerciseHeaders(m);
        if (m.isRequest && !(headerOnly && i == 0))
            checkRequestRoundTrip(m);
    }
    return 0;
}

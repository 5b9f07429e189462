// Session descriptions as cameras answer DESCRIBE, and what is read out of
// them: rtpmap, fmtp (parameter sets, AAC and MPEG-4 configuration), ranges,
// and the depacketizer each track gets.
//
// Checks: the parser's limits hold; every typed reading of every track
// accepts whatever the description holds; a range written by formatRange
// parses back to the same range (npt to the millisecond it is written with);
// base64 and hex values that decode are encoded back to the same bytes.
#include "FuzzSupport.h"

#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/sdp/SdpError.h>
#include <netkit/sdp/SdpFmtp.h>
#include <netkit/sdp/SdpRange.h>
#include <netkit/sdp/SdpSession.h>
#include <netkit/util/Base64.h>

#include <cmath>

using namespace Orix::Utility;

namespace {

bool close(const std::optional<double>& a, const std::optional<double>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || std::fabs(*a - *b) <= 0.0005 + std::fabs(*a) * 1e-9;
}

void checkRange(const SdpRange& range)
{
    const std::string text = formatRange(range);
    SdpRange again;
    FUZZ_CHECK(!parseRange(text, again));
    FUZZ_CHECK(again.kind == range.kind);
    if (range.kind == SdpRange::Kind::clock) {
        FUZZ_CHECK(again.startUtcMicros == range.startUtcMicros);
        FUZZ_CHECK(again.endUtcMicros == range.endUtcMicros);
    } else {
        FUZZ_CHECK(again.startIsNow == range.startIsNow);
        FUZZ_CHECK(close(again.startSeconds, range.startSeconds));
        FUZZ_CHECK(close(again.endSeconds, range.endSeconds));
    }
}

std::string hex(const ByteString& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (auto b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

void checkValue(const std::string& value)
{
    if (const auto bytes = decodeBase64(value)) {
        const std::string encoded = base64Encode(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        FUZZ_CHECK(decodeBase64(encoded) == bytes);
    }
    if (const auto bytes = decodeHex(value)) {
        FUZZ_CHECK(bytes->size() * 2 == value.size());
        FUZZ_CHECK(decodeHex(hex(*bytes)) == bytes);
    }
}

void checkMedia(const SdpMedia& media)
{
    FUZZ_CHECK(!media.formats.empty());
    if (media.range)
        checkRange(*media.range);
    const auto pt = media.payloadType();
    if (pt) {
        FUZZ_CHECK(*pt <= 127);
        if (const auto map = media.rtpmap(*pt)) {
            FUZZ_CHECK(map->payloadType == *pt);
            FUZZ_CHECK(map->clockRate > 0);
        }
    }
    for (const auto& [type, fmtp] : media.fmtps) {
        FUZZ_CHECK(type <= 127);
        for (const auto& [name, value] : fmtp.parameters)
            checkValue(value);
    }
    H264Format h264;
    (void)readH264Format(media, h264);
    if (h264.profileLevelId)
        FUZZ_CHECK(*h264.profileLevelId <= 0xffffff);
    H265Format h265;
    (void)readH265Format(media, h265);
    AacFormat aac;
    (void)readAacFormat(media, aac);
    Mpeg4Format mpeg4;
    (void)readMpeg4Format(media, mpeg4);

    boost::system::error_code error;
    const auto depacketizer = createDepacketizer(media, &error);
    FUZZ_CHECK(static_cast<bool>(depacketizer) != static_cast<bool>(error));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    SdpSession session;
    const auto error = parseSdp(text, session);
    if (text.size() > kMaxSdpBytes)
        FUZZ_CHECK(error == SdpError::tooLarge);
    FUZZ_CHECK(session.media.size() <= kMaxSdpMedia);
    if (!error) {
        if (session.range)
            checkRange(*session.range);
        for (const auto& media : session.media)
            checkMedia(media);
        return 0;
    }
    // Not a description: the text as an RTSP Range value or a clock time.
    SdpRange range;
    if (!parseRange(text, range))
        checkRange(range);
    if (const auto micros = parseUtcClock(text))
        FUZZ_CHECK(parseUtcClock(formatUtcClock(*micros)) == micros);
    return 0;
}

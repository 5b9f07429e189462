// The receive path of one track: the SDP media block chooses and configures
// the depacketizer (H.264, H.265, JPEG, MPEG-4, G.711, G.726, AAC, metadata),
// then RTP and RTCP packets go through the stream filter as the RTSP client
// hands them over.
//
// Input: records (2-byte big-endian length, bytes), the format of the
// captures in tests/data/rtp. The first record is the session description
// (length's top bit set: the track is read with the UDP reordering window);
// each further record is an RTP packet, or an RTCP packet when its length's
// top bit is set.
//
// Checks: every frame is of the track's codec, not empty, within the
// depacketizer's frame limit, and shaped as its codec promises (Annex B
// start code, JPEG SOI..EOI); the counts add up.
#include "FuzzSupport.h"

#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/rtp/StreamFilter.h>
#include <netkit/sdp/SdpSession.h>

using namespace Orix::Utility;

namespace {

void checkFrame(const Frame& frame, Codec codec, const DepacketizerLimits& limits)
{
    FUZZ_CHECK(frame.codec == codec);
    FUZZ_CHECK(!frame.data.empty());
    FUZZ_CHECK(frame.data.size() <= limits.maxFrameBytes);
    const auto& d = frame.data;
    switch (codec) {
    case Codec::h264:
    case Codec::h265:
        FUZZ_CHECK(d.size() > 4 && d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 1);
        break;
    case Codec::jpeg:
        FUZZ_CHECK(d.size() >= 4 && d[0] == 0xff && d[1] == 0xd8 && d[d.size() - 2] == 0xff &&
                   d[d.size() - 1] == 0xd9);
        FUZZ_CHECK(frame.keyFrame);
        break;
    case Codec::pcmu:
    case Codec::pcma:
    case Codec::g726:
    case Codec::aac:
    case Codec::metadata:
        FUZZ_CHECK(frame.keyFrame);
        break;
    case Codec::mpeg4:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    bool reorder = false;
    const std::string_view description = input.record(&reorder);
    SdpSession session;
    if (parseSdp(std::string(description), session) || session.media.empty())
        return 0;
    auto depacketizer = createDepacketizer(session.media.front());
    if (!depacketizer)
        return 0;
    const Codec codec = depacketizer->parameters().codec;
    const DepacketizerLimits limits = depacketizer->limits();

    std::uint64_t frames = 0;
    RtpStreamFilter filter(std::move(depacketizer), reorder,
                           Fuzz::sinkLogger().getLogger(), [&](const Frame& frame) {
                               checkFrame(frame, codec, limits);
                               ++frames;
                           });
    std::uint64_t rtpPackets = 0;
    while (!input.empty()) {
        bool rtcp = false;
        const std::string_view packet = input.record(&rtcp);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(packet.data());
        if (rtcp) {
            filter.onRtcpPacket(bytes, packet.size());
        } else {
            filter.onRtpPacket(bytes, packet.size());
            ++rtpPackets;
        }
    }
    const auto stats = filter.statistics();
    FUZZ_CHECK(frames <= stats.frames.framesOut); // a packet may complete more than the queue holds
    FUZZ_CHECK(stats.frames.packets <= rtpPackets);
    // A malformed packet with a readable header still takes its sequence
    // number, and the sequence figures restart with a new SSRC: only bounds hold.
    FUZZ_CHECK(stats.malformedPackets + stats.foreignPackets <= rtpPackets);
    FUZZ_CHECK(stats.sequence.received <= rtpPackets);
    return 0;
}

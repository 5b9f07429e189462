#include <netkit/rtp/StreamFilter.h>

#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/util/GlobalService.h>

#include <iomanip>

namespace Orix::Utility {
namespace {

// The sequence number of a packet that failed to parse but whose fixed
// header is readable (a bad padding count or extension length): it still
// took its place in the sequence.
std::optional<std::uint16_t> readableSequence(ByteSpan bytes, std::uint8_t payloadType, std::uint32_t ssrc)
{
    ByteReader reader(bytes);
    std::uint8_t first = 0, second = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0, packetSsrc = 0;
    if (!reader.u8(first) || !reader.u8(second) || !reader.u16(sequence) || !reader.u32(timestamp) ||
        !reader.u32(packetSsrc) || first >> 6 != 2 || (second & 0x7f) != payloadType || packetSsrc != ssrc)
        return std::nullopt;
    return sequence;
}

} // namespace

RtpStreamFilter::RtpStreamFilter(std::unique_ptr<Depacketizer> depacketizer, bool reorder,
                                 LoggerPtr logger, FrameSink sink)
    : depacketizer_(std::move(depacketizer)),
      tracker_(reorder ? kReorderWindow : 0),
      reorder_(reorder),
      logger_(std::move(logger)),
      sink_(std::move(sink)),
      clock_(depacketizer_->parameters().clockRate)
{
}

void RtpStreamFilter::onRtpPacket(const std::uint8_t* data, std::size_t size)
{
    const ByteSpan bytes(data, size);
    RtpPacket packet;
    if (const auto ec = RtpPacket::parse(bytes, packet)) {
        ++malformed_;
        if (!loggedMalformed_) {
            loggedMalformed_ = true;
            ORIX_LOG(logger_, LogNotice, " Malformed RTP packet of " << size << " bytes dropped: " << ec.message());
        }
        // Its number is taken, so the packets around it are not a gap.
        if (const auto sequence = ssrc_ ? readableSequence(bytes, *payloadType_, *ssrc_) : std::nullopt) {
            if (reorder_) {
                tracker_.push(*sequence, OwnedRtpPacket());
                while (auto released = tracker_.pop())
                    process(released->packet.empty() ? nullptr : &released->packet.view, released->lostBefore);
            } else if (const auto o = tracker_.observe(*sequence); o.verdict == SequenceTracker::Verdict::deliver) {
                process(nullptr, o.lostBefore);
            }
        }
        return;
    }
    if (!acceptSource(packet, bytes))
        return;
    sequenced(packet, bytes);
}

bool RtpStreamFilter::acceptSource(const RtpPacket& packet, ByteSpan bytes)
{
    // The first payload type seen is the track's; RTCP multiplexed by
    // mistake or a second stream on the same port is left out.
    if (!payloadType_)
        payloadType_ = packet.payloadType;
    if (packet.payloadType != *payloadType_) {
        ++foreign_;
        return false;
    }
    if (!ssrc_)
        ssrc_ = packet.ssrc;
    if (packet.ssrc == *ssrc_) {
        candidate_.clear();
        return true;
    }
    ++foreign_;
    if (!candidate_.empty() && candidate_.front().view.ssrc != packet.ssrc)
        candidate_.clear();
    candidate_.emplace_back(packet, bytes);
    if (candidate_.size() >= kSsrcConfirmPackets)
        switchSource();
    return false;
}

void RtpStreamFilter::switchSource()
{
    std::vector<OwnedRtpPacket> held = std::move(candidate_);
    candidate_.clear();
    const std::uint32_t next = held.front().view.ssrc;
    ORIX_LOG(logger_, LogNotice,
             " RTP source changed from SSRC " << std::hex << std::setw(8) << std::setfill('0') << *ssrc_ << " to "
                                              << std::setw(8) << next << std::dec
                                              << " (the camera restarted its stream); following it");
    ++ssrcChanges_;
    foreign_ -= held.size();
    ssrc_ = next;
    tracker_ = SequenceTracker(reorder_ ? kReorderWindow : 0);
    clock_ = RtpWallClock(depacketizer_->parameters().clockRate);
    // Nothing of the old source's frame in progress may end up in a frame of the new one.
    depacketizer_->reset();
    for (const auto& packet : held)
        sequenced(packet.view, ByteSpan(packet.bytes.data(), packet.bytes.size()));
}

void RtpStreamFilter::sequenced(const RtpPacket& packet, ByteSpan bytes)
{
    if (!reorder_) {
        const auto o = tracker_.observe(packet.sequence);
        if (o.verdict == SequenceTracker::Verdict::deliver)
            process(&packet, o.lostBefore);
        return;
    }
    tracker_.push(packet.sequence, OwnedRtpPacket(packet, bytes));
    while (auto released = tracker_.pop())
        process(released->packet.empty() ? nullptr : &released->packet.view, released->lostBefore);
}

void RtpStreamFilter::process(const RtpPacket* packet, std::uint32_t lostBefore)
{
    if (lostBefore > 0)
        depacketizer_->lost(lostBefore);
    if (!packet)
        return; // a malformed packet's place in the sequence
    if (const auto error = depacketizer_->push(*packet))
        ORIX_LOG(logger_, LogDebug, " RTP packet " << packet->sequence << " dropped: " << error.message());
    drain();
}

void RtpStreamFilter::drain()
{
    while (auto frame = depacketizer_->pull()) {
        if (generator_) {
            frame->hostTimestamp = generator_(frame->rtpTimestamp);
            if (sink_)
                sink_(*frame);
            continue;
        }
        const auto micros = clock_.unixMicros(frame->rtpTimestamp);
        frame->hostTimestamp = micros && *micros > 0 ? static_cast<std::uint64_t>(*micros / 1000)
                                                     : timeStamp();
        if (sink_)
            sink_(*frame);
    }
}

void RtpStreamFilter::onRtcpPacket(const std::uint8_t* data, std::size_t size)
{
    SenderReport report;
    if (!parseSenderReport(ByteSpan(data, size), report) && (!ssrc_ || report.ssrc == *ssrc_))
        clock_.update(report);
}

RtpStreamFilter::Statistics RtpStreamFilter::statistics() const
{
    return {malformed_, foreign_, ssrcChanges_, tracker_.stats(), depacketizer_->stats()};
}

std::shared_ptr<RtpStreamFilter> initializeVideoFilter(const SdpMedia& track, bool reorder,
                                                       LoggerPtr logger,
                                                       RtpStreamFilter::FrameSink sink)
{
    auto depacketizer = createDepacketizer(track);
    if (!depacketizer) {
        LoggerOwner owner(logger);
        const auto pt = track.payloadType();
        const auto map = pt ? track.rtpmap(*pt) : std::nullopt;
        ORIX_LOG(owner, LogError,
                 " No depacketizer for track '" << (map ? map->encoding : std::string("?")) << "'");
        return nullptr;
    }
    return std::make_shared<RtpStreamFilter>(std::move(depacketizer), reorder, std::move(logger),
                                             std::move(sink));
}

} // namespace Orix::Utility

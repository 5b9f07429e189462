#include <netkit/rtp/StreamFilter.h>

#include <netkit/rtp/DepacketizerFactory.h>
#include <netkit/util/GlobalService.h>

namespace Orix::Utility {

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
    RtpPacket packet;
    if (RtpPacket::parse(ByteSpan(data, size), packet)) {
        ++malformed_;
        if (!loggedMalformed_) {
            loggedMalformed_ = true;
            ORIX_LOG(logger_, LogNotice, " Malformed RTP packet of " << size << " bytes dropped");
        }
        return;
    }
    // The first payload type seen is the track's; RTCP multiplexed by
    // mistake or a second stream on the same port is left out.
    if (!payloadType_)
        payloadType_ = packet.payloadType;
    if (packet.payloadType != *payloadType_) {
        ++foreign_;
        return;
    }
    if (!reorder_) {
        const auto observation = tracker_.observe(packet.sequence);
        if (observation.verdict != SequenceTracker::Verdict::deliver)
            return;
        process(data, size, observation.lostBefore);
        return;
    }
    tracker_.push(packet.sequence, std::vector<std::uint8_t>(data, data + size));
    while (auto released = tracker_.pop())
        process(released->packet.data(), released->packet.size(), released->lostBefore);
}

void RtpStreamFilter::process(const std::uint8_t* data, std::size_t size, std::uint32_t lostBefore)
{
    RtpPacket packet;
    if (RtpPacket::parse(ByteSpan(data, size), packet))
        return;
    if (lostBefore > 0)
        depacketizer_->lost(lostBefore);
    if (const auto error = depacketizer_->push(packet))
        ORIX_LOG(logger_, LogDebug,
                 " RTP packet " << packet.sequence << " dropped: " << error.message());
    drain();
}

void RtpStreamFilter::drain()
{
    while (auto frame = depacketizer_->pull()) {
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
    if (!parseSenderReport(ByteSpan(data, size), report))
        clock_.update(report);
}

RtpStreamFilter::Statistics RtpStreamFilter::statistics() const
{
    return {malformed_, foreign_, tracker_.stats(), depacketizer_->stats()};
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

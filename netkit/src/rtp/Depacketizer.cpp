#include <netkit/rtp/Depacketizer.h>

namespace Orix::Utility {

boost::system::error_code Depacketizer::push(const RtpPacket& packet)
{
    ++stats_.packets;
    const auto ec = doPush(packet);
    if (ec)
        ++stats_.errors;
    return ec;
}

void Depacketizer::lost(std::uint32_t count)
{
    if (count == 0)
        return;
    stats_.packetsLost += count;
    pendingDiscontinuity_ = true;
    doLost();
}

std::optional<Frame> Depacketizer::pull()
{
    if (ready_.empty())
        return std::nullopt;
    Frame frame = std::move(ready_.front());
    ready_.pop_front();
    return frame;
}

void Depacketizer::reset()
{
    ready_.clear();
    pendingDiscontinuity_ = false;
    doReset();
}

void Depacketizer::emit(Frame frame)
{
    frame.discontinuity = frame.discontinuity || pendingDiscontinuity_;
    pendingDiscontinuity_ = false;
    if (ready_.size() >= limits_.maxQueuedFrames) {
        ready_.pop_front();
        ++stats_.framesDropped;
    }
    ready_.push_back(std::move(frame));
    ++stats_.framesOut;
}

} // namespace Orix::Utility

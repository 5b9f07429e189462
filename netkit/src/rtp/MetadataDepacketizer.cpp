#include <netkit/rtp/MetadataDepacketizer.h>

namespace Orix::Utility {

DepacketizerLimits MetadataDepacketizer::defaultLimits()
{
    DepacketizerLimits limits;
    limits.maxFrameBytes = 1 << 20; // one XML document; real ones are a few KiB
    limits.maxFragments = 1024;
    return limits;
}

MetadataDepacketizer::MetadataDepacketizer(DepacketizerLimits limits)
    : Depacketizer(CodecParameters{Codec::metadata, 90000, 0, 0, 0, 0, {}}, limits)
{
}

boost::system::error_code MetadataDepacketizer::doPush(const RtpPacket& packet)
{
    if (state_ == State::collecting && packet.timestamp != timestamp_) {
        // A document whose last packet had no marker: Axis firmware always
        // sets it, so the end was lost without the sequence showing it.
        countDropped();
        data_.clear();
        state_ = State::idle;
    }
    boost::system::error_code ec;
    if (state_ == State::idle) {
        state_ = State::collecting;
        timestamp_ = packet.timestamp;
        fragments_ = 0;
        data_.clear();
    }
    if (state_ == State::collecting) {
        if (++fragments_ > limits_.maxFragments)
            ec = RtpError::tooManyFragments;
        else if (data_.size() + packet.payload.size > limits_.maxFrameBytes)
            ec = RtpError::frameTooLarge;
        if (ec) {
            countDropped();
            data_.clear();
            data_.shrink_to_fit();
            state_ = State::discarding;
        } else {
            data_.insert(data_.end(), packet.payload.begin(), packet.payload.end());
        }
    }
    if (packet.marker) {
        if (state_ == State::collecting && !data_.empty()) {
            Frame frame;
            frame.codec = Codec::metadata;
            frame.keyFrame = true;
            frame.rtpTimestamp = timestamp_;
            frame.data.swap(data_);
            emit(std::move(frame));
        }
        state_ = State::idle;
    }
    return ec;
}

void MetadataDepacketizer::doLost()
{
    if (state_ == State::collecting) {
        countDropped();
        data_.clear();
    }
    // The packets up to the next marker finish a document whose start is gone.
    state_ = State::discarding;
}

void MetadataDepacketizer::doReset()
{
    data_.clear();
    fragments_ = 0;
    state_ = State::idle;
}

} // namespace Orix::Utility

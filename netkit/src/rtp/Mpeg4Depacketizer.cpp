#include <netkit/rtp/Mpeg4Depacketizer.h>

namespace Orix::Utility {

namespace {

// The vop_coding_type of the first VOP (start code 00 00 01 B6) in the frame:
// 0 for an I-VOP (ISO/IEC 14496-2 section 6.2.5); -1 when no VOP header is seen.
int vopCodingType(const std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; i + 4 < data.size(); ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xb6)
            return data[i + 4] >> 6;
    }
    return -1;
}

// True when the frame starts with its own configuration: a visual object
// sequence (B0), visual object (B5), video object (00..1F) or VOL (20..2F) start code.
bool startsWithConfig(const std::vector<std::uint8_t>& data)
{
    if (data.size() < 4 || data[0] != 0 || data[1] != 0 || data[2] != 1)
        return false;
    return data[3] == 0xb0 || data[3] == 0xb5 || data[3] <= 0x2f;
}

} // namespace

Mpeg4Depacketizer::Mpeg4Depacketizer(std::vector<std::uint8_t> config, DepacketizerLimits limits)
    : Depacketizer(CodecParameters{Codec::mpeg4, 90000, 0, 0, 0, 0, std::move(config)}, limits)
{
}

boost::system::error_code Mpeg4Depacketizer::doPush(const RtpPacket& packet)
{
    if (open_ && packet.timestamp != timestamp_)
        finishFrame();
    if (!open_) {
        open_ = true;
        damaged_ = false;
        timestamp_ = packet.timestamp;
        fragments_ = 0;
        data_.clear();
    }
    boost::system::error_code ec;
    if (!damaged_) {
        if (++fragments_ > limits_.maxFragments)
            ec = RtpError::tooManyFragments;
        else if (data_.size() + packet.payload.size > limits_.maxFrameBytes)
            ec = RtpError::frameTooLarge;
        if (ec) {
            damaged_ = true;
            data_.clear();
            data_.shrink_to_fit();
        } else {
            data_.insert(data_.end(), packet.payload.begin(), packet.payload.end());
        }
    }
    if (packet.marker)
        finishFrame();
    return ec;
}

void Mpeg4Depacketizer::finishFrame()
{
    open_ = false;
    if (damaged_) {
        countDropped();
        state_ = State::waitingForKeyFrame;
        return;
    }
    if (data_.empty())
        return;
    const bool key = vopCodingType(data_) == 0;
    if (state_ == State::waitingForKeyFrame && !key) {
        countSkipped();
        return;
    }
    Frame frame;
    frame.codec = Codec::mpeg4;
    frame.keyFrame = key;
    frame.rtpTimestamp = timestamp_;
    if (key && !configSent_ && !startsWithConfig(data_))
        frame.data = parameters_.config;
    if (key)
        configSent_ = true;
    frame.data.insert(frame.data.end(), data_.begin(), data_.end());
    data_.clear();
    state_ = State::streaming;
    emit(std::move(frame));
}

void Mpeg4Depacketizer::doLost()
{
    if (open_)
        damaged_ = true;
    state_ = State::waitingForKeyFrame;
}

void Mpeg4Depacketizer::doReset()
{
    open_ = false;
    damaged_ = false;
    configSent_ = false;
    data_.clear();
    state_ = State::waitingForKeyFrame;
}

} // namespace Orix::Utility

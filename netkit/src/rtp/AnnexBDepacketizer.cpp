#include <netkit/rtp/AnnexBDepacketizer.h>

#include "rtp/AnnexBAssembler.h"

namespace Orix::Utility {

AnnexBDepacketizer::AnnexBDepacketizer(CodecParameters parameters, DepacketizerLimits limits)
    : Depacketizer(std::move(parameters), limits), au_(std::make_unique<AnnexBAssembler>(limits_))
{
}

AnnexBDepacketizer::~AnnexBDepacketizer() = default;

boost::system::error_code AnnexBDepacketizer::doPush(const RtpPacket& packet)
{
    if (au_->open() && packet.timestamp != au_->timestamp())
        finishAccessUnit();
    if (!au_->open()) {
        au_->begin(packet.timestamp);
        damaged_ = hasKey_ = false;
        beginAccessUnit();
    }
    boost::system::error_code ec;
    if (!damaged_) {
        // A damaged access unit is dropped at its end; its remaining packets
        // are not looked at, so one fault gives one error.
        ec = addPayload(packet.payload);
        if (ec && (au_->nalCount() > 0 || ec == RtpError::missingFragment))
            damage();
    }
    if (packet.marker)
        finishAccessUnit();
    return ec;
}

void AnnexBDepacketizer::finishAccessUnit()
{
    if (!au_->open())
        return;
    if (damaged_ || au_->fragmentOpen()) {
        au_->clear();
        if (joining())
            countSkipped(); // the stream began mid-frame
        else
            countDropped();
        state_ = State::waitingForKeyFrame;
        return;
    }
    if (au_->nalCount() == 0) {
        au_->clear();
        return;
    }
    if (state_ == State::waitingForKeyFrame && !hasKey_) {
        au_->clear();
        countSkipped();
        return;
    }
    Frame frame;
    frame.codec = parameters_.codec;
    frame.keyFrame = hasKey_;
    frame.rtpTimestamp = au_->timestamp();
    frame.data = au_->take();
    if (hasKey_) {
        const auto sets = missingParameterSets();
        frame.data.insert(frame.data.begin(), sets.begin(), sets.end());
    }
    state_ = State::streaming;
    emit(std::move(frame));
}

void AnnexBDepacketizer::damage()
{
    // The access unit is incomplete now. It is dropped (and counted once) when
    // it ends; its bytes are freed at once.
    const std::uint32_t ts = au_->timestamp();
    au_->begin(ts);
    damaged_ = true;
    state_ = State::waitingForKeyFrame;
}

void AnnexBDepacketizer::doLost()
{
    // The lost packets may have ended this access unit or begun the next:
    // either way references are gone until the next key picture.
    if (au_->open())
        damaged_ = true;
    state_ = State::waitingForKeyFrame;
}

void AnnexBDepacketizer::doReset()
{
    au_->clear();
    damaged_ = false;
    state_ = State::waitingForKeyFrame;
}

} // namespace Orix::Utility

#pragma once
// What the H.264 and H.265 depacketizers share: access units assembled in
// Annex B form, ended by the marker bit or a timestamp change, dropped whole
// when damaged, and a wait for the next key frame after a fault.
#include <netkit/rtp/Depacketizer.h>

#include <memory>
#include <vector>

namespace Orix::Utility {

class AnnexBAssembler;

// States:
//   waitingForKeyFrame --access unit with a key picture--> streaming
//   streaming --loss, damaged or oversized access unit--> waitingForKeyFrame
// A missing fragment drops the whole access unit. Access units before the
// first key picture (and after a fault, until the next one) are skipped, since
// a decoder cannot use them. A malformed packet that opens an access unit is
// dropped alone: nothing good is lost with it. A key picture without its
// parameter sets in band gets the latest known ones put in front.
class AnnexBDepacketizer : public Depacketizer {
public:
    enum class State { waitingForKeyFrame, streaming };

    State state() const { return state_; }

protected:
    AnnexBDepacketizer(CodecParameters parameters, DepacketizerLimits limits);
    ~AnnexBDepacketizer() override;

    // The codec's packet types: NAL units into assembler(), with
    // noteKeyPicture() for a key picture's slice.
    virtual boost::system::error_code addPayload(ByteSpan payload) = 0;
    // A new access unit starts: forget which parameter sets it carried.
    virtual void beginAccessUnit() = 0;
    // The parameter sets (Annex B) a key access unit lacks, to put in front.
    virtual std::vector<std::uint8_t> missingParameterSets() const = 0;

    AnnexBAssembler& assembler() { return *au_; }
    void noteKeyPicture() { hasKey_ = true; }

private:
    boost::system::error_code doPush(const RtpPacket& packet) final;
    void doLost() final;
    void doReset() final;
    void finishAccessUnit();
    void damage();

    State state_ = State::waitingForKeyFrame;
    std::unique_ptr<AnnexBAssembler> au_;
    bool damaged_ = false;
    bool hasKey_ = false;
};

} // namespace Orix::Utility

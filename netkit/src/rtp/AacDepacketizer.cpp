#include <netkit/rtp/AacDepacketizer.h>

namespace Orix::Utility {

namespace {

constexpr std::uint32_t kSamplesPerFrame = 1024; // AAC-LC frame length

// Reads fields of up to 32 bits, most significant bit first.
class BitReader {
public:
    explicit BitReader(ByteSpan bytes) : bytes_(bytes) {}
    bool read(int bits, std::uint32_t& out)
    {
        if (bits < 0 || bits > 32 || pos_ + std::size_t(bits) > bytes_.size * 8)
            return false;
        out = 0;
        for (int i = 0; i < bits; ++i, ++pos_)
            out = out << 1 | ((bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1u);
        return true;
    }

private:
    ByteSpan bytes_;
    std::size_t pos_ = 0;
};

} // namespace

AacDepacketizer::AacDepacketizer(AacLayout layout, std::vector<std::uint8_t> config,
                                 std::uint32_t clockRate, std::uint32_t channels,
                                 DepacketizerLimits limits)
    : Depacketizer(CodecParameters{Codec::aac, clockRate, channels, 0, 0, 0, std::move(config)}, limits),
      layout_(layout)
{
}

boost::system::error_code AacDepacketizer::doPush(const RtpPacket& packet)
{
    // RFC 3640 section 3.2.1: AU-headers-length in bits, the AU headers padded
    // to a whole byte, then the access units (no auxiliary section).
    ByteReader reader(packet.payload);
    std::uint16_t headerBits = 0;
    const int firstBits = layout_.sizeLength + layout_.indexLength;
    const int nextBits = layout_.sizeLength + layout_.indexDeltaLength;
    ByteSpan headers;
    if (!reader.u16(headerBits) || headerBits == 0 || !reader.bytes((headerBits + 7u) / 8, headers)) {
        dropFragment();
        return RtpError::malformedPayload;
    }
    std::vector<std::uint32_t> sizes;
    BitReader bits(headers);
    for (std::uint32_t used = 0; used < headerBits;) {
        const int length = sizes.empty() ? firstBits : nextBits;
        std::uint32_t size = 0, index = 0;
        if (used + std::uint32_t(length) > headerBits || !bits.read(layout_.sizeLength, size) ||
            !bits.read(length - layout_.sizeLength, index)) {
            dropFragment();
            return RtpError::malformedPayload;
        }
        // AU-Index / AU-Index-delta are ignored: interleaving is never
        // negotiated by cameras, so units arrive in decoding order.
        used += std::uint32_t(length);
        if (sizes.size() >= limits_.maxUnitsPerFrame) {
            dropFragment();
            return RtpError::tooManyUnits;
        }
        sizes.push_back(size);
    }
    const ByteSpan data = reader.rest();

    if (state_ == State::fragment) {
        if (packet.timestamp == timestamp_ && sizes.size() == 1 && sizes[0] == expectedSize_) {
            if (++fragments_ > limits_.maxFragments) {
                dropFragment();
                return RtpError::tooManyFragments;
            }
            if (pending_.size() + data.size > expectedSize_) {
                dropFragment();
                return RtpError::malformedPayload;
            }
            pending_.insert(pending_.end(), data.begin(), data.end());
            if (pending_.size() == expectedSize_ && packet.marker) {
                Frame frame;
                frame.codec = Codec::aac;
                frame.keyFrame = true;
                frame.rtpTimestamp = timestamp_;
                frame.data.swap(pending_);
                state_ = State::idle;
                emit(std::move(frame));
            } else if (packet.marker) {
                dropFragment();
                return RtpError::missingFragment;
            }
            return {};
        }
        dropFragment(); // a new access unit began before this one was complete
    }

    if (sizes.size() == 1 && sizes[0] > data.size) {
        // The first fragment of an access unit larger than a packet (section 3.2.3).
        if (sizes[0] > limits_.maxFrameBytes) {
            countDropped();
            return RtpError::frameTooLarge;
        }
        if (packet.marker)
            return RtpError::missingFragment; // the tail of an AU whose start was lost
        state_ = State::fragment;
        timestamp_ = packet.timestamp;
        expectedSize_ = sizes[0];
        fragments_ = 1;
        pending_.assign(data.begin(), data.end());
        return {};
    }
    std::size_t total = 0;
    for (auto size : sizes)
        total += size;
    if (total > data.size) {
        for (std::size_t i = 0; i < sizes.size(); ++i)
            countDropped();
        return RtpError::malformedPayload;
    }
    std::size_t offset = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] == 0) {
            countDropped(); // no access unit is empty; the decoder gets none
            continue;
        }
        Frame frame;
        frame.codec = Codec::aac;
        frame.keyFrame = true;
        frame.rtpTimestamp = packet.timestamp + std::uint32_t(i) * kSamplesPerFrame;
        frame.data.assign(data.begin() + offset, data.begin() + offset + sizes[i]);
        offset += sizes[i];
        emit(std::move(frame));
    }
    return {};
}

void AacDepacketizer::dropFragment()
{
    if (state_ == State::fragment)
        countDropped();
    state_ = State::idle;
    pending_.clear();
    expectedSize_ = 0;
    fragments_ = 0;
}

void AacDepacketizer::doLost() { dropFragment(); }

void AacDepacketizer::doReset()
{
    state_ = State::idle;
    pending_.clear();
    expectedSize_ = 0;
    fragments_ = 0;
}

} // namespace Orix::Utility

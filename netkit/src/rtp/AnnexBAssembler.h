#pragma once
// The access unit under construction for the H.264 and H.265 depacketizers:
// NAL units written in Annex B form (4-byte start codes), fragments appended
// in place, every bound checked before the bytes are copied.
#include <netkit/rtp/ByteReader.h>
#include <netkit/rtp/Depacketizer.h>
#include <netkit/rtp/RtpError.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace Orix::Utility {

class AnnexBAssembler {
public:
    explicit AnnexBAssembler(const DepacketizerLimits& limits) : limits_(limits) {}

    bool open() const { return open_; }
    std::uint32_t timestamp() const { return timestamp_; }
    bool fragmentOpen() const { return fragmentOpen_; }
    std::size_t nalCount() const { return nalCount_; }

    void begin(std::uint32_t timestamp)
    {
        clear();
        open_ = true;
        timestamp_ = timestamp;
        // The buffer leaves with each frame; sizing the next one like the
        // last saves the reallocations of growing it packet by packet.
        if (data_.capacity() < lastSize_)
            data_.reserve(std::min(lastSize_ + lastSize_ / 4, limits_.maxFrameBytes));
    }

    // A whole NAL unit: `header` (1 or 2 bytes) followed by `body`.
    boost::system::error_code addNal(ByteSpan header, ByteSpan body)
    {
        if (nalCount_ + 1 > limits_.maxUnitsPerFrame)
            return RtpError::tooManyUnits;
        if (auto ec = reserve(4 + header.size + body.size))
            return ec;
        appendStartCode();
        data_.insert(data_.end(), header.begin(), header.end());
        data_.insert(data_.end(), body.begin(), body.end());
        ++nalCount_;
        return {};
    }

    // The first fragment of a NAL unit, with the reconstructed NAL header.
    boost::system::error_code startFragment(ByteSpan header, ByteSpan body)
    {
        if (auto ec = addNal(header, body))
            return ec;
        fragmentOpen_ = true;
        fragments_ = 1;
        return {};
    }

    boost::system::error_code continueFragment(ByteSpan body)
    {
        if (++fragments_ > limits_.maxFragments)
            return RtpError::tooManyFragments;
        if (auto ec = reserve(body.size))
            return ec;
        data_.insert(data_.end(), body.begin(), body.end());
        return {};
    }

    void endFragment() { fragmentOpen_ = false; }

    std::vector<std::uint8_t> take()
    {
        std::vector<std::uint8_t> out;
        out.swap(data_);
        lastSize_ = out.size();
        clear();
        return out;
    }

    void clear()
    {
        data_.clear();
        open_ = false;
        fragmentOpen_ = false;
        nalCount_ = 0;
        fragments_ = 0;
    }

private:
    boost::system::error_code reserve(std::size_t more)
    {
        if (data_.size() + more > limits_.maxFrameBytes)
            return RtpError::frameTooLarge;
        return {};
    }
    void appendStartCode()
    {
        static const std::uint8_t kStartCode[] = {0, 0, 0, 1};
        data_.insert(data_.end(), kStartCode, kStartCode + 4);
    }

    const DepacketizerLimits& limits_;
    std::vector<std::uint8_t> data_;
    bool open_ = false;
    bool fragmentOpen_ = false;
    std::uint32_t timestamp_ = 0;
    std::size_t nalCount_ = 0;
    std::size_t fragments_ = 0;
    std::size_t lastSize_ = 0;
};

// Parameter sets as one Annex B block, to put in front of a key frame.
inline std::vector<std::uint8_t> annexB(const std::vector<std::vector<std::uint8_t>>& nals)
{
    std::vector<std::uint8_t> out;
    for (const auto& nal : nals) {
        if (nal.empty())
            continue;
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
}

} // namespace Orix::Utility

#include <netkit/rtp/H264Depacketizer.h>

#include "rtp/AnnexBAssembler.h"

#include <algorithm>

namespace Orix::Utility {

namespace {

// NAL unit types (H.264 table 7-1, RFC 6184 table 1).
constexpr std::uint8_t kIdr = 5;
constexpr std::uint8_t kSps = 7;
constexpr std::uint8_t kPps = 8;
constexpr std::uint8_t kStapA = 24;
constexpr std::uint8_t kStapB = 25;
constexpr std::uint8_t kMtap16 = 26;
constexpr std::uint8_t kMtap24 = 27;
constexpr std::uint8_t kFuA = 28;
constexpr std::uint8_t kFuB = 29;

CodecParameters h264Parameters(const std::vector<std::vector<std::uint8_t>>& sets)
{
    CodecParameters p;
    p.codec = Codec::h264;
    p.clockRate = 90000;
    p.config = annexB(sets);
    return p;
}

} // namespace

H264Depacketizer::H264Depacketizer(std::vector<std::vector<std::uint8_t>> parameterSets,
                                   DepacketizerLimits limits)
    : AnnexBDepacketizer(h264Parameters(parameterSets), limits)
{
    for (const auto& nal : parameterSets) {
        if (nal.empty())
            continue;
        if ((nal[0] & 0x1f) == kSps)
            sps_ = nal;
        else if ((nal[0] & 0x1f) == kPps)
            pps_ = nal;
    }
}

H264Depacketizer::~H264Depacketizer() = default;

boost::system::error_code H264Depacketizer::addPayload(ByteSpan payload)
{
    if (payload.empty())
        return RtpError::malformedPayload;
    const std::uint8_t type = payload[0] & 0x1f;
    if (type != kFuA && assembler().fragmentOpen())
        return RtpError::missingFragment; // the fragmented NAL unit never got its end bit
    if (type >= 1 && type <= 23)
        return addSingle(payload);
    if (type == kStapA)
        return addStapA(payload);
    if (type == kFuA)
        return addFuA(payload);
    if (type == kStapB || type == kMtap16 || type == kMtap24 || type == kFuB)
        return RtpError::unsupportedPacketization; // interleaved mode, never negotiated here
    // Types 0, 30 and 31 are reserved: RFC 6184 section 5.2 says to ignore them.
    return {};
}

boost::system::error_code H264Depacketizer::addSingle(ByteSpan nal)
{
    noteNal(nal[0] & 0x1f, nal);
    return assembler().addNal(nal.sub(0, 1), nal.sub(1, nal.size - 1));
}

boost::system::error_code H264Depacketizer::addStapA(ByteSpan payload)
{
    // RFC 6184 section 5.7.1: STAP-A header, then (16-bit size, NAL unit)*.
    // The whole packet is checked before any unit is taken, so a truncated
    // one leaves no half-read parameter set behind.
    const ByteSpan units = payload.sub(1, payload.size - 1);
    ByteReader check(units);
    if (check.remaining() == 0)
        return RtpError::malformedPayload;
    while (check.remaining() > 0) {
        std::uint16_t size = 0;
        if (!check.u16(size) || size == 0 || !check.skip(size))
            return RtpError::malformedPayload;
    }
    ByteReader reader(units);
    while (reader.remaining() > 0) {
        std::uint16_t size = 0;
        ByteSpan nal;
        reader.u16(size);
        reader.bytes(size, nal);
        noteNal(nal[0] & 0x1f, nal);
        if (auto ec = assembler().addNal(nal.sub(0, 1), nal.sub(1, nal.size - 1)))
            return ec;
    }
    return {};
}

boost::system::error_code H264Depacketizer::addFuA(ByteSpan payload)
{
    // RFC 6184 section 5.8: FU indicator (F, NRI, 28), FU header (S, E, R, type).
    if (payload.size < 3)
        return RtpError::malformedPayload;
    const std::uint8_t indicator = payload[0];
    const std::uint8_t header = payload[1];
    const bool start = header & 0x80;
    const bool end = header & 0x40;
    const ByteSpan body = payload.sub(2, payload.size - 2);
    if (start && end)
        return RtpError::malformedPayload;
    if (start) {
        if (assembler().fragmentOpen())
            return RtpError::missingFragment;
        const std::uint8_t nalHeader = std::uint8_t((indicator & 0xe0) | (header & 0x1f));
        noteNal(nalHeader & 0x1f, {});
        if (auto ec = assembler().startFragment(ByteSpan(&nalHeader, 1), body))
            return ec;
    } else {
        if (!assembler().fragmentOpen())
            return RtpError::missingFragment;
        if (auto ec = assembler().continueFragment(body))
            return ec;
    }
    if (end)
        assembler().endFragment();
    return {};
}

void H264Depacketizer::noteNal(std::uint8_t type, ByteSpan nal)
{
    if (type == kIdr) {
        noteKeyPicture();
    } else if (type == kSps) {
        hasSps_ = true;
        if (!nal.empty() && !std::equal(nal.begin(), nal.end(), sps_.begin(), sps_.end())) {
            sps_.assign(nal.begin(), nal.end());
            updateConfig();
        }
    } else if (type == kPps) {
        hasPps_ = true;
        if (!nal.empty() && !std::equal(nal.begin(), nal.end(), pps_.begin(), pps_.end())) {
            pps_.assign(nal.begin(), nal.end());
            updateConfig();
        }
    }
}

void H264Depacketizer::updateConfig()
{
    parameters_.config = annexB({sps_, pps_});
}

std::vector<std::uint8_t> H264Depacketizer::missingParameterSets() const
{
    if (hasSps_ && hasPps_)
        return {};
    return annexB({hasSps_ ? std::vector<std::uint8_t>() : sps_, hasPps_ ? std::vector<std::uint8_t>() : pps_});
}

} // namespace Orix::Utility

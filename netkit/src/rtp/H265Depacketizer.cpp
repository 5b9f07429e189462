#include <netkit/rtp/H265Depacketizer.h>

#include "rtp/AnnexBAssembler.h"

#include <algorithm>

namespace Orix::Utility {

namespace {

// NAL unit types (H.265 table 7-1, RFC 7798 section 4.4).
constexpr std::uint8_t kIrapFirst = 16; // BLA_W_LP
constexpr std::uint8_t kIrapLast = 23;  // RSV_IRAP_VCL23
constexpr std::uint8_t kVps = 32;
constexpr std::uint8_t kH265Sps = 33;
constexpr std::uint8_t kH265Pps = 34;
constexpr std::uint8_t kAp = 48;
constexpr std::uint8_t kFu = 49;
constexpr std::uint8_t kPaci = 50;

std::uint8_t nalType(std::uint8_t firstHeaderByte) { return (firstHeaderByte >> 1) & 0x3f; }

CodecParameters h265Parameters(const std::vector<std::vector<std::uint8_t>>& vps,
                               const std::vector<std::vector<std::uint8_t>>& sps,
                               const std::vector<std::vector<std::uint8_t>>& pps)
{
    CodecParameters p;
    p.codec = Codec::h265;
    p.clockRate = 90000;
    std::vector<std::vector<std::uint8_t>> all(vps);
    all.insert(all.end(), sps.begin(), sps.end());
    all.insert(all.end(), pps.begin(), pps.end());
    p.config = annexB(all);
    return p;
}

void remember(ByteSpan nal, std::vector<std::uint8_t>& into, bool& changed)
{
    if (nal.empty() || std::equal(nal.begin(), nal.end(), into.begin(), into.end()))
        return;
    into.assign(nal.begin(), nal.end());
    changed = true;
}

} // namespace

H265Depacketizer::H265Depacketizer(std::vector<std::vector<std::uint8_t>> vps,
                                   std::vector<std::vector<std::uint8_t>> sps,
                                   std::vector<std::vector<std::uint8_t>> pps,
                                   DepacketizerLimits limits)
    : AnnexBDepacketizer(h265Parameters(vps, sps, pps), limits)
{
    if (!vps.empty())
        vps_ = vps.front();
    if (!sps.empty())
        sps_ = sps.front();
    if (!pps.empty())
        pps_ = pps.front();
}

H265Depacketizer::~H265Depacketizer() = default;

boost::system::error_code H265Depacketizer::addPayload(ByteSpan payload)
{
    // RFC 7798 section 1.1.4: a two-byte payload header shaped like a NAL unit header.
    if (payload.size < 3)
        return RtpError::malformedPayload;
    const std::uint8_t type = nalType(payload[0]);
    if (type != kFu && assembler().fragmentOpen())
        return RtpError::missingFragment;
    if (type == kAp)
        return addAggregation(payload);
    if (type == kFu)
        return addFragment(payload);
    if (type == kPaci)
        return RtpError::unsupportedPacketization;
    if (type > kPaci)
        return {}; // unspecified types 51..63: ignored (RFC 7798 section 4.4)
    noteNal(type, payload);
    return assembler().addNal(payload.sub(0, 2), payload.sub(2, payload.size - 2));
}

boost::system::error_code H265Depacketizer::addAggregation(ByteSpan payload)
{
    // RFC 7798 section 4.4.2: payload header, then (16-bit size, NAL unit)*,
    // no DONL fields since sprop-max-don-diff is 0. At least two units; the
    // packet is checked whole before any unit is taken.
    const ByteSpan units = payload.sub(2, payload.size - 2);
    ByteReader check(units);
    std::size_t count = 0;
    while (check.remaining() > 0) {
        std::uint16_t size = 0;
        if (!check.u16(size) || size < 2 || !check.skip(size))
            return RtpError::malformedPayload;
        ++count;
    }
    if (count < 2)
        return RtpError::malformedPayload;
    ByteReader reader(units);
    while (reader.remaining() > 0) {
        std::uint16_t size = 0;
        ByteSpan nal;
        reader.u16(size);
        reader.bytes(size, nal);
        noteNal(nalType(nal[0]), nal);
        if (auto ec = assembler().addNal(nal.sub(0, 2), nal.sub(2, nal.size - 2)))
            return ec;
    }
    return {};
}

boost::system::error_code H265Depacketizer::addFragment(ByteSpan payload)
{
    // RFC 7798 section 4.4.3: payload header (type 49), FU header (S, E, type).
    const std::uint8_t fuHeader = payload[2];
    const bool start = fuHeader & 0x80;
    const bool end = fuHeader & 0x40;
    const ByteSpan body = payload.sub(3, payload.size - 3);
    if (start && end)
        return RtpError::malformedPayload;
    if (start) {
        if (assembler().fragmentOpen())
            return RtpError::missingFragment;
        const std::uint8_t type = fuHeader & 0x3f;
        const std::uint8_t header[2] = {std::uint8_t((payload[0] & 0x81) | (type << 1)), payload[1]};
        noteNal(type, {});
        if (auto ec = assembler().startFragment(ByteSpan(header, 2), body))
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

void H265Depacketizer::noteNal(std::uint8_t type, ByteSpan nal)
{
    bool changed = false;
    if (type >= kIrapFirst && type <= kIrapLast) {
        noteKeyPicture();
    } else if (type == kVps) {
        hasVps_ = true;
        remember(nal, vps_, changed);
    } else if (type == kH265Sps) {
        hasSps_ = true;
        remember(nal, sps_, changed);
    } else if (type == kH265Pps) {
        hasPps_ = true;
        remember(nal, pps_, changed);
    }
    if (changed)
        parameters_.config = annexB({vps_, sps_, pps_});
}

std::vector<std::uint8_t> H265Depacketizer::missingParameterSets() const
{
    if (hasVps_ && hasSps_ && hasPps_)
        return {};
    const std::vector<std::uint8_t> none;
    return annexB({hasVps_ ? none : vps_, hasSps_ ? none : sps_, hasPps_ ? none : pps_});
}

} // namespace Orix::Utility
